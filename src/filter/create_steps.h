// The steps of creation that bind each element: its routine, then its literals. Internal to creation.
#ifndef VEXFILT_FILTER_CREATE_STEPS_H_
#define VEXFILT_FILTER_CREATE_STEPS_H_

#include <cstdint>

#include "core/filter.h"
#include "host/trace.h"
#include "routines/routine_table.h"

namespace vexfilt {

struct Creation {
  TraceBlock& block;
  const TraceScope& trace;
  Filter& filter;  // its `facts` are filled as each element is bound
};

// Binds element `index` to its routine by function code, operator and slot; 0, or 1 after a message.
std::int32_t BindRoutine(Creation& creation, int index);

// Binds every element's operands to the pool entries named by its literal ids, and prepares what the
// routines will read there (LIKE pattern lengths, column descriptors); 0, or 6 after a message.
std::int32_t BindLiterals(Creation& creation);

// Every routine finds at its operand references the bytes it reads, and every structure it trusts is
// sound; 0, or 6 after a message. Run again by modification over the literals it replaces.
std::int32_t CheckOperands(Creation& creation);

// Every byte of the record that each element's routine reads lies within the plan's record length (when
// it gives one), and no length or offset that locates them is negative; 0, or 6 after a message.
std::int32_t CheckRecordReads(Creation& creation);

// No element writes, at evaluation, into a change control block or search list that another part of the
// plan relies on: value areas, timestamps and scratch records lie apart from them; 0, or 6 after a message.
std::int32_t CheckWritesApart(Creation& creation);

// Whether `length` bytes at `data` reach into a change control block or search list some element trusts.
bool ReachesStructure(const Filter& filter, const void* data, std::int32_t length);

// Bytes evaluation writes at an operand: a value and its divisor for mixed scales, a timestamp for MKTIME.
inline constexpr std::int32_t kValueAreaSize = 16;
inline constexpr std::int32_t kTimestampBytes = 16;

// Message and status for an element field that creation cannot accept.
std::int32_t RefuseElement(Creation& creation, int index, const char* field, std::int32_t value);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CREATE_STEPS_H_
