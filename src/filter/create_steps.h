// The steps of creation that bind each element: its routine, then its literals. Internal to creation.
#ifndef VEXFILT_FILTER_CREATE_STEPS_H_
#define VEXFILT_FILTER_CREATE_STEPS_H_

#include <array>
#include <cstdint>

#include "filter/filter.h"
#include "host/trace.h"
#include "routines/routine_table.h"

namespace vexfilt {

// A plan is at most 32767 bytes and its element records at least 192 bytes apart.
inline constexpr int kMaxElements = (32767 - static_cast<int>(kPlanHeaderSize)) / static_cast<int>(kElementRecordSize) + 1;

struct Creation {
  TraceBlock& block;
  const TraceScope& trace;
  Filter& filter;
  std::array<const RoutineCell*, kMaxElements> cells{};  // the cell each element was bound from
  std::array<std::int16_t, kMaxElements> slots{};  // and its slot in that cell's table
  // Bytes of data at each element's operand references, as the bound entries leave room for.
  std::array<std::int32_t, kMaxElements> leftRoom{};
  std::array<std::int32_t, kMaxElements> rightRoom{};
};

// Binds element `index` to its routine by function code, operator and slot; 0, or 1 after a message.
std::int32_t BindRoutine(Creation& creation, int index);

// Binds every element's operands to the pool entries named by its literal ids, and prepares what the
// routines will read there (LIKE pattern lengths, column descriptors); 0, or 6 after a message.
std::int32_t BindLiterals(Creation& creation);

// Every byte of the record that each element's routine reads lies within the plan's record length (when
// it gives one), and no length or offset that locates them is negative; 0, or 6 after a message.
std::int32_t CheckRecordReads(Creation& creation);

// No element writes, at evaluation, into a change control block or search list that another part of the
// plan relies on: value areas, timestamps and scratch records lie apart from them; 0, or 6 after a message.
std::int32_t CheckWritesApart(Creation& creation);

// Bytes evaluation writes at an operand: a value and its divisor for mixed scales, a timestamp for MKTIME.
inline constexpr std::int32_t kValueAreaSize = 16;
inline constexpr std::int32_t kTimestampBytes = 16;

// Message and status for an element field that creation cannot accept.
std::int32_t RefuseElement(Creation& creation, int index, const char* field, std::int32_t value);

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_CREATE_STEPS_H_
