// Compares joined by AND or OR, evaluated without a branch between them: `CPU > 50 AND MEM < 1000.0 AND
// NAME = 'java'`. Walked element by element, every element's outcome is a branch; when the outcomes
// follow no pattern the processor mispredicts about every other record, which costs more than the
// compares themselves. Bound as one, the elements of the join are all evaluated and their outcomes
// combined, and the only branch left is on the join's outcome. P2 of docs/performance.md went from 9.45 to
// about 6 ns a record; a join whose first term seldom holds runs 10% to 23% slower than the walk.
//
// Creation gives the step of the join's first element a routine that makes its own compare and calls each
// other member's routine, and leads that step, by the outcome that walked the join on, to where the join's
// last element leads. The members stay as the plan gave them: inspection, modification and a jump into the
// middle of the join see every element, and each member's routine is the one its literal chose
// (fast_paths.h), so a literal modification reaches the join from the next record on.
#ifndef VEXFILT_ROUTINES_JOINED_COMPARES_H_
#define VEXFILT_ROUTINES_JOINED_COMPARES_H_

#include "core/filter.h"

namespace vexfilt::joined_compares {

// Joins longer than this are bound as consecutive joins, each leading into the next: every member is
// evaluated for every record that reaches the join, so its length bounds what a record pays for members a
// walk would have skipped.
inline constexpr int kLongestJoin = 4;

// A character literal longer than this keeps its element out of joins, for the same reason.
inline constexpr int kLongestJoinedText = 32;

// Binds every join of two or more consecutive elements of `filter` that
// - are each bound to a plain compare of a column with a literal: 4- or 2-byte integers, doubles, or fixed
//   characters. These read nothing but their column and literal and answer 0 or 1, so evaluating one that
//   a walk would have skipped changes no outcome;
// - are chained as AND chains them (each but the last leads to the next when it holds, and every false
//   skip lands on the same element, or past the last) or as OR does (true and false exchanged).
// Only when the plan gives a positive record length: creation then proved every member's column inside every
// record, including the columns of members a walk would not reach. Called once at creation, after the
// runs of equalities are bound: a run's first step is bound to the run's routine, which joins nothing.
// The run's other elements may still head joins of their own, which only a jump into the run reaches.
void BindJoins(Filter& filter);

}  // namespace vexfilt::joined_compares

#endif  // VEXFILT_ROUTINES_JOINED_COMPARES_H_
