// What each routine reads of the record, checked against the record length once, at creation, so that
// evaluation can trust every offset.
#include "filter/check_record.h"

#include <algorithm>

#include "core/change_control.h"
#include "core/search_list.h"
#include "core/status.h"
#include "routines/change_routines.h"
#include "routines/dispatch_tables.h"
#include "routines/operands.h"

namespace vexfilt {
namespace {

// Bytes of a numeric operand by its flags; 0 when it is not numeric.
std::int32_t NumericBytes(std::uint16_t flags) {
  if (flags & rep::kShort) return 2;
  if (flags & rep::kLong) return 4;
  if (flags & rep::kDouble) return 8;
  return 0;
}

// The width of the numbers a cell's routine reads at either column; 0 for text.
std::int32_t NumberWidth(const RoutineCell& cell) {
  switch (cell.reads.column) {
    case ColumnRead::kNumber2: return 2;
    case ColumnRead::kNumber4: return 4;
    case ColumnRead::kNumber8: return 8;
    default: return 0;
  }
}

// Bytes read at the left column: none for routines that compare results only.
std::int32_t DeclaredLeftBytes(const FilterElement& e, const RoutineCell& cell) {
  // A change element copies the column's length and reads its value by the type in its flags.
  if (cell.structure == Structure::kChangeControl) {
    const auto value = static_cast<std::int32_t>(ChangeValueBytes(static_cast<std::uint8_t>(e.leftFlags & 0xFF)));
    return e.columnLength < 0 ? e.columnLength : std::max<std::int32_t>(e.columnLength, value);
  }
  if (cell.structure != Structure::kNone || cell.delivery == Delivery::kTimestamp) return e.columnLength;
  if (e.compareOperator == op::kFunc && e.functionCode == fn::kAlways) return 0;
  switch (cell.reads.column) {
    case ColumnRead::kNone: return 0;
    case ColumnRead::kText: return e.columnLength;
    case ColumnRead::kTextOrLeftLiteral: return std::max<std::int32_t>(e.columnLength, e.leftLiteralLength);
    default: return NumberWidth(cell);
  }
}

// Bytes a comparison of mixed representations reads of an operand, by the operand's own flags: a number's
// width, or text of its declared length after any length prefix.
std::int32_t BytesByFlags(std::uint16_t flags, std::int32_t declared) {
  std::int32_t bytes = NumericBytes(flags);
  if (flags & rep::kAnyChar) bytes = std::max(bytes, declared);
  if (flags & rep::kVarying) bytes = std::max(bytes, kLengthPrefix);
  return bytes;
}

// The search routine reads a length prefix when its list's first entry says the column has one.
bool SearchesPrefixedColumn(const FilterElement& e, const RoutineCell& cell) {
  if (cell.structure != Structure::kSearchList || e.rightData == nullptr) return false;
  auto* list = static_cast<std::uint8_t*>(e.rightData);
  return search_list::EntryCountOf(list) > 0 && (search_list::FirstEntry(list).type() & search_list::kVarying);
}

// A varying column's length prefix is read whatever length the column claims, and a column compared
// with another may be read by its flags rather than its cell.
std::int32_t LeftColumnBytes(const FilterElement& e, const RoutineCell& cell) {
  const std::int32_t declared = DeclaredLeftBytes(e, cell);
  if (declared < 0) return declared;
  const bool varying = cell.reads.lengthPrefix || SearchesPrefixedColumn(e, cell);
  std::int32_t bytes = varying ? std::max(declared, kLengthPrefix) : declared;
  if (cell.reads.secondColumn) bytes = std::max(bytes, BytesByFlags(e.leftFlags, e.columnLength));
  return bytes;
}

// Bytes a character routine comparing two columns reads at the right one, branch for branch as the
// routine decides how to read it.
std::int32_t RightTextBytes(const FilterElement& e, const RoutineCell& cell, bool like) {
  const bool locale = cell.reads.locale;
  const bool fixedLeft = !cell.reads.lengthPrefix;
  const std::int32_t declared = operands::RightLength(e);
  // The plain fixed compare of two unconverted columns reads both over the left literal length.
  if (!like && !locale && fixedLeft && !(e.leftFlags & rep::kMixed)) return std::max<std::int32_t>(e.leftLiteralLength, 0);
  const std::uint16_t varying = rep::kVarying | (locale ? rep::kUtf8 : rep::kChar);
  if ((e.rightFlags & varying) == varying) return std::max(kLengthPrefix, declared);
  if (like) {
    // A fixed column's matcher takes the literal length as the pattern's, unless (plainly) the right
    // operand is marked a column.
    const bool literalLength = fixedLeft && (locale || !(e.rightFlags & rep::kColumn));
    return literalLength ? std::max<std::int32_t>(e.rightLiteralLength, 0) : declared;
  }
  if (operands::RightIsScaledNumber(e)) return BytesByFlags(e.rightFlags, declared);
  return declared;
}

// Bytes read at the right column of a column-against-column element.
std::int32_t RightColumnBytes(const FilterElement& e, const RoutineCell& cell, bool like) {
  if (!cell.reads.secondColumn) return 0;
  if (NumberWidth(cell) == 0) return RightTextBytes(e, cell, like);
  const std::int32_t declared = static_cast<std::uint16_t>(e.rightScale);
  // A comparison of mixed representations reads the right column by its own flags, not as the cell's type:
  // a double compared with a 2-byte column reads two bytes there.
  const std::int32_t cellWidth = (e.leftFlags & rep::kMixed) ? 0 : NumberWidth(cell);
  const std::int32_t atLeast = std::max(cellWidth, BytesByFlags(e.rightFlags, declared));
  if (NumericBytes(e.rightFlags) > 0) return atLeast;
  return std::max<std::int32_t>({atLeast, declared, e.leftLiteralLength, e.rightLiteralLength});
}

bool Within(std::int64_t offset, std::int64_t length, std::int64_t recordLength) {
  return offset >= 0 && length >= 0 && offset + length <= recordLength;
}

}  // namespace

std::int32_t CheckRecordReads(Creation& creation) {
  const Filter& filter = creation.filter;
  const std::int64_t recordLength = filter.recordLength;
  for (int i = 0; i < filter.elementCount; ++i) {
    const FilterElement& e = filter.elements[i];
    const RoutineCell& cell = *filter.facts[i].cell;
    const std::int32_t left = LeftColumnBytes(e, cell);
    // The routine was chosen by the operator's low 16 bits.
    const std::int16_t compare = static_cast<std::int16_t>(e.compareOperator);
    if (left < 0 || e.substringOffset < 0) return RefuseElement(creation, i, "columnLength", e.columnLength);
    // A fixed substring reads the literal's length from its start; a LIKE on it the rest of the column.
    // The locale-aware walk counts characters within the column, so that any offset of it stays inside.
    if (e.functionCode == fn::kSubstring && cell.reads.fromSubstring &&
        e.substringOffset + std::max<std::int32_t>(e.rightLiteralLength, 0) > std::max(left, 0) &&
        compare != op::kLike) {
      return RefuseElement(creation, i, "substringOffset", e.substringOffset);
    }
    // A LIKE on a fixed column matches the rest of the column from the substring offset.
    if (cell.reads.fromSubstring && compare == op::kLike && e.substringOffset > e.columnLength) {
      return RefuseElement(creation, i, "substringOffset", e.substringOffset);
    }
    if (recordLength <= 0) continue;  // the plan gives no record length: the host vouches for its records
    // A fixed column against a literal is read from the substring offset for the literal's length, which
    // may reach past a column shorter than the literal.
    const bool comparesFromOffset = cell.reads.fromSubstring && cell.structure == Structure::kNone &&
                                    compare >= op::kEQ && compare <= op::kGE;
    const std::int64_t reach = comparesFromOffset
                                   ? std::int64_t{e.substringOffset} + std::max<std::int32_t>(e.rightLiteralLength, 0)
                                   : 0;
    // The reach counts even when the column claims no bytes at all.
    if ((left > 0 && !Within(e.columnOffset, left, recordLength)) ||
        (reach > 0 && !Within(e.columnOffset, reach, recordLength))) {
      return RefuseElement(creation, i, "columnOffset", e.columnOffset);
    }
    const std::int32_t right = RightColumnBytes(e, cell, compare == op::kLike);
    if (right > 0 && !Within(e.rightColumnOffset, right, recordLength)) {
      return RefuseElement(creation, i, "rightColumnOffset", e.rightColumnOffset);
    }
    if (cell.structure == Structure::kChangeControl) {
      namespace cc = change_control;
      const auto* control = static_cast<const std::uint8_t*>(e.rightData);
      const std::int32_t stride = cc::Field16(control, cc::kKeyStride);
      for (int k = 0; k < cc::Field16(control, cc::kKeyColumns); ++k) {
        const std::uint8_t* entry = control + cc::kKeyEntries + static_cast<std::size_t>(k * stride);
        if (!Within(cc::Field16(entry, cc::kKeyColumnOffset), cc::Field16(entry, cc::kKeyColumnLength), recordLength)) {
          return RefuseElement(creation, i, "rightLiteralId", e.rightLiteralId);
        }
      }
    }
  }
  return status::kOk;
}

}  // namespace vexfilt
