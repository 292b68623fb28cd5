// Live modification: a running Filter's literals replaced, proved as creation proves them.
#ifndef VEXFILT_FILTER_MODIFY_H_
#define VEXFILT_FILTER_MODIFY_H_

#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// Replaces the literal of every element on `columnName` (and the argument of every element whose function
// code is `functionCode`, when not 0): 0 (also when nothing matched), 7 no memory, 58 a value too long
// for its fixed literal or a negative length.
std::int32_t ModifyPredicate(Filter& filter, const char* columnName, std::uint32_t functionCode, const void* value,
                             std::int16_t valueLength);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_MODIFY_H_
