// Representation flags and routine slot offsets derived from data type codes.
#ifndef VEXFILT_CORE_DATA_TYPES_H_
#define VEXFILT_CORE_DATA_TYPES_H_

#include <cstdint>

#include "core/plan_format.h"

namespace vexfilt {

// Codes above 383 that are odd are the nullable form of the even code below them.
constexpr std::int16_t BaseType(std::int16_t code) {
  return (code > type::kNullableAbove && (code & 1)) ? static_cast<std::int16_t>(code - 1) : code;
}

// The representation flags of a type code, the nullable bit included; 0 for an unknown code.
constexpr std::uint16_t FlagsOfType(std::int16_t code) {
  const std::uint16_t nullable = BaseType(code) != code ? rep::kNullable : 0;
  switch (BaseType(code)) {
    case type::kVarChar: return nullable | rep::kChar | rep::kVarying;
    case type::kChar: return nullable | rep::kChar;
    case type::kUtf8VarChar: return nullable | rep::kUtf8 | rep::kVarying;
    case type::kUtf8Char: return nullable | rep::kUtf8;
    case type::kUShort: return nullable | rep::kShort | rep::kUnsigned;
    case type::kShort: return nullable | rep::kShort;
    case type::kULong: return nullable | rep::kLong | rep::kUnsigned;
    case type::kLong: return nullable | rep::kLong;
    case type::kDouble:
    case type::kDoubleAlt: return nullable | rep::kDouble;
    default: return nullable;
  }
}

// The routine slot offset of a representation: the first kind that matches, in this order.
constexpr std::int16_t SlotOffsetOf(std::uint16_t flags) {
  if (flags & rep::kAnyChar) return (flags & rep::kVarying) ? VXP_SLOT_KIND_VARCHAR : VXP_SLOT_KIND_CHAR;
  if (flags & rep::kShort) return VXP_SLOT_KIND_SHORT;
  if (flags & rep::kLong) return VXP_SLOT_KIND_LONG;
  if (flags & rep::kDouble) return VXP_SLOT_KIND_DOUBLE;
  return VXP_SLOT_KIND_CHAR;
}

static_assert(FlagsOfType(449) == 0x0061 && FlagsOfType(497) == 0x0005 && FlagsOfType(385) == 0x0001);
static_assert(FlagsOfType(2) == 0x0082 && FlagsOfType(3) == 0x0000, "codes of 383 and below are taken as they are");

}  // namespace vexfilt

#endif  // VEXFILT_CORE_DATA_TYPES_H_
