// A moment as the library keeps it: seconds and nanoseconds, as the host's clock gives them.
#ifndef VEXFILT_CORE_TIME_VALUE_H_
#define VEXFILT_CORE_TIME_VALUE_H_

#include <cstdint>

namespace vexfilt {

struct TimeValue {
  std::uint32_t seconds;
  std::uint32_t nanoseconds;  // below one thousand million
};

}  // namespace vexfilt

#endif  // VEXFILT_CORE_TIME_VALUE_H_
