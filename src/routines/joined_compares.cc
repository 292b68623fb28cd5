#include "routines/joined_compares.h"

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "routines/batched.h"
#include "routines/character_routines.h"
#include "routines/compare.h"
#include "routines/dispatch_tables.h"
#include "routines/element_chains.h"
#include "routines/numeric_routines.h"

namespace vexfilt::joined_compares {
namespace {

// The join of `length` elements from `e` on. The first element's compare is `first`, fixed when the join
// is bound (its step's routine is this one now); every other member is called through its own routine.
// Every member is called whatever the others answered: with `&` and `|`, not `&&` and `||`.
template <Routine first, bool any, int length>
std::int32_t Joined(FilterElement& e, const std::uint8_t* record) {
  bool holds = first(e, record) == 0;
  FilterElement* const join = &e;
  for (int i = 1; i < length; ++i) {
    const bool member = join[i].routine(join[i], record) == 0;
    holds = any ? (holds | member) : (holds & member);
  }
  return StatusOf(holds);
}

// The join routines a compare heads: by AND and by OR, by length; 0 and 1 are no join.
struct Joins {
  Routine compare;  // the routine of the element that heads them
  std::array<BoundRoutine, kLongestJoin + 1> all, any;
};

template <Routine compare, bool any, std::size_t... lengths>
constexpr std::array<BoundRoutine, kLongestJoin + 1> JoinsBy(std::index_sequence<lengths...>) {
  return {BoundRoutine{}, BoundRoutine{}, kBound<&Joined<compare, any, static_cast<int>(lengths) + 2>>...};
}

template <Routine compare>
constexpr Joins JoinsOf() {
  constexpr auto lengths = std::make_index_sequence<kLongestJoin - 1>();
  return {compare, JoinsBy<compare, false>(lengths), JoinsBy<compare, true>(lengths)};
}

// The joins of a family's compares, by operator (EQ NE GT LT GE LE): the routines creation binds for a
// number or text column against a literal once the fast paths are chosen. Integer orderings are bound by
// the column's signedness, so their cells' own routines never head a join.
using ByOperator = std::array<Joins, 6>;

template <template <Op> class Compare>
constexpr ByOperator JoinsByOperator() {
  return {JoinsOf<Compare<Op::kEQ>::kRoutine>(), JoinsOf<Compare<Op::kNE>::kRoutine>(),
          JoinsOf<Compare<Op::kGT>::kRoutine>(), JoinsOf<Compare<Op::kLT>::kRoutine>(),
          JoinsOf<Compare<Op::kGE>::kRoutine>(), JoinsOf<Compare<Op::kLE>::kRoutine>()};
}

// EQ and NE compare bits, whatever the column's signedness; the orderings have a form for each.
template <bool isShort, bool isUnsigned>
struct IntegerCompare {
  template <Op op>
  struct Of {
    static constexpr bool kBits = op == Op::kEQ || op == Op::kNE;
    static constexpr Routine kRoutine =
        isShort ? (kBits ? &numeric::ShortColLit<op> : &numeric::ShortColLitOf<op, isUnsigned>)
                : (kBits ? &numeric::LongColLit<op> : &numeric::LongColLitOf<op, isUnsigned>);
  };
};
template <Op op>
struct DoubleCompare {
  static constexpr Routine kRoutine = &numeric::DoubleColLit<op>;
};
template <Op op>
struct TextCompare {
  static constexpr Routine kRoutine = &character::OperatorRoutines<op>::FixedColumnLiteral;
};

constexpr ByOperator kLongSigned = JoinsByOperator<IntegerCompare<false, false>::Of>();
constexpr ByOperator kLongUnsigned = JoinsByOperator<IntegerCompare<false, true>::Of>();
constexpr ByOperator kShortSigned = JoinsByOperator<IntegerCompare<true, false>::Of>();
constexpr ByOperator kShortUnsigned = JoinsByOperator<IntegerCompare<true, true>::Of>();
constexpr ByOperator kDoubles = JoinsByOperator<DoubleCompare>();
constexpr ByOperator kTexts = JoinsByOperator<TextCompare>();

// The joins the element at `index` may head or belong to, by its cell's family: none when its cell has no
// family that joins, its literal is text too long to be worth evaluating unasked, or its step is bound to
// another routine than its compare (the head of a run of equalities).
const Joins* JoinsOf(const Filter& filter, int index) {
  const FilterElement& e = filter.elements[index];
  const RoutineCell& cell = *filter.facts[index].cell;
  const bool isUnsigned = numeric::IsUnsigned(e);
  const ByOperator* byOperator = nullptr;
  switch (cell.family) {
    case Family::kLongLiteral: byOperator = isUnsigned ? &kLongUnsigned : &kLongSigned; break;
    case Family::kShortLiteral: byOperator = isUnsigned ? &kShortUnsigned : &kShortSigned; break;
    case Family::kDoubleLiteral: byOperator = &kDoubles; break;
    case Family::kTextLiteral: byOperator = e.rightLiteralLength <= kLongestJoinedText ? &kTexts : nullptr; break;
    default: break;
  }
  if (byOperator == nullptr || cell.op > Op::kLE) return nullptr;
  const Joins& joins = (*byOperator)[static_cast<std::size_t>(cell.op)];
  return joins.compare == filter.steps[index].routine ? &joins : nullptr;
}

}  // namespace

using element_chains::Onward;
using element_chains::OnwardSkip;

void BindJoins(Filter& filter) {
  // The plan's record length is a signed word: a negative one gives no length either.
  if (filter.recordLength == 0 || filter.recordLength > std::uint32_t{std::numeric_limits<std::int32_t>::max()}) return;
  const int count = filter.elementCount;
  for (int head = 0; head < count;) {
    Step& first = filter.steps[head];
    // A join walks on by the true skip (AND) or by the false skip (OR). When both skips of the head are 1,
    // the next step cannot leave to where the head leaves, so neither kind of join can start there.
    const Onward onward = first.trueSkip == 1 ? Onward::kOnTrue : Onward::kOnFalse;
    const Joins* joins = OnwardSkip(first, onward) == 1 ? JoinsOf(filter, head) : nullptr;
    const int length = joins == nullptr ? 1
                       : element_chains::ChainFrom(filter, head, onward, kLongestJoin,
                                                   [&](int next) { return JoinsOf(filter, next) != nullptr; });
    if (length >= 2) {
      const auto& byLength = onward == Onward::kOnTrue ? joins->all : joins->any;
      element_chains::BindChain(&first, length, onward, byLength[static_cast<std::size_t>(length)], StepKind::kJoin);
    }
    head += length;
  }
}


}  // namespace vexfilt::joined_compares
