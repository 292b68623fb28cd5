// MKTIME: a signed increment added to a 16-digit timestamp "YYYMMDDhhmmssmmm" (years since 1900, month
// 1 to 12, day, hours, minutes, seconds, milliseconds), normalised in local time.
#ifndef VEXFILT_ROUTINES_MKTIME_H_
#define VEXFILT_ROUTINES_MKTIME_H_

#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

inline constexpr int kTimestampLength = 16;

// `increment` is an amount as atoi reads it and a unit letter as its last byte: D days, H hours,
// M minutes, S seconds, T milliseconds; the first byte of `sign` "+" adds, anything else subtracts.
// 0 with 16 characters in `output`; 58 wrong length, 57 not digits or no valid time, 71 unknown unit.
std::int32_t ShiftTimestamp(const std::uint8_t* timestamp, std::int32_t length, const std::uint8_t* increment,
                           std::int32_t incrementLength, const std::uint8_t* sign, std::uint8_t* output,
                           std::int32_t* outputLength);

// The MKTIME element: the column's timestamp moved by the increment into the target's operand buffer.
std::int32_t MakeTimeRoutine(FilterElement& element, const std::uint8_t* record);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_MKTIME_H_
