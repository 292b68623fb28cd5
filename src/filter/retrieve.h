// Record retrieval: the keys of the search-list entries that no record of the last sample matched.
#ifndef VEXFILT_FILTER_RETRIEVE_H_
#define VEXFILT_FILTER_RETRIEVE_H_

#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// Writes the next unmatched entry's key into `buffer` at the list's search data offset (with its length
// prefix for a varying column) and sets *bufferLength to the record length: 0; 1 when the buffer is too
// small (the same entry is offered again); 514 when no unmatched entry is left.
std::int32_t RetrieveRecord(Filter& filter, std::uint8_t* buffer, std::uint32_t* bufferLength);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_RETRIEVE_H_
