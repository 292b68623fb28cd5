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


}  // namespace vexfilt

#endif  // VEXFILT_FILTER_FILTER_INFO_H_
