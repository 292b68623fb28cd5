#include "routines/equality_runs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "filter/bytes.h"
#include "routines/compare.h"
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

// The element that a skip from element `index` lands on; every skip past the last element ends evaluation
// alike, so they all count as landing on `count`.
int Target(int index, std::int16_t skip, int count) { return std::min(index + skip, count); }

// The skip that stays in the run: false for EQ joined by OR, true for NE joined by AND.
std::int16_t OnwardSkip(const FilterElement& e, bool negated) { return negated ? e.trueSkip : e.falseSkip; }
std::int16_t LeavingSkip(const FilterElement& e, bool negated) { return negated ? e.falseSkip : e.trueSkip; }

// How many elements from `head` on form a run of `family`, at most kLongestRun.
int RunFrom(const Filter& filter, int head, const Family& family) {
  const int count = filter.elementCount;
  const FilterElement* e = filter.elements;
  const int leavesTo = Target(head, LeavingSkip(e[head], family.negated), count);
  int length = 1;
  while (length < kLongestRun && head + length < count) {
    const FilterElement& previous = e[head + length - 1];
    const FilterElement& next = e[head + length];
    if (OnwardSkip(previous, family.negated) != 1) break;
    if (FamilyOf(next) != &family || !SameColumn(e[head], next)) break;
    if (Target(head + length, LeavingSkip(next, family.negated), count) != leavesTo) break;
    ++length;
  }
  return length;
}

}  // namespace

void BindRuns(Filter& filter) {
  const int count = filter.elementCount;
  for (int head = 0; head < count;) {
    FilterElement& first = filter.elements[head];
    const Family* family = FamilyOf(first);
    const int length = family != nullptr ? RunFrom(filter, head, *family) : 1;
    if (length >= 2) {
      // The run's last element is where a record that leaves the run by the onward skip continues from.
      const FilterElement& last = filter.elements[head + length - 1];
      const auto onward = static_cast<std::int16_t>(
          std::min<int>((length - 1) + OnwardSkip(last, family->negated), std::numeric_limits<std::int16_t>::max()));
      (family->negated ? first.trueSkip : first.falseSkip) = onward;
      first.routine = family->runs[static_cast<std::size_t>(length)];
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
