#include "routines/prefix_like.h"

#include <array>
#include <cstring>
#include <utility>

#include "routines/byte_strings.h"
#include "routines/character_routines.h"
#include "routines/compare.h"
#include "routines/operands.h"

namespace vexfilt::prefix_like {
namespace {

using namespace operands;

// The column, from its substring offset, starts with the pattern's first `length` bytes. A compare of a
// constant size becomes a few loads; creation proved the column holds at least `length` bytes there.
template <int length>
std::int32_t StartsWithPrefix(FilterElement& e, const std::uint8_t* record) {
  return StatusOf(std::memcmp(ColumnOf(e, record) + e.substringOffset, LiteralOf(e), length) == 0);
}

// While the matcher's calls are traced, the matcher answers, so that its events appear.
template <int length>
std::int32_t FixedColumnPrefix(FilterElement& e, const std::uint8_t* record) {
  if (ComparePatternTracesCalls()) [[unlikely]] return character::FixedColumnLike(e, record);
  return StartsWithPrefix<length>(e, record);
}

// The same over a batch, with the trace level read once for the batch: read at every record, its atomic
// loads kept the loop from holding anything in registers. A level raised during a batch is seen at the next.
template <int length>
void FixedColumnPrefixBatch(FilterElement& e, const std::uint8_t* records, std::size_t stride, std::int32_t count,
                            std::int32_t* __restrict statuses) {
  if (ComparePatternTracesCalls()) [[unlikely]] return Batched<character::FixedColumnLike>(e, records, stride, count, statuses);
  Batched<StartsWithPrefix<length>>(e, records, stride, count, statuses);
}

template <std::size_t... lengths>
constexpr std::array<BoundRoutine, sizeof...(lengths)> MakeRoutines(std::index_sequence<lengths...>) {
  return {BoundRoutine{&FixedColumnPrefix<static_cast<int>(lengths)>, &FixedColumnPrefixBatch<static_cast<int>(lengths)>}...};
}

constexpr auto kRoutines = MakeRoutines(std::make_index_sequence<kLongestPrefix + 1>());

}  // namespace

int PrefixLength(const std::uint8_t* pattern, int length) {
  int end = length;
  while (end > 0 && pattern[end - 1] == '*') --end;
  if (end == length) return -1;
  for (int i = 0; i < end; ++i) {
    if (pattern[i] == '*' || pattern[i] == '?') return -1;
  }
  return end;
}

BoundRoutine RoutineFor(const FilterElement& element) {
  const int patternLength = RightLength(element);
  const int prefix = PrefixLength(LiteralOf(element), patternLength);
  // The general matcher's effective width is the value's length, since the routine passes width 0.
  const int width = element.columnLength - element.substringOffset;
  if (prefix < 0 || prefix > kLongestPrefix || prefix > width || patternLength > 2 * width + 1) return {};
  return kRoutines[static_cast<std::size_t>(prefix)];
}

bool IsPrefixRoutine(Routine routine) {
  for (const BoundRoutine& r : kRoutines) {
    if (r.routine == routine) return true;
  }
  return false;
}

}  // namespace vexfilt::prefix_like
