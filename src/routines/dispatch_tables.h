// Routine tables: one per operator or function set, indexed by routine slot, in a plain and a traced form.
//
// The slot says what an element compares: character columns 0 to 6, 4-byte integers 10 to 14, 2-byte
// integers 15 to 19, floating point 20 to 24, locale-aware character 25 to 31 (the plain slot + 25). An
// empty cell (no routine) is a combination that has no meaning; creation refuses an element that lands
// on one.
#ifndef VEXFILT_ROUTINES_DISPATCH_TABLES_H_
#define VEXFILT_ROUTINES_DISPATCH_TABLES_H_

#include <array>
#include <cstdint>

#include "core/filter.h"
#include "routines/rows.h"

namespace vexfilt {

inline constexpr int kSlotCount = VXP_SLOT_COUNT;
inline constexpr int kLocaleSlotShift = VXP_SLOT_LOCALE_SHIFT;  // a locale-aware element's routine lies 25 slots further

// How many bytes a routine reads at an operand reference: a fixed size, or the length an element field gives.
enum class Extent : std::uint8_t {
  kNone,
  kBytes2,
  kBytes4,
  kBytes8,
  kRightLiteralLength,
  kLeftLiteralLength,
  kRightScale,
  kLeftScale,
  kBytes1,
};

// What a routine writes in the element `resultTarget` away.
enum class Delivery : std::uint8_t {
  kNone,
  kResultWords,  // leftResult and rightResult: found flags, changes of up to 8 bytes
  kShortWord,  // the 16-bit alternateOperator: changes of 2 bytes
  kTimestamp,  // 16 bytes into the target's left (resultOperand 0) or right operand buffer
};

// Structures that a routine finds at its operand references, which creation checks as a whole.
enum class Structure : std::uint8_t {
  kNone,
  kChangeControl,  // rightData a change control block, leftData its scratch record
  kSearchList,  // rightData a search list
};

// What a routine reads of the record at the element's column (columnOffset). Creation proves every byte of
// it inside the record.
enum class ColumnRead : std::uint8_t {
  kNone,  // results of earlier elements only
  kNumber2,  // a number of the slot's width
  kNumber4,
  kNumber8,
  kText,  // text over the column's declared length
  kTextOrLeftLiteral,  // fixed text over the longer of the column's length and the left literal length
};

// A row's reads: the same for every cell of a slot, whatever its operator.
struct RecordReads {
  ColumnRead column = ColumnRead::kText;
  bool lengthPrefix = false;  // a varying column: its 2-byte length, read whatever length the column claims
  bool secondColumn = false;  // a column at rightColumnOffset, read as the routine decides (see check_record.cc)
  bool fromSubstring = false;  // fixed text against a literal: read from substringOffset for the literal's length
  bool locale = false;  // UTF-8 text in the Filter's collation
};

// What the speed passes of creation may bind in place of a cell's routine: a form chosen by the literal or
// the column's signedness (fast_paths.h), a run of equalities (equality_runs.h), a join (joined_compares.h).
// Only plain cells belong to a family: a traced Filter keeps the cells' own routines, which its traces name.
enum class Family : std::uint8_t {
  kNone,
  kLongLiteral,  // a 4-byte integer column against a literal
  kShortLiteral,  // a 2-byte integer column against a literal
  kDoubleLiteral,  // a double column against a literal
  kTextLiteral,  // a fixed character column against a literal of bytes
  kVaryingTextLiteral,  // a varying character column against a literal of bytes
  kPrefixPattern,  // LIKE on a fixed character column, whose pattern may be plain bytes and then asterisks
  kConstant,  // holds, or does not, whatever the record (the compiler's TRUE and NEVER)
};

// One cell: the routine, the name under which its traced form traces (empty for an empty cell), what the
// routine reads and writes beyond the record, which creation proves is there, the family the speed passes
// know it by, with its operator, and what it reads of the record.
struct RoutineCell {
  Routine routine = nullptr;
  const char* name = "";
  Extent right = Extent::kNone;  // read at rightData
  Extent left = Extent::kNone;  // read at leftData
  Delivery delivery = Delivery::kNone;
  Structure structure = Structure::kNone;
  Family family = Family::kNone;
  Op op = Op::kEQ;  // the matrix column of a family's cell
  RecordReads reads{};
};
using RoutineTable = std::array<RoutineCell, kSlotCount>;

enum class Mode { kPlain, kTraced };

// The table for an operator code (4 to 9, 33 FUNC, 59 LIKE). Any other code: message
// "Unsupported Record Mode Operator - %d", result 1, *table unchanged.
std::int32_t OperatorTableFor(const FilterElement& element, std::int16_t operatorCode, const RoutineTable** table);

// The table for a function code (1, 6, 8, 12, 13, 14, 15, 16). Any other code: message
// "Unsupported Record Mode FunctionSet - %d", result 1, *table unchanged.
std::int32_t FunctionTableFor(const FilterElement& element, std::uint32_t functionCode,
                                     const RoutineTable** table);

// The MKTIME and search tables, which creation binds from directly: they have no traced form.
const RoutineTable& DirectTable(std::uint32_t functionCode);

// The cell at `row` of `table`, or null when the row lies outside the table or its cell is empty: the
// library never calls a missing routine.
const RoutineCell* CellAt(const RoutineTable& table, int row);

// The tables themselves, for tests and inspection.
const RoutineTable& OperatorTable(Mode mode, Op op);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_DISPATCH_TABLES_H_
