// Status values returned by the exports and the routines.
#ifndef VEXFILT_FILTER_STATUS_H_
#define VEXFILT_FILTER_STATUS_H_

#include <cstdint>

namespace vexfilt::status {

inline constexpr std::int32_t kOk = 0;  // success, or the condition holds
inline constexpr std::int32_t kFalse = 1;  // condition does not hold; missing argument; unsupported operator
inline constexpr std::int32_t kUnavailable = 5;  // search list file unusable; regular expressions
inline constexpr std::int32_t kBadVersionOrLength = 6;
inline constexpr std::int32_t kNoMemory = 7;
inline constexpr std::int32_t kBadLiteralKind = 8;
inline constexpr std::int32_t kBadNumber = 57;
inline constexpr std::int32_t kLengthOutOfRange = 58;
inline constexpr std::int32_t kNoMoreElements = 63;
inline constexpr std::int32_t kBadTimeUnit = 71;
inline constexpr std::int32_t kNoMatch = 207;
inline constexpr std::int32_t kBadLanguage = 312;
inline constexpr std::int32_t kSubstringBeyondData = 512;
inline constexpr std::int32_t kNoMoreRecords = 514;
inline constexpr std::int32_t kHeapExhausted = 1000;
inline constexpr std::int32_t kUnreadableOperand = 1004;
inline constexpr std::int32_t kLocaleError = 1022;

}  // namespace vexfilt::status

#endif  // VEXFILT_FILTER_STATUS_H_
