// Routines of the column functions that need no table of their own.
#ifndef VEXFILT_ROUTINES_FUNCTION_ROUTINES_H_
#define VEXFILT_ROUTINES_FUNCTION_ROUTINES_H_

#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// The FUNC operator and function 1: holds without reading the record.
std::int32_t AlwaysHolds(FilterElement& element, const std::uint8_t* record);
// Its traced form ("True"): holds, and prints one line under bit 0x01 or 0x80.
std::int32_t TracedAlwaysHolds(FilterElement& element, const std::uint8_t* record);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_FUNCTION_ROUTINES_H_
