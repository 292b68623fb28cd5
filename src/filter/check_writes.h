// Creation's proof that what evaluation writes leaves the structures other elements trust alone.
#ifndef VEXFILT_FILTER_CHECK_WRITES_H_
#define VEXFILT_FILTER_CHECK_WRITES_H_

#include <cstdint>

#include "core/filter.h"
#include "filter/create.h"

namespace vexfilt {

// No element writes, at evaluation, into a change control block or search list that another part of the
// plan relies on: value areas, timestamps and scratch records lie apart from them; 0, or 6 after a message.
std::int32_t CheckWritesApart(Creation& creation);

// Whether `length` bytes at `data` reach into a change control block or search list some element trusts.
bool ReachesStructure(const Filter& filter, const void* data, std::int32_t length);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CHECK_WRITES_H_
