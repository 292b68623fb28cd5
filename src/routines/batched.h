// Routines over many records: a routine's loop over a batch, with the routine inlined, so that a record
// costs its compare and not an indirect call. Creation binds one beside each routine that has one. Only
// routines that print nothing and write no work field but their own element's (a join's, its members') get
// one, since a batch may run its steps one after the other over all its records.
#ifndef VEXFILT_ROUTINES_BATCHED_H_
#define VEXFILT_ROUTINES_BATCHED_H_

#include <cstddef>
#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// `routine` over a batch's records, as BatchRoutine says: every status and every work field it writes are
// those of the calls one by one. The statuses are the host's own array or the walk's, never part of the
// Filter: told so, the compiler keeps the element's offsets and literal in registers across the stores
// instead of reading them again for every record.
template <Routine routine>
void Batched(FilterElement& element, const std::uint8_t* records, std::size_t stride, const std::int32_t* selection,
             std::int32_t count, std::int32_t* __restrict statuses) {
  if (selection == nullptr) {
    for (std::int32_t i = 0; i < count; ++i) statuses[i] = routine(element, records + static_cast<std::size_t>(i) * stride);
    return;
  }
  for (std::int32_t j = 0; j < count; ++j) statuses[j] = routine(element, records + static_cast<std::size_t>(selection[j]) * stride);
}

// A routine with its loop over a batch, or none.
struct BoundRoutine {
  Routine routine = nullptr;
  BatchRoutine batch = nullptr;
};

template <Routine routine>
inline constexpr BoundRoutine kBound = {routine, &Batched<routine>};

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_BATCHED_H_
