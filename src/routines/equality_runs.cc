#include "routines/equality_runs.h"

#include <array>
#include <cstdint>
#include <utility>

#include "core/bytes.h"
#include "routines/compare.h"
#include "routines/element_chains.h"
#include "routines/numeric_routines.h"

namespace vexfilt::equality_runs {
namespace {

// The column against the literal of each of the `length` elements from `e` on. Each literal is read where
// its own element keeps it, so that a value FLT1_ModifyPredicate writes there is compared from the next
// record on. Every compare is made, without a branch between them: a record of a large table matches
// few of the literals, and a branch per literal would cost more than the compares it saves. EQ compares
// bits, so a 2-byte column needs no widening by its signedness.
template <typename T, bool negated, int length>
std::int32_t AnyEqual(FilterElement& e, const std::uint8_t* record) {
  const T value = LoadUnaligned<T>(record + e.columnOffset);
  const FilterElement* run = &e;
  bool found = false;
  for (int i = 0; i < length; ++i) found |= value == LoadUnaligned<T>(run[i].rightData);
  return StatusOf(found != negated);
}

// A run of NE elements joined by AND holds when no literal equals the column: the same compares, the
// other status.
struct Family {
  Routine member;  // the routine every element of such a run is bound to
  bool negated;  // NE, chained by AND
  std::array<Routine, kLongestRun + 1> runs;  // by run length; 0 and 1 are no run
};

template <typename T, bool negated, std::size_t... lengths>
constexpr std::array<Routine, kLongestRun + 1> RunsOf(std::index_sequence<lengths...>) {
  return {nullptr, nullptr, &AnyEqual<T, negated, static_cast<int>(lengths) + 2>...};
}

template <typename T, bool negated>
constexpr Family FamilyOf(Routine member) {
  return {member, negated, RunsOf<T, negated>(std::make_index_sequence<kLongestRun - 1>())};
}

constexpr std::array<Family, 4> kFamilies = {
    FamilyOf<std::int32_t, false>(&numeric::LongColLit<Op::kEQ>),
    FamilyOf<std::int32_t, true>(&numeric::LongColLit<Op::kNE>),
    FamilyOf<std::int16_t, false>(&numeric::ShortColLit<Op::kEQ>),
    FamilyOf<std::int16_t, true>(&numeric::ShortColLit<Op::kNE>),
};

const Family* FamilyOf(const FilterElement& e) {
  if (e.rightFlags & rep::kColumn) return nullptr;
  for (const Family& family : kFamilies) {
    if (e.routine == family.member) return &family;
  }
  return nullptr;
}

bool SameColumn(const FilterElement& a, const FilterElement& b) {
  return a.columnOffset == b.columnOffset && a.columnLength == b.columnLength && a.dataType == b.dataType &&
         a.leftFlags == b.leftFlags;
}

// EQ is chained by OR and walks on when it does not hold; NE is chained by AND.
element_chains::Onward OnwardOf(const Family& family) {
  return family.negated ? element_chains::Onward::kOnTrue : element_chains::Onward::kOnFalse;
}

}  // namespace

void BindRuns(Filter& filter) {
  const int count = filter.elementCount;
  for (int head = 0; head < count;) {
    FilterElement& first = filter.elements[head];
    const Family* family = FamilyOf(first);
    const int length = family == nullptr ? 1
                       : element_chains::ChainFrom(filter, head, OnwardOf(*family), kLongestRun,
                                                   [&](const FilterElement& next) {
                                                     return FamilyOf(next) == family && SameColumn(first, next);
                                                   });
    if (length >= 2) {
      element_chains::BindChain(&first, length, OnwardOf(*family), family->runs[static_cast<std::size_t>(length)]);
    }
    head += length;
  }
}

int RunLengthOf(Routine routine) {
  for (const Family& family : kFamilies) {
    for (int length = 2; length <= kLongestRun; ++length) {
      if (family.runs[static_cast<std::size_t>(length)] == routine) return length;
    }
  }
  return 0;
}

}  // namespace vexfilt::equality_runs
