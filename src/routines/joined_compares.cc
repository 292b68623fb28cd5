#include "routines/joined_compares.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>

#include "routines/character_routines.h"
#include "routines/compare.h"
#include "routines/element_chains.h"
#include "routines/numeric_routines.h"

namespace vexfilt::joined_compares {
namespace {

// The join of `length` elements from `e` on. The first element's compare is `first`, fixed when the join
// is bound (its element's routine is this one now); every other member is called through its own routine.
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
  std::array<Routine, kLongestJoin + 1> all, any;
};

template <Routine compare, bool any, std::size_t... lengths>
constexpr std::array<Routine, kLongestJoin + 1> JoinsBy(std::index_sequence<lengths...>) {
  return {nullptr, nullptr, &Joined<compare, any, static_cast<int>(lengths) + 2>...};
}

template <Routine compare>
constexpr Joins JoinsOf() {
  constexpr auto lengths = std::make_index_sequence<kLongestJoin - 1>();
  return {JoinsBy<compare, false>(lengths), JoinsBy<compare, true>(lengths)};
}

// Compares that may join, and their joins.
template <Routine... compares>
struct JoinableSet {
  static constexpr std::array<Routine, sizeof...(compares)> kCompares = {compares...};
  static constexpr std::array<Joins, sizeof...(compares)> kJoins = {JoinsOf<compares>()...};
};

using numeric::DoubleColLit;
using numeric::LongColLit;
using numeric::LongColLitOf;
using numeric::ShortColLit;
using numeric::ShortColLitOf;

// The routines creation binds for a number column against a literal once the fast paths are chosen.
// Integer orderings are always bound by the column's signedness, so their cells' own routines never reach
// here.
using NumberCompares = JoinableSet<
    // 4-byte integers
    &LongColLit<Op::kEQ>, &LongColLit<Op::kNE>,
    &LongColLitOf<Op::kGT, false>, &LongColLitOf<Op::kLT, false>, &LongColLitOf<Op::kGE, false>, &LongColLitOf<Op::kLE, false>,
    &LongColLitOf<Op::kGT, true>, &LongColLitOf<Op::kLT, true>, &LongColLitOf<Op::kGE, true>, &LongColLitOf<Op::kLE, true>,
    // 2-byte integers
    &ShortColLit<Op::kEQ>, &ShortColLit<Op::kNE>,
    &ShortColLitOf<Op::kGT, false>, &ShortColLitOf<Op::kLT, false>, &ShortColLitOf<Op::kGE, false>, &ShortColLitOf<Op::kLE, false>,
    &ShortColLitOf<Op::kGT, true>, &ShortColLitOf<Op::kLT, true>, &ShortColLitOf<Op::kGE, true>, &ShortColLitOf<Op::kLE, true>,
    // doubles
    &DoubleColLit<Op::kEQ>, &DoubleColLit<Op::kNE>, &DoubleColLit<Op::kGT>,
    &DoubleColLit<Op::kLT>, &DoubleColLit<Op::kGE>, &DoubleColLit<Op::kLE>>;

// A fixed character column against a literal.
using TextCompares = JoinableSet<
    &character::OperatorRoutines<Op::kEQ>::FixedColumnLiteral, &character::OperatorRoutines<Op::kNE>::FixedColumnLiteral,
    &character::OperatorRoutines<Op::kGT>::FixedColumnLiteral, &character::OperatorRoutines<Op::kLT>::FixedColumnLiteral,
    &character::OperatorRoutines<Op::kGE>::FixedColumnLiteral, &character::OperatorRoutines<Op::kLE>::FixedColumnLiteral>;

// Every joinable compare, ordered by address so that creation finds an element's routine among them in a
// few steps. Made once, on first use; nothing is allocated.
struct Joinable {
  Routine compare;
  const Joins* joins;
  bool text;  // reads a character literal, whose length bounds what it costs
};
constexpr std::size_t kJoinableCount = NumberCompares::kCompares.size() + TextCompares::kCompares.size();

bool Before(const Joinable& a, Routine b) { return std::less<Routine>()(a.compare, b); }

const std::array<Joinable, kJoinableCount>& Joinables() {
  static const std::array<Joinable, kJoinableCount> joinables = [] {
    std::array<Joinable, kJoinableCount> all{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < NumberCompares::kCompares.size(); ++i) {
      all[n++] = {NumberCompares::kCompares[i], &NumberCompares::kJoins[i], false};
    }
    for (std::size_t i = 0; i < TextCompares::kCompares.size(); ++i) {
      all[n++] = {TextCompares::kCompares[i], &TextCompares::kJoins[i], true};
    }
    std::sort(all.begin(), all.end(), [](const Joinable& a, const Joinable& b) { return Before(a, b.compare); });
    return all;
  }();
  return joinables;
}

const Joins* JoinsOf(const FilterElement& e) {
  const auto& joinables = Joinables();
  const auto* found = std::lower_bound(joinables.begin(), joinables.end(), e.routine, Before);
  if (found == joinables.end() || found->compare != e.routine) return nullptr;
  if (found->text && e.rightLiteralLength > kLongestJoinedText) return nullptr;
  return found->joins;
}

}  // namespace

using element_chains::Onward;
using element_chains::OnwardSkip;

void BindJoins(Filter& filter) {
  // The plan's record length is a signed word: a negative one gives no length either.
  if (filter.recordLength == 0 || filter.recordLength > std::uint32_t{std::numeric_limits<std::int32_t>::max()}) return;
  const int count = filter.elementCount;
  for (int head = 0; head < count;) {
    FilterElement& first = filter.elements[head];
    // A join walks on by the true skip (AND) or by the false skip (OR). When both skips of the head are 1,
    // the next element cannot leave to where the head leaves, so neither kind of join can start there.
    const Onward onward = first.trueSkip == 1 ? Onward::kOnTrue : Onward::kOnFalse;
    const Joins* joins = OnwardSkip(first, onward) == 1 ? JoinsOf(first) : nullptr;
    const int length = joins == nullptr ? 1
                       : element_chains::ChainFrom(filter, head, onward, kLongestJoin,
                                                   [](const FilterElement& next) { return JoinsOf(next) != nullptr; });
    if (length >= 2) {
      const auto& byLength = onward == Onward::kOnTrue ? joins->all : joins->any;
      element_chains::BindChain(&first, length, onward, byLength[static_cast<std::size_t>(length)]);
    }
    head += length;
  }
}

int JoinLengthOf(Routine routine) {
  for (const Joinable& joinable : Joinables()) {
    for (int length = 2; length <= kLongestJoin; ++length) {
      const auto at = static_cast<std::size_t>(length);
      if (joinable.joins->all[at] == routine || joinable.joins->any[at] == routine) return length;
    }
  }
  return 0;
}

}  // namespace vexfilt::joined_compares
