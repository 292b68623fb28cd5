// Status values returned by the exports and the routines. Those a host can see are named in vexfilt.h;
// this file gives them their C++ names, beside the few that stay inside the library.
#ifndef VEXFILT_CORE_STATUS_H_
#define VEXFILT_CORE_STATUS_H_

#include <cstdint>

#include "vexfilt.h"

namespace vexfilt::status {

inline constexpr std::int32_t kOk = VXF_STATUS_OK;  // success, or the condition holds
inline constexpr std::int32_t kFalse = VXF_STATUS_FALSE;  // condition does not hold; missing argument; unsupported operator
inline constexpr std::int32_t kUnavailable = VXF_STATUS_UNAVAILABLE;  // search list file unusable; regular expressions
inline constexpr std::int32_t kBadVersionOrLength = VXF_STATUS_BAD_VERSION_OR_LENGTH;
inline constexpr std::int32_t kNoMemory = VXF_STATUS_NO_MEMORY;
inline constexpr std::int32_t kBadLiteralKind = VXF_STATUS_BAD_LITERAL;
inline constexpr std::int32_t kBadNumber = VXF_STATUS_BAD_NUMBER;
inline constexpr std::int32_t kLengthOutOfRange = VXF_STATUS_LENGTH_OUT_OF_RANGE;
inline constexpr std::int32_t kNoMoreElements = VXF_STATUS_NO_MORE_ELEMENTS;
inline constexpr std::int32_t kNoMatch = VXF_STATUS_NO_MATCH;
inline constexpr std::int32_t kBadLanguage = VXF_STATUS_BAD_LANGUAGE;
inline constexpr std::int32_t kSubstringBeyondData = VXF_STATUS_SUBSTRING_BEYOND_DATA;
inline constexpr std::int32_t kNoMoreRecords = VXF_STATUS_NO_MORE_RECORDS;
inline constexpr std::int32_t kHeapExhausted = VXF_STATUS_HEAP_EXHAUSTED;
inline constexpr std::int32_t kUnreadableOperand = VXF_STATUS_UNREADABLE_OPERAND;
inline constexpr std::int32_t kLocaleError = VXF_STATUS_LOCALE_ERROR;

// MKTIME's answer to an unknown increment unit: its routine turns every failure into 1, so no export
// returns it.
inline constexpr std::int32_t kBadTimeUnit = 71;

}  // namespace vexfilt::status

#endif  // VEXFILT_CORE_STATUS_H_
