// Fast paths: faster forms of a cell's routine that give the same answers for one element, chosen
// by what the element's literal holds, so that evaluation does not re-examine the literal for every record.
// Only plain cells have them: a traced Filter keeps the cells' own routines, which its traces name.
#ifndef VEXFILT_ROUTINES_FAST_PATHS_H_
#define VEXFILT_ROUTINES_FAST_PATHS_H_

#include "core/filter.h"

namespace vexfilt {

// The routine `element` runs, given `bound`: the routine its cell bound, or a fast path of it when
// the literal has changed since. A fast path when the element's literal allows one, else the cell's
// routine. Called at creation, after the literals are bound, and after a literal is replaced.
Routine FastPathRoutine(const FilterElement& element, Routine bound);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_FAST_PATHS_H_
