#include "routines/equality_runs.h"

#include <array>
#include <cstdint>
#include <utility>

#include "core/bytes.h"
#include "routines/batched.h"
#include "routines/compare.h"
#include "routines/dispatch_tables.h"
#include "routines/element_chains.h"

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
struct RunFamily {
  bool negated;  // NE, chained by AND
  std::array<BoundRoutine, kLongestRun + 1> runs;  // by run length; 0 and 1 are no run
};

template <typename T, bool negated, std::size_t... lengths>
constexpr std::array<BoundRoutine, kLongestRun + 1> RunsOf(std::index_sequence<lengths...>) {
  return {BoundRoutine{}, BoundRoutine{}, kBound<&AnyEqual<T, negated, static_cast<int>(lengths) + 2>>...};
}

template <typename T, bool negated>
constexpr RunFamily RunFamilyOf() {
  return {negated, RunsOf<T, negated>(std::make_index_sequence<kLongestRun - 1>())};
}

constexpr std::array<RunFamily, 4> kRunFamilies = {
    RunFamilyOf<std::int32_t, false>(), RunFamilyOf<std::int32_t, true>(),
    RunFamilyOf<std::int16_t, false>(), RunFamilyOf<std::int16_t, true>(),
};

// The runs the element at `index` may belong to: an integer column's EQ or NE against a literal, its step
// still bound to its cell's routine.
const RunFamily* RunFamilyOf(const Filter& filter, int index) {
  const FilterElement& e = filter.elements[index];
  const RoutineCell& cell = *filter.facts[index].cell;
  const bool integer = cell.family == Family::kLongLiteral || cell.family == Family::kShortLiteral;
  if (!integer || (cell.op != Op::kEQ && cell.op != Op::kNE) || (e.rightFlags & rep::kColumn)) return nullptr;
  if (filter.steps[index].routine != cell.routine) return nullptr;
  const std::size_t width = cell.family == Family::kLongLiteral ? 0 : 2;
  return &kRunFamilies[width + (cell.op == Op::kNE ? 1 : 0)];
}

bool SameColumn(const FilterElement& a, const FilterElement& b) {
  return a.columnOffset == b.columnOffset && a.columnLength == b.columnLength && a.dataType == b.dataType &&
         a.leftFlags == b.leftFlags;
}

// EQ is chained by OR and walks on when it does not hold; NE is chained by AND.
element_chains::Onward OnwardOf(const RunFamily& family) {
  return family.negated ? element_chains::Onward::kOnTrue : element_chains::Onward::kOnFalse;
}

}  // namespace

void BindRuns(Filter& filter) {
  const int count = filter.elementCount;
  for (int head = 0; head < count;) {
    const FilterElement& first = filter.elements[head];
    const RunFamily* family = RunFamilyOf(filter, head);
    const int length = family == nullptr ? 1
                       : element_chains::ChainFrom(filter, head, OnwardOf(*family), kLongestRun, [&](int next) {
                           return RunFamilyOf(filter, next) == family && SameColumn(first, filter.elements[next]);
                         });
    if (length >= 2) {
      element_chains::BindChain(&filter.steps[head], length, OnwardOf(*family),
                                family->runs[static_cast<std::size_t>(length)], StepKind::kRun);
    }
    head += length;
  }
}


}  // namespace vexfilt::equality_runs
