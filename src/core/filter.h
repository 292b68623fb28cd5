// The Filter object and its FilterElements.
//
// A Filter is one block: the Filter's own fields, then the plan copy (its 32-byte header and the elements at
// the FilterElement stride), then the pool copy at the next multiple of 8 so that the doubles the routines
// keep in the pool are aligned, then what creation proved of each element and the steps it bound. Creation
// fills it once; evaluation only walks the steps.
#ifndef VEXFILT_CORE_FILTER_H_
#define VEXFILT_CORE_FILTER_H_

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/plan_format.h"
#include "core/time_value.h"
#include "vexfilt.h"

namespace vexfilt {

struct Filter;
struct FilterElement;
struct NlsLocale;
struct RoutineCell;

// A routine answers whether its element's condition holds for `record`: 0 yes, anything else no (1, or an
// error status of its family). It may write the work fields of the element and of the element's Filter.
using Routine = std::int32_t (*)(FilterElement& element, const std::uint8_t* record);

// A routine's answers for `count` records, record `i` at `records + i * stride`, into `statuses[i]`: what the
// routine answers them one by one, in order, with the same effects.
using BatchRoutine = void (*)(FilterElement& element, const std::uint8_t* records, std::size_t stride,
                              std::int32_t count, std::int32_t* statuses);

// The plan's 192-byte element record (the public VxpElement, byte for byte), followed by the four references
// the library fills at creation. References are 8 bytes here, so they live after the record instead of in
// its four 32-bit reference words, which are carried unchanged.
struct FilterElement : VxpElement {
  Filter* filter;
  Routine routine;
  void* leftData;
  void* rightData;
};
// The references follow the record, one reference wide each: the base record comes first and the four
// pointers leave no padding, so the plan copy is the plan's elements at this stride.
static_assert(sizeof(FilterElement) == kElementRecordSize + 4 * sizeof(void*) && sizeof(FilterElement) % 8 == 0);
static_assert(std::is_trivially_copyable_v<FilterElement>);

// One step of the program creation binds from the plan: the routine the walk calls, and how many steps ahead
// each outcome leads. Steps stand beside the elements, one each: step i is called with element i, and a
// skip counts the same in both. The walk reads only steps for its control, and finds the element by the
// same index instead of loading a pointer to it, which would add a load before every routine can start
// (P5 of docs/performance.md ran 5% slower with one). A chain bound as one routine (element_chains.h)
// is a step of its first element that leads past the others, which the walk then never visits, while the
// plan copy keeps every element and skip exactly as the host wrote them. A fused step says which kind of
// chain it answers for and how many elements the chain holds.
enum class StepKind : std::uint8_t { kElement, kRun, kJoin };
struct Step {
  Routine routine;
  BatchRoutine batch;  // the routine over a batch of records, when it has one
  std::int16_t trueSkip;
  std::int16_t falseSkip;
  std::int16_t members = 1;  // elements from this step's on that `routine` answers for
  StepKind kind = StepKind::kElement;
};

// What creation proved of an element, kept beside it so that a modification can prove its new literal the
// same way before the routines read it.
struct ElementFacts {
  const RoutineCell* cell;  // the cell the element's routine was bound from
  std::int32_t leftRoom;  // bytes the left and right operand references hold
  std::int32_t rightRoom;
};

namespace filter_flag {
inline constexpr std::uint16_t kHasChange = 0x0001;  // samples are timed, change caches kept
inline constexpr std::uint16_t kTraceNamed = 0x0020;  // VEX_TRACEFILTER named this table
inline constexpr std::uint16_t kTraceAll = 0x0040;  // VEX_TRACEFILTER is "ALL"
inline constexpr std::uint16_t kLocaleSet = 0x2000;  // `locale` is set for `languageId`
}  // namespace filter_flag

inline constexpr std::uint32_t kOwnsSearchList = 0x80000000u;  // `ownership` bit

struct alignas(8) Filter {
  PlanHeader* planCopy;
  std::uint8_t* poolCopy;  // starts with a PoolHeader
  std::uint16_t filterFlags;
  std::uint32_t languageId;  // in force for `locale`; 0 when none
  NlsLocale* locale;
  TimeValue startTime;
  TimeValue sampleTime;
  std::uint32_t sampleStamp;  // seconds since startTime << 8 | hundredths
  char traceTableName[kTableNameSize + 1];
  std::int16_t elementCount;
  std::uint32_t recordLength;
  std::uint32_t ownership;
  FilterElement* elements;
  std::int16_t searchEntryCount;
  std::int16_t lastUnmatchedEntry;
  std::uint16_t infoCursor;
  std::int16_t retrievePosition;
  std::uint16_t infoSearchCursor;
  std::uint8_t* searchList;
  std::uint8_t* retrieveCursor;
  std::uint8_t* infoSearchEntry;
  FilterInfo info;
  // The list read from a file, which the Filter releases: kept apart from `searchList`, which a later search
  // element of the plan may point elsewhere.
  std::uint8_t* ownedSearchList;
  ElementFacts* facts;  // one for each element
  Step* steps;  // one for each element: what evaluation walks
  // Sizes of the copies, so that later work stays inside the block.
  std::uint32_t planCopyLength;
  std::uint32_t poolCopyLength;
  // Set at creation when both skips of the first step reach the end: every record then costs that one
  // routine call, and evaluation makes it without walking.
  bool firstElementDecides;
};
static_assert(sizeof(Filter) % 8 == 0, "the plan copy follows the Filter's fields 8-byte aligned");

// Where each part of a Filter's single block lies for a plan of `elementCount` elements and a pool of
// `poolLength` bytes; the elements' facts follow the pool, and the steps the facts.
struct FilterBlockLayout {
  std::size_t planOffset;
  std::size_t planLength;  // header and elements at the FilterElement stride
  std::size_t poolOffset;
  std::size_t poolLength;
  std::size_t factsOffset;
  std::size_t stepsOffset;
  std::size_t totalLength;
};
constexpr FilterBlockLayout LayoutFilterBlock(std::size_t elementCount, std::size_t poolLength) {
  constexpr auto aligned = [](std::size_t n) { return (n + 7) & ~std::size_t{7}; };
  FilterBlockLayout layout{};
  layout.planOffset = sizeof(Filter);
  layout.planLength = kPlanHeaderSize + elementCount * sizeof(FilterElement);
  layout.poolOffset = layout.planOffset + aligned(layout.planLength);
  layout.poolLength = poolLength;
  layout.factsOffset = aligned(layout.poolOffset + poolLength);
  layout.stepsOffset = aligned(layout.factsOffset + elementCount * sizeof(ElementFacts));
  layout.totalLength = layout.stepsOffset + elementCount * sizeof(Step);
  return layout;
}

inline const PoolHeader& PoolHeaderOf(const Filter& filter) {
  return *reinterpret_cast<const PoolHeader*>(filter.poolCopy);
}
inline PoolHeader& PoolHeaderOf(Filter& filter) { return *reinterpret_cast<PoolHeader*>(filter.poolCopy); }

// The Filter behind a handle, or null.
inline Filter* FilterOf(const FilterHandle& handle) { return static_cast<Filter*>(handle.filter); }

}  // namespace vexfilt

#endif  // VEXFILT_CORE_FILTER_H_
