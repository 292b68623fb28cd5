// Creation's first step for each element: the routine it runs.
#ifndef VEXFILT_FILTER_BIND_ROUTINE_H_
#define VEXFILT_FILTER_BIND_ROUTINE_H_

#include <cstdint>

#include "filter/create.h"

namespace vexfilt {

// Binds element `index` to its routine by function code, operator and slot; 0, or 1 after a message.
std::int32_t BindRoutine(Creation& creation, int index);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_BIND_ROUTINE_H_
