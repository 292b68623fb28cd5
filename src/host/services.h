// Base services the library takes from its host: configuration variables and the clock.
#ifndef VEXFILT_HOST_SERVICES_H_
#define VEXFILT_HOST_SERVICES_H_

#include <cstdint>

namespace vexfilt {

struct TimeValue {
  std::uint32_t seconds;
  std::uint32_t nanoseconds;  // below one thousand million
};

// The value of configuration variable `name`, or `defaultValue` when it is not set. The result stays valid
// until the variable is changed in the process environment; callers copy what they keep.
const char* SVC1_GetEnv(const char* name, const char* defaultValue);

// Stores the current time: CLOCK_REALTIME, or the clock set with VEXH_SetClock.
void SVC1_GetTime(TimeValue* now);

}  // namespace vexfilt

#endif  // VEXFILT_HOST_SERVICES_H_
