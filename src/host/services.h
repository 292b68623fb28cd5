// Base services the library takes from its host: configuration variables and the clock.
#ifndef VEXFILT_HOST_SERVICES_H_
#define VEXFILT_HOST_SERVICES_H_

#include <cstdint>

#include "core/time_value.h"
#include "vexhost.h"

namespace vexfilt {

// The value of configuration variable `name`, or `defaultValue` when it is not set. The result stays valid
// until the variable is changed in the process environment; callers copy what they keep.
const char* ConfigurationValue(const char* name, const char* defaultValue);

// Stores the current time: CLOCK_REALTIME, or the clock set with SetClock.
void CurrentTime(TimeValue* now);

// The host's clock from now on; null returns to CLOCK_REALTIME. May throw should the lock refuse, and the
// clock then stays as it was.
void SetClock(VEXH_Clock clock, void* context);

}  // namespace vexfilt

#endif  // VEXFILT_HOST_SERVICES_H_
