#include "filter/evaluate.h"

namespace vexfilt {

std::int32_t WalkElements(const Filter& filter, const std::uint8_t* record) {
  FilterElement* element = filter.elements;
  // Elements after the current one. Creation proved every skip to be at least 1 (PrepareElement refuses
  // any other), so evaluation only moves forward, and a skip beyond the elements still ahead ends it.
  int ahead = filter.elementCount - 1;
  if (ahead < 0) return 0;
  for (;;) {
    // Whatever the last element answers is the record's status: called last, as a jump, its routine
    // returns straight to the host, which saves a call and a return per record that gets this far.
    if (ahead == 0) return element->routine(*element, record);
    const std::int32_t status = element->routine(*element, record);
    const int skip = status == 0 ? element->trueSkip : element->falseSkip;
    if (skip > ahead) return status;
    ahead -= skip;
    element += skip;
  }
}

}  // namespace vexfilt
