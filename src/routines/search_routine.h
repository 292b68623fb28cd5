// The routine of a search element: marks every search-list entry that the record's column matches.
#ifndef VEXFILT_ROUTINES_SEARCH_ROUTINE_H_
#define VEXFILT_ROUTINES_SEARCH_ROUTINE_H_

#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// Always 1: a search element never decides a record, it only marks entries.
std::int32_t Search(FilterElement& element, const std::uint8_t* record);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_SEARCH_ROUTINE_H_
