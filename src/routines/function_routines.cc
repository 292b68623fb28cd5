#include "routines/function_routines.h"

namespace vexfilt {

std::int32_t AlwaysHolds(FilterElement&, const std::uint8_t*) { return 0; }

}  // namespace vexfilt
