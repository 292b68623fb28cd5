// Where a character element's operands lie: its columns in the record, its literal and left value, and
// the lengths that character elements keep in fields named for other uses.
#ifndef VEXFILT_ROUTINES_OPERANDS_H_
#define VEXFILT_ROUTINES_OPERANDS_H_

#include <cstdint>

#include "core/bytes.h"
#include "core/filter.h"

namespace vexfilt::operands {

inline const std::uint8_t* ColumnOf(const FilterElement& e, const std::uint8_t* record) {
  return record + e.columnOffset;
}
inline const std::uint8_t* RightColumnOf(const FilterElement& e, const std::uint8_t* record) {
  return record + e.rightColumnOffset;
}
inline const std::uint8_t* LiteralOf(const FilterElement& e) { return static_cast<const std::uint8_t*>(e.rightData); }
inline const std::uint8_t* LeftDataOf(const FilterElement& e) { return static_cast<const std::uint8_t*>(e.leftData); }
// The 2-byte length prefix of a varying column.
inline std::uint16_t PrefixAt(const std::uint8_t* column) { return LoadUnaligned<std::uint16_t>(column); }
// The declared length of a right operand, which character elements keep in `rightScale`.
inline std::int32_t RightLength(const FilterElement& e) { return static_cast<std::uint16_t>(e.rightScale); }
// A numeric right column that the character routines read as a number; any other is compared as text.
inline bool RightIsScaledNumber(const FilterElement& e) {
  return (e.rightFlags & rep::kScaledMixed) == rep::kScaledMixed && (e.rightFlags & rep::kNumeric);
}
// Whether the routines read both operands into the value areas at the operand references: when the left
// operand is scaled and the pair is compared as numbers of different representations, which the left
// operand's mixed flag asks for, or, in a character routine, a right operand that is a scaled number.
inline bool UsesValueAreas(const FilterElement& e) {
  return (e.leftFlags & rep::kScaled) && ((e.leftFlags & rep::kMixed) || RightIsScaledNumber(e));
}

// The 16-bit word a routine keeps of each operand for its printer and, for a varying left column, for its
// own later reads: a 2-byte value, a length prefix or the bytes skipped before the value, the bytes or
// characters of a substring's part. The plan gives these fields other meanings (alternateOperator,
// rightDataType), which creation has read and evaluation no longer needs; only these accessors touch them.
inline void KeepLeftWord(FilterElement& e, std::uint16_t word) { e.alternateOperator = word; }
inline std::uint16_t LeftWordKept(const FilterElement& e) { return e.alternateOperator; }
inline void KeepRightWord(FilterElement& e, std::int16_t word) { e.rightDataType = word; }
inline std::int16_t RightWordKept(const FilterElement& e) { return e.rightDataType; }
// Where a 2-byte change is delivered in its result target: the target's own kept left word.
inline std::uint16_t* ShortChangeOf(FilterElement& target) { return &target.alternateOperator; }
inline std::uint16_t ShortChangeOf(const FilterElement& target) { return target.alternateOperator; }

}  // namespace vexfilt::operands

#endif  // VEXFILT_ROUTINES_OPERANDS_H_
