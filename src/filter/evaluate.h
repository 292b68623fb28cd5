// Evaluation of one record: the hot path.
#ifndef VEXFILT_FILTER_EVALUATE_H_
#define VEXFILT_FILTER_EVALUATE_H_

#include <cstdint>

#include "filter/filter.h"

namespace vexfilt {

// Walks the elements from the first, following the true skip on status 0 and the false skip otherwise,
// until the index reaches the element count; returns the status of the last routine called. A Filter
// without elements keeps every record (0).
inline std::int32_t EvaluateRecord(const Filter& filter, const std::uint8_t* record) {
  FilterElement* const elements = filter.elements;
  const int count = filter.elementCount;
  std::int32_t status = 0;
  // Creation proved every skip to be at least 1, so the index only grows; it is an int so that a long
  // skip from a late element cannot wrap it negative.
  for (int i = 0; i < count;) {
    FilterElement& element = elements[i];
    status = element.routine(element, record);
    i += status == 0 ? element.trueSkip : element.falseSkip;
  }
  return status;
}

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_EVALUATE_H_
