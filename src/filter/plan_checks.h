// The checks creation makes on a plan and a pool before it allocates anything.
#ifndef VEXFILT_FILTER_PLAN_CHECKS_H_
#define VEXFILT_FILTER_PLAN_CHECKS_H_

#include <cstdint>

#include "host/trace.h"

namespace vexfilt {

// Versions, then lengths; 0 when the plan's header and element records and the pool's header lie inside
// the lengths given, else 6 after the failure's message (printed through `block` whatever its level).
// REQUIRES: planLength and poolLength bytes readable at plan and pool.
std::int32_t CheckPlanAndPool(TraceBlock& block, const std::uint8_t* plan, std::int16_t planLength,
                              const std::uint8_t* pool, std::int16_t poolLength);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_PLAN_CHECKS_H_
