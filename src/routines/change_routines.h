// The change functions: the change of a numeric column since the previous sample that saw the same row
// key, kept per key in the element's ChangeCache. And the regular-expression functions, which this
// library does not provide: they always answer 5.
#ifndef VEXFILT_ROUTINES_CHANGE_ROUTINES_H_
#define VEXFILT_ROUTINES_CHANGE_ROUTINES_H_

#include <cstddef>
#include <cstdint>

#include "core/filter.h"

namespace vexfilt {

// Value types of a change element: the low byte of its left flags (VXP_CHANGE_VALUE_ in vexplan.h).
namespace change_type {
inline constexpr std::uint8_t kShort = VXP_CHANGE_VALUE_SHORT, kUShort = VXP_CHANGE_VALUE_USHORT;
inline constexpr std::uint8_t kLong = VXP_CHANGE_VALUE_LONG, kULong = VXP_CHANGE_VALUE_ULONG;
inline constexpr std::uint8_t kDouble = VXP_CHANGE_VALUE_DOUBLE;
}  // namespace change_type

// Bytes of the column a change element reads as its value; 0 for a type that has no value path.
constexpr std::size_t ChangeValueBytes(std::uint8_t valueType) {
  switch (valueType) {
    case change_type::kShort:
    case change_type::kUShort: return 2;
    case change_type::kLong:
    case change_type::kULong: return 4;
    case change_type::kDouble: return 8;
    default: return 0;
  }
}

// Builds the row key and value in the scratch record, looks the key up and delivers the change at
// `output`: 0 delivered, 207 a new key (no previous value) or one the cache refused, 1000 no cache or no
// memory for the key's record. `functionCode` is not used.
std::int32_t DeliverChange(FilterElement& element, const std::uint8_t* record, std::uint8_t valueType, void* output,
                              std::uint32_t functionCode);

std::int32_t ChangeLong(FilterElement& element, const std::uint8_t* record);  // 4-byte and double change to leftResult
std::int32_t ChangeShort(FilterElement& element, const std::uint8_t* record);  // 2-byte change to alternateOperator
std::int32_t ChangeDouble(FilterElement& element, const std::uint8_t* record);

std::int32_t MatchRegExp(FilterElement& element, const std::uint8_t* text, std::int32_t length);
std::int32_t MatchRegExpSubstitution(FilterElement& element, const std::uint8_t* record, const std::uint8_t* text,
                            std::int32_t length, std::int32_t capacity, std::int32_t fixed);
std::int32_t RegExpFixedColumn(FilterElement& element, const std::uint8_t* record);
std::int32_t RegExpVaryingColumn(FilterElement& element, const std::uint8_t* record);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_CHANGE_ROUTINES_H_
