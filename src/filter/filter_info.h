// Filter inspection and predicate modification.
#ifndef VEXFILT_FILTER_FILTER_INFO_H_
#define VEXFILT_FILTER_FILTER_INFO_H_

#include <cstdint>

#include "core/filter.h"
#include "vexfilt.h"

namespace vexfilt {

// Describes the next predicate in the Filter's FilterInfo and points *info at it: 0; after the last one
// 63, with *info null and the cursors rewound. A search element is reported once per entry of its list.
std::int32_t GetFilter(Filter& filter, FilterInfo** info);

// Replaces the literal of every element on `columnName` (and the argument of every element whose function
// code is `functionCode`, when not 0): 0 (also when nothing matched), 7 no memory, 58 a value too long
// for its fixed literal or a negative length.
std::int32_t ModifyPredicate(Filter& filter, const char* columnName, std::uint32_t functionCode, const void* value,
                             std::int16_t valueLength);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_FILTER_INFO_H_
