#include "routines/joined_compares.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "routines/character_routines.h"
#include "routines/compare.h"
#include "routines/equality_runs.h"
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

// A compare that may join, and the join routines it heads: by AND and by OR, by length.
struct Joinable {
  Routine compare;
  std::array<Routine, kLongestJoin + 1> all, any;  // 0 and 1 are no join
};

template <Routine compare, bool any, std::size_t... lengths>
constexpr std::array<Routine, kLongestJoin + 1> JoinsOf(std::index_sequence<lengths...>) {
  return {nullptr, nullptr, &Joined<compare, any, static_cast<int>(lengths) + 2>...};
}

template <Routine... compares>
constexpr auto JoinablesOf() {
  constexpr auto lengths = std::make_index_sequence<kLongestJoin - 1>();
  return std::array<Joinable, sizeof...(compares)>{
      Joinable{compares, JoinsOf<compares, false>(lengths), JoinsOf<compares, true>(lengths)}...};
}

template <Op op>
constexpr Routine kFixedText = &character::OperatorRoutines<op>::FixedColumnLiteral;

using numeric::DoubleColLit;
using numeric::LongColLit;
using numeric::LongColLitOf;
using numeric::ShortColLit;
using numeric::ShortColLitOf;

// The routines creation binds for a column against a literal once the fast paths are chosen. Integer
// orderings are always bound by the column's signedness, so their cells' own routines never reach here.
constexpr auto kJoinables = JoinablesOf<
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
    &DoubleColLit<Op::kLT>, &DoubleColLit<Op::kGE>, &DoubleColLit<Op::kLE>,
    // fixed characters
    kFixedText<Op::kEQ>, kFixedText<Op::kNE>, kFixedText<Op::kGT>,
    kFixedText<Op::kLT>, kFixedText<Op::kGE>, kFixedText<Op::kLE>>();

constexpr std::array<Routine, 6> kFixedTexts = {kFixedText<Op::kEQ>, kFixedText<Op::kNE>, kFixedText<Op::kGT>,
                                                 kFixedText<Op::kLT>, kFixedText<Op::kGE>, kFixedText<Op::kLE>};

const Joinable* JoinableOf(const FilterElement& e) {
  const auto* joinable = std::find_if(kJoinables.begin(), kJoinables.end(),
                                      [&](const Joinable& j) { return j.compare == e.routine; });
  if (joinable == kJoinables.end()) return nullptr;
  const bool text = std::find(kFixedTexts.begin(), kFixedTexts.end(), e.routine) != kFixedTexts.end();
  return text && e.rightLiteralLength > kLongestJoinedText ? nullptr : joinable;
}

// The element that a skip from element `index` lands on; every skip past the last element ends evaluation
// alike, so they all count as landing on `count`.
int Target(int index, std::int16_t skip, int count) { return std::min(index + skip, count); }

// The skip that walks the join on (true for AND, false for OR), and the one that leaves it.
std::int16_t& OnwardSkip(FilterElement& e, bool any) { return any ? e.falseSkip : e.trueSkip; }
std::int16_t LeavingSkip(const FilterElement& e, bool any) { return any ? e.trueSkip : e.falseSkip; }

// How many elements from `head` on join as `any` says, at most kLongestJoin.
int JoinFrom(Filter& filter, int head, bool any) {
  const int count = filter.elementCount;
  FilterElement* e = filter.elements;
  const int leavesTo = Target(head, LeavingSkip(e[head], any), count);
  int length = 1;
  while (length < kLongestJoin && head + length < count) {
    FilterElement& next = e[head + length];
    if (OnwardSkip(e[head + length - 1], any) != 1) break;
    if (JoinableOf(next) == nullptr) break;
    if (Target(head + length, LeavingSkip(next, any), count) != leavesTo) break;
    ++length;
  }
  return length;
}

void Bind(FilterElement* head, const Joinable& joinable, bool any, int length) {
  const FilterElement& last = head[length - 1];
  const auto onward = static_cast<std::int16_t>(std::min<int>(
      (length - 1) + (any ? last.falseSkip : last.trueSkip), std::numeric_limits<std::int16_t>::max()));
  OnwardSkip(*head, any) = onward;
  head->routine = (any ? joinable.any : joinable.all)[static_cast<std::size_t>(length)];
}

}  // namespace

void BindJoins(Filter& filter) {
  // The plan's record length is a signed word: a negative one gives no length either.
  if (filter.recordLength == 0 || filter.recordLength > std::uint32_t{std::numeric_limits<std::int32_t>::max()}) return;
  const int count = filter.elementCount;
  for (int head = 0; head < count;) {
    FilterElement& first = filter.elements[head];
    if (const int run = equality_runs::RunLengthOf(first.routine); run > 0) {
      head += run;  // a run of equalities is already one routine
      continue;
    }
    const Joinable* joinable = JoinableOf(first);
    if (joinable == nullptr) {
      ++head;
      continue;
    }
    const int byAnd = JoinFrom(filter, head, false);
    const int byOr = JoinFrom(filter, head, true);
    const bool any = byOr > byAnd;
    const int length = std::max(byAnd, byOr);
    if (length >= 2) Bind(&first, *joinable, any, length);
    head += length;
  }
}

int JoinLengthOf(Routine routine) {
  for (const Joinable& joinable : kJoinables) {
    for (int length = 2; length <= kLongestJoin; ++length) {
      const auto at = static_cast<std::size_t>(length);
      if (joinable.all[at] == routine || joinable.any[at] == routine) return length;
    }
  }
  return 0;
}

}  // namespace vexfilt::joined_compares
