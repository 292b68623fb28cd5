// Sample bracketing: the begin and end of a pass over a table's rows.
#ifndef VEXFILT_FILTER_SAMPLE_H_
#define VEXFILT_FILTER_SAMPLE_H_

#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

std::int32_t BeginSample(Filter* filter);
std::int32_t EndSample(Filter* filter, std::uint32_t* result);

// The packed time of `now` since `start`: whole seconds shifted left by 8, hundredths in the low byte.
std::uint32_t SampleStampOf(TimeValue start, TimeValue now);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_SAMPLE_H_
