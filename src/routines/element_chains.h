// Chains of consecutive elements that creation binds to one routine on the first of them: runs of
// equalities (equality_runs.h) and joined compares (joined_compares.h). In a chain every element but the
// last walks on to the next by one outcome, and every element leaves by the other outcome to the same
// place; the routine answers for the whole chain, and the first element's onward skip then leads where the
// last element's did.
#ifndef VEXFILT_ROUTINES_ELEMENT_CHAINS_H_
#define VEXFILT_ROUTINES_ELEMENT_CHAINS_H_

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/filter.h"

namespace vexfilt::element_chains {

// The outcome that walks a chain on: true for AND, false for OR.
enum class Onward { kOnTrue, kOnFalse };

inline std::int16_t& OnwardSkip(FilterElement& e, Onward onward) {
  return onward == Onward::kOnTrue ? e.trueSkip : e.falseSkip;
}
inline std::int16_t OnwardSkip(const FilterElement& e, Onward onward) {
  return onward == Onward::kOnTrue ? e.trueSkip : e.falseSkip;
}
inline std::int16_t LeavingSkip(const FilterElement& e, Onward onward) {
  return onward == Onward::kOnTrue ? e.falseSkip : e.trueSkip;
}

// The element that a skip from element `index` lands on; every skip past the last element ends evaluation
// alike, so they all count as landing on `count`.
inline int Target(int index, std::int16_t skip, int count) { return std::min(index + skip, count); }

// How many elements from `head` on form a chain walked on by `onward`, at most `longest`. `joins(next)` says
// whether an element whose skips fit may join the chain; it is asked only then.
template <class Joins>
int ChainFrom(const Filter& filter, int head, Onward onward, int longest, Joins joins) {
  const int count = filter.elementCount;
  const FilterElement* e = filter.elements;
  const int leavesTo = Target(head, LeavingSkip(e[head], onward), count);
  int length = 1;
  while (length < longest && head + length < count) {
    const FilterElement& next = e[head + length];
    if (OnwardSkip(e[head + length - 1], onward) != 1) break;
    if (Target(head + length, LeavingSkip(next, onward), count) != leavesTo) break;
    if (!joins(next)) break;
    ++length;
  }
  return length;
}

// Binds the chain of `length` elements from `head` to `routine`: the head's onward skip leads where the last
// element's does. The other elements keep their routines and skips.
inline void BindChain(FilterElement* head, int length, Onward onward, Routine routine) {
  const FilterElement& last = head[length - 1];
  OnwardSkip(*head, onward) = static_cast<std::int16_t>(
      std::min<int>((length - 1) + OnwardSkip(last, onward), std::numeric_limits<std::int16_t>::max()));
  head->routine = routine;
}

}  // namespace vexfilt::element_chains

#endif  // VEXFILT_ROUTINES_ELEMENT_CHAINS_H_
