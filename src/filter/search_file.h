// Search lists read from a search list file named in the plan.
#ifndef VEXFILT_FILTER_SEARCH_FILE_H_
#define VEXFILT_FILTER_SEARCH_FILE_H_

#include <cstddef>
#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// Builds a list from the file that the element's list names ("@path" as its first key): one entry per
// line that has a key (the text before the first ";" or blank; lines starting with a blank skipped), each
// entry shaped like the plan's first entry, the key cut to the column length. On success installs it as the
// Filter's own list (`searchList`, ownership bit) and gives its size in bytes. 0, or 5 when the path is
// longer than 71 bytes, the file cannot be opened or yields no entry (the plan's list then stays in use);
// 0 with the plan's list also when the block cannot be allocated or the file not reopened.
// REQUIRES: the element's list fits its entry and has a first entry whose key starts with '@'.
std::int32_t BuildAlternateSearch(Filter& filter, FilterElement& element, std::size_t* listSize);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_SEARCH_FILE_H_
