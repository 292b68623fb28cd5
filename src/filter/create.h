// Filter creation, and what its steps share: the Filter being built and the way an element is refused.
#ifndef VEXFILT_FILTER_CREATE_H_
#define VEXFILT_FILTER_CREATE_H_

#include <cstdint>

#include "core/filter.h"
#include "host/trace.h"
#include "vexfilt.h"

namespace vexfilt {

// Builds a Filter from copies of `plan` and `pool` and writes `handle`; on failure releases all it
// obtained and leaves `handle` as it was.
std::int32_t CreateFilter(const void* plan, std::int16_t planLength, const void* pool, std::int16_t poolLength,
                          FilterHandle* handle);



// What every step of creation works on. The steps bind each element (bind_routine.h, bind_literals.h) and
// then prove it (check_record.h, check_writes.h); modification runs the proofs again over what it replaces.
struct Creation {
  TraceBlock& block;
  const TraceScope& trace;
  Filter& filter;  // its `facts` are filled as each element is bound
};

// Message and status for an element field that creation cannot accept.
std::int32_t RefuseElement(Creation& creation, int index, const char* field, std::int32_t value);

// Bytes evaluation writes at an operand: a value and its divisor for mixed scales, a timestamp for MKTIME.
inline constexpr std::int32_t kValueAreaSize = 16;
inline constexpr std::int32_t kTimestampBytes = 16;

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CREATE_H_
