// Creation's proof that every routine reads inside the record.
#ifndef VEXFILT_FILTER_CHECK_RECORD_H_
#define VEXFILT_FILTER_CHECK_RECORD_H_

#include <cstdint>

#include "filter/create.h"

namespace vexfilt {

// Every byte of the record that each element's routine reads lies within the plan's record length (when
// it gives one), and no length or offset that locates them is negative; 0, or 6 after a message.
std::int32_t CheckRecordReads(Creation& creation);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CHECK_RECORD_H_
