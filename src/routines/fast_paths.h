// Fast paths: faster forms of a cell's routine that give the same answers for one element, chosen
// by what the element's literal holds, so that evaluation does not re-examine the literal for every record.
// Only plain cells have them: a traced Filter keeps the cells' own routines, which its traces name.
#ifndef VEXFILT_ROUTINES_FAST_PATHS_H_
#define VEXFILT_ROUTINES_FAST_PATHS_H_

#include "core/filter.h"
#include "routines/batched.h"
#include "routines/dispatch_tables.h"

namespace vexfilt {

// The routine `element`, bound to `cell`, runs: a fast path when its family has one that the element's
// column and literal allow, else the cell's routine; with its loop over a batch of records when it has one
// (the compares of a column with a literal). Called at creation, after the literals are bound, and for a
// prefix pattern after its literal is replaced.
BoundRoutine FastPath(const FilterElement& element, const RoutineCell& cell);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_FAST_PATHS_H_
