// Runs of equalities on one integer column: `PID = a OR PID = b OR ...` (an IN list) and
// `PID <> a AND PID <> b AND ...` (a NOT IN list). Evaluated element by element, a record that matches none
// of n literals costs n routine calls; bound as a run, it costs one. Creation gives the step of the run's
// first element a routine that compares the column with every literal of the run, and leads that step, by
// the outcome that would have walked the run on, to where the run's last element leads. The elements stay
// as the plan gave them (inspection, modification and their literals are untouched), and evaluation no
// longer visits the steps of the others. An IN list of five (P4 of docs/performance.md) went from 13.4 to 3.9 ns a
// record.
#ifndef VEXFILT_ROUTINES_EQUALITY_RUNS_H_
#define VEXFILT_ROUTINES_EQUALITY_RUNS_H_

#include "core/filter.h"

namespace vexfilt::equality_runs {

// Longer runs are bound as consecutive runs of at most this many elements, each leading into the next.
inline constexpr int kLongestRun = 16;

// Binds every run of two or more consecutive elements of `filter` that
// - have steps bound to the plain routine of an integer column (4 or 2 bytes) against a literal, all EQ or all NE;
// - name the same column: offset, length, data type and flags;
// - are chained as the operator asks: for EQ each but the last falls through to the next when it does not
//   hold (false skip 1) and every true skip lands on the same element, or past the last; for NE the same
//   with true and false exchanged.
// A traced Filter's elements are bound to traced routines and are never part of a run, so that every
// element's trace is written. Called once at creation, after the fast paths are chosen.
void BindRuns(Filter& filter);

}  // namespace vexfilt::equality_runs

#endif  // VEXFILT_ROUTINES_EQUALITY_RUNS_H_
