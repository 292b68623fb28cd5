// Filter creation and release.
#ifndef VEXFILT_FILTER_CREATE_H_
#define VEXFILT_FILTER_CREATE_H_

#include <cstdint>

#include "core/filter.h"
#include "vexfilt.h"

namespace vexfilt {

// Builds a Filter from copies of `plan` and `pool` and writes `handle`; on failure releases all it
// obtained and leaves `handle` as it was.
std::int32_t CreateFilter(const void* plan, std::int16_t planLength, const void* pool, std::int16_t poolLength,
                          FilterHandle* handle);

// FLT1_DestroyFilter: releases the Filter behind the handle, if any. Always 0.
std::int32_t DestroyFilter(FilterHandle handle);

// Releases the Filter's block and everything it owns. Null is accepted.
void ReleaseFilter(Filter* filter);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CREATE_H_
