// Numeric comparison routines: 4-byte integers (slots 10 to 14), 2-byte integers (15 to 19) and doubles
// (20 to 24), each as column against literal, column, result, and result against result and literal.
//
// Only the left operand's unsigned flag chooses signedness here; operands of different representations
// (left flag kMixed) go through CompareNumeric, which reads both operands' flags.
#ifndef VEXFILT_ROUTINES_NUMERIC_ROUTINES_H_
#define VEXFILT_ROUTINES_NUMERIC_ROUTINES_H_

#include <cstdint>

#include "core/bytes.h"
#include "core/filter.h"
#include "routines/compare.h"

namespace vexfilt {

// Reads both operands of an element whose operands differ in representation and leaves their three-way
// outcome in `conditionCode`. 0, or 57 (text is not a number), 58 (length prefix out of range), 1004
// (an operand it cannot read).
std::int32_t CompareNumeric(FilterElement& element, const std::uint8_t* record);

// Reads a number written as text in the left (operand 0) or right (operand 1) column into the operand's
// value area, rounded to the other operand's decimal places, halves towards positive infinity. 0, 57 or 58.
std::int32_t ConvertNumericText(FilterElement& element, const std::uint8_t* record, int operand);

namespace numeric {

inline std::int32_t Long(const std::uint8_t* record, std::int32_t offset) {
  return LoadUnaligned<std::int32_t>(record + offset);
}
inline std::int16_t Short(const std::uint8_t* record, std::int32_t offset) {
  return LoadUnaligned<std::int16_t>(record + offset);
}
inline double Double(const std::uint8_t* record, std::int32_t offset) {
  return LoadUnaligned<double>(record + offset);
}
inline bool IsUnsigned(const FilterElement& element) { return (element.leftFlags & rep::kUnsigned) != 0; }

// A 2-byte value widened to 32 bits by sign, or by zero for an unsigned column.
inline std::int32_t Widen(std::int16_t value, bool isUnsigned) {
  return isUnsigned ? static_cast<std::int32_t>(static_cast<std::uint16_t>(value)) : value;
}

// EQ and NE compare bits; the orderings follow the left operand's signedness.
template <Op op>
bool LongHolds(std::int32_t left, std::int32_t right, bool isUnsigned) {
  if constexpr (op == Op::kEQ || op == Op::kNE) {
    return Holds<op>(left, right);
  } else {
    return isUnsigned ? Holds<op>(static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(right))
                      : Holds<op>(left, right);
  }
}

// A column against another column of a different representation.
template <Op op>
std::int32_t MixedColumns(FilterElement& element, const std::uint8_t* record) {
  if (CompareNumeric(element, record) != 0) return 1;
  return StatusOf(OutcomeHolds<op>(element.conditionCode));
}

inline bool IsMixed(const FilterElement& element) { return (element.leftFlags & rep::kMixed) != 0; }

// 4-byte integers.
template <Op op>
std::int32_t LongColLit(FilterElement& e, const std::uint8_t* record) {
  return StatusOf(LongHolds<op>(Long(record, e.columnOffset), LoadUnaligned<std::int32_t>(e.rightData), IsUnsigned(e)));
}
// The same with the column's signedness fixed when the routine is bound (fast_paths.h), so that no record
// tests the flag.
template <Op op, bool isUnsigned>
std::int32_t LongColLitOf(FilterElement& e, const std::uint8_t* record) {
  return StatusOf(LongHolds<op>(Long(record, e.columnOffset), LoadUnaligned<std::int32_t>(e.rightData), isUnsigned));
}
// Two columns of the same type: unsigned columns compare as unsigned numbers.
template <Op op>
std::int32_t LongColCol(FilterElement& e, const std::uint8_t* record) {
  if (IsMixed(e)) return MixedColumns<op>(e, record);
  return StatusOf(LongHolds<op>(Long(record, e.columnOffset), Long(record, e.rightColumnOffset), IsUnsigned(e)));
}
template <Op op>
std::int32_t LongColResult(FilterElement& e, const std::uint8_t* record) {
  return StatusOf(LongHolds<op>(Long(record, e.columnOffset), e.leftResult, IsUnsigned(e)));
}
template <Op op>
std::int32_t LongResultResult(FilterElement& e, const std::uint8_t*) {
  return StatusOf(Holds<op>(static_cast<std::uint32_t>(e.leftResult), static_cast<std::uint32_t>(e.rightResult)));
}
template <Op op>
std::int32_t LongResultLit(FilterElement& e, const std::uint8_t*) {
  return StatusOf(LongHolds<op>(e.leftResult, LoadUnaligned<std::int32_t>(e.rightData), IsUnsigned(e)));
}

// 2-byte integers, widened to 32 bits by the left operand's signedness.
template <Op op>
std::int32_t ShortColLit(FilterElement& e, const std::uint8_t* record) {
  const bool isUnsigned = IsUnsigned(e);
  return StatusOf(Holds<op>(Widen(Short(record, e.columnOffset), isUnsigned),
                            Widen(LoadUnaligned<std::int16_t>(e.rightData), isUnsigned)));
}
template <Op op, bool isUnsigned>
std::int32_t ShortColLitOf(FilterElement& e, const std::uint8_t* record) {
  return StatusOf(Holds<op>(Widen(Short(record, e.columnOffset), isUnsigned),
                            Widen(LoadUnaligned<std::int16_t>(e.rightData), isUnsigned)));
}
template <Op op>
std::int32_t ShortColCol(FilterElement& e, const std::uint8_t* record) {
  if (IsMixed(e)) return MixedColumns<op>(e, record);
  const bool isUnsigned = IsUnsigned(e);
  return StatusOf(Holds<op>(Widen(Short(record, e.columnOffset), isUnsigned),
                            Widen(Short(record, e.rightColumnOffset), isUnsigned)));
}
template <Op op>
std::int32_t ShortColResult(FilterElement& e, const std::uint8_t* record) {
  const bool isUnsigned = IsUnsigned(e);
  return StatusOf(LongHolds<op>(Widen(Short(record, e.columnOffset), isUnsigned), e.leftResult, isUnsigned));
}
template <Op op>
std::int32_t ShortResultLit(FilterElement& e, const std::uint8_t*) {
  const bool isUnsigned = IsUnsigned(e);
  return StatusOf(LongHolds<op>(e.leftResult, Widen(LoadUnaligned<std::int16_t>(e.rightData), isUnsigned), isUnsigned));
}

// Doubles: IEEE relations. Against a result the value still comes from the column and the right value area.
template <Op op>
std::int32_t DoubleColLit(FilterElement& e, const std::uint8_t* record) {
  return StatusOf(Holds<op>(Double(record, e.columnOffset), LoadUnaligned<double>(e.rightData)));
}
template <Op op>
std::int32_t DoubleColCol(FilterElement& e, const std::uint8_t* record) {
  if (IsMixed(e)) return MixedColumns<op>(e, record);
  return StatusOf(Holds<op>(Double(record, e.columnOffset), Double(record, e.rightColumnOffset)));
}
// A floating-point result against a literal is not defined: the condition never holds.
inline std::int32_t NeverHolds(FilterElement&, const std::uint8_t*) { return 1; }

}  // namespace numeric
}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_NUMERIC_ROUTINES_H_
