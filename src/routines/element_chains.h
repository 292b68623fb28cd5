// Chains of consecutive elements that creation binds to one routine on the step of the first of them: runs
// of equalities (equality_runs.h) and joined compares (joined_compares.h). In a chain every step but the
// last walks on to the next by one outcome, and every step leaves by the other outcome to the same place;
// the routine answers for the whole chain, and the first step's onward skip then leads where the last
// step's did. The elements themselves, their routines and the plan's skips, stay as they were.
#ifndef VEXFILT_ROUTINES_ELEMENT_CHAINS_H_
#define VEXFILT_ROUTINES_ELEMENT_CHAINS_H_

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/filter.h"
#include "routines/batched.h"

namespace vexfilt::element_chains {

// The outcome that walks a chain on: true for AND, false for OR.
enum class Onward { kOnTrue, kOnFalse };

inline std::int16_t& OnwardSkip(Step& s, Onward onward) { return onward == Onward::kOnTrue ? s.trueSkip : s.falseSkip; }
inline std::int16_t OnwardSkip(const Step& s, Onward onward) {
  return onward == Onward::kOnTrue ? s.trueSkip : s.falseSkip;
}
inline std::int16_t LeavingSkip(const Step& s, Onward onward) {
  return onward == Onward::kOnTrue ? s.falseSkip : s.trueSkip;
}

// The element that a skip from element `index` lands on; every skip past the last element ends evaluation
// alike, so they all count as landing on `count`.
inline int Target(int index, std::int16_t skip, int count) { return std::min(index + skip, count); }

// How many steps from `head` on form a chain walked on by `onward`, at most `longest`. `joins(index)` says
// whether the step at `index`, whose skips fit, may join the chain; it is asked only then.
template <class Joins>
int ChainFrom(const Filter& filter, int head, Onward onward, int longest, Joins joins) {
  const int count = filter.elementCount;
  const Step* s = filter.steps;
  const int leavesTo = Target(head, LeavingSkip(s[head], onward), count);
  int length = 1;
  while (length < longest && head + length < count) {
    if (OnwardSkip(s[head + length - 1], onward) != 1) break;
    if (Target(head + length, LeavingSkip(s[head + length], onward), count) != leavesTo) break;
    if (!joins(head + length)) break;
    ++length;
  }
  return length;
}

// Binds the chain of `length` steps from `head` to `routine`: the head's onward skip leads where the last
// step's does. The other steps keep their routines and skips, for a jump into the middle of the chain.
inline void BindChain(Step* head, int length, Onward onward, BoundRoutine routine, StepKind kind) {
  const Step& last = head[length - 1];
  OnwardSkip(*head, onward) = static_cast<std::int16_t>(
      std::min<int>((length - 1) + OnwardSkip(last, onward), std::numeric_limits<std::int16_t>::max()));
  head->routine = routine.routine;
  head->batch = routine.batch;
  head->members = static_cast<std::int16_t>(length);
  head->kind = kind;
}

}  // namespace vexfilt::element_chains

#endif  // VEXFILT_ROUTINES_ELEMENT_CHAINS_H_
