// Evaluation of one record: the hot path.
#ifndef VEXFILT_FILTER_EVALUATE_H_
#define VEXFILT_FILTER_EVALUATE_H_

#include <cstddef>
#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// Walks the steps from the first, following the true skip on status 0 and the false skip otherwise, until
// the index reaches the step count; returns the status of the last routine called. A Filter without
// elements keeps every record (0). Out of line, so that the one-call path below needs no frame.
std::int32_t WalkSteps(const Filter& filter, const std::uint8_t* record);

// The status of `record`: the walk above, or, when the first step decides alone, its routine's status
// straight away. That call is the function's last act, so the compiler makes it a jump and the routine
// returns directly to the host: no frame, no loop. A one-element plan in cache went from 4.8 to 2.0 ns a
// record (docs/performance.md, item 1).
inline std::int32_t EvaluateRecord(const Filter& filter, const std::uint8_t* record) {
  if (filter.firstElementDecides) return filter.steps->routine(*filter.elements, record);
  return WalkSteps(filter, record);
}

// The status of each of `count` records, record `i` at `records + i * stride`, into `statuses[i]`: the
// records one by one, in order, as EvaluateRecord answers them. The choice between one call and the walk
// is made once for the batch.
void EvaluateRecords(const Filter& filter, const std::uint8_t* records, std::size_t stride, std::int32_t count,
                     std::int32_t* statuses);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_EVALUATE_H_
