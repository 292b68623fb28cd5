#include "filter/evaluate.h"

namespace vexfilt {

std::int32_t WalkSteps(const Filter& filter, const std::uint8_t* record) {
  const Step* step = filter.steps;
  FilterElement* element = filter.elements;
  // Steps after the current one. Creation proved every skip to be at least 1 (PrepareElement refuses any
  // other), so evaluation only moves forward, and a skip beyond the steps still ahead ends it.
  int ahead = filter.elementCount - 1;
  if (ahead < 0) return 0;
  for (;;) {
    // Whatever the last step answers is the record's status: called last, as a jump, its routine returns
    // straight to the host, which saves a call and a return per record that gets this far.
    if (ahead == 0) return step->routine(*element, record);
    const std::int32_t status = step->routine(*element, record);
    const int skip = status == 0 ? step->trueSkip : step->falseSkip;
    if (skip > ahead) return status;
    ahead -= skip;
    step += skip;
    element += skip;
  }
}

void EvaluateRecords(const Filter& filter, const std::uint8_t* records, std::size_t stride, std::int32_t count,
                     std::int32_t* statuses) {
  if (filter.firstElementDecides) {
    const Step& step = *filter.steps;
    if (step.batch != nullptr) return step.batch(*filter.elements, records, stride, count, statuses);
    for (std::int32_t i = 0; i < count; ++i) statuses[i] = step.routine(*filter.elements, records + i * stride);
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) statuses[i] = WalkSteps(filter, records + i * stride);
}

}  // namespace vexfilt
