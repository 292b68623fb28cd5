// Filter release.
#ifndef VEXFILT_FILTER_DESTROY_H_
#define VEXFILT_FILTER_DESTROY_H_

#include <cstdint>

#include "core/filter.h"
#include "vexfilt.h"

namespace vexfilt {

// FLT1_DestroyFilter: releases the Filter behind the handle, if any. Always 0.
std::int32_t DestroyFilter(FilterHandle handle);

// Releases the Filter's block and everything it owns. Null is accepted.
void ReleaseFilter(Filter* filter);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_DESTROY_H_
