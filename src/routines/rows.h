// The rows of the dispatch matrix: the row an element lands on, and the name under which each row's cell
// traces and is listed. Header-only, so that a listing of plans outside the library names routines as the
// library's tables do; the tables check at compile time that their cells carry these names.
#ifndef VEXFILT_ROUTINES_ROWS_H_
#define VEXFILT_ROUTINES_ROWS_H_

#include <cstdint>

#include "core/data_types.h"
#include "core/plan_format.h"

namespace vexfilt {

// The columns of the dispatch matrix.
enum class Op : int { kEQ, kNE, kGT, kLT, kGE, kLE, kLike, kStr };

// The trace name of a cell, by the shape of what it compares and its operator column.
enum class Shape { kColLit, kColCol, kFuncLit, kColResult, kResultResult, kResultLit, kFixColLit, kVarColLit };

inline constexpr int kShapeCount = 8;
inline constexpr int kOpCount = 8;

// Rows: shapes; columns: EQ NE GT LT GE LE LIKE STR.
inline constexpr const char* kTraceNames[kShapeCount][kOpCount] = {
    {"ColEQLit", "ColNELit", "ColGTLit", "ColLTLit", "ColGELit", "ColLELit", "ColLILit", "ColSTRLit"},
    {"ColEQCol", "ColNECol", "ColGTCol", "ColLTCol", "ColGECol", "ColLECol", "ColLICol", nullptr},
    {"FuncEQLit", "FuncNELit", "FuncGTLit", "FuncLTLit", "FuncGELit", "FuncLELit", "FuncLILit", nullptr},
    {"ColEQResult", "ColNEResult", "ColGTResult", "ColLTResult", "ColGEResult", "ColLEResult", nullptr, nullptr},
    {"ResultEQResult", "ResultNEResult", "ResultGTResult", "ResultLTResult", "ResultGEResult", "ResultLEResult",
     nullptr, nullptr},
    {"ResultEQLit", "ResultNELit", "ResultGTLit", "ResultLTLit", "ResultGELit", "ResultLELit", nullptr, nullptr},
    {"FixColEQLit", "FixColNELit", "FixColGTLit", "FixColLTLit", "FixColGELit", "FixColLELit", "FixColLILit",
     "FixColStrLit"},
    {"VarColEQLit", "VarColNELit", "VarColGTLit", "VarColLTLit", "VarColGELit", "VarColLELit", "VarColLILit",
     "VarColStrLit"},
};

constexpr const char* TraceName(Shape shape, Op op) {
  return kTraceNames[static_cast<int>(shape)][static_cast<int>(op)];
}

inline constexpr char kChangeLongName[] = "CHGLong";
inline constexpr char kChangeShortName[] = "CHGShort";
inline constexpr char kChangeDoubleName[] = "CHGFloat";

// Whether a function code binds from a function set rather than from the operator's table.
constexpr bool BindsByFunction(std::uint32_t functionCode) {
  return functionCode == fn::kAlways || functionCode == fn::kStringSearch || functionCode == fn::kRegexp ||
         functionCode == fn::kRegexpAlt || fn::IsChange(functionCode) || functionCode == fn::kMktime ||
         functionCode == fn::kSearchList;
}

// The row an element lands on: its plan's slot, or the column-against-column row of its left operand's kind
// for converted columns compared by an operator; moved by the locale shift when the element compares UTF-8
// text locale-aware; the one row of a direct table for MKTIME and search.
constexpr int RowOf(std::int16_t planSlot, std::uint32_t functionCode, std::uint16_t leftFlags, bool localeAware) {
  if (functionCode == fn::kMktime || functionCode == fn::kSearchList) return slot::kFunction;
  if (localeAware) return slot::Locale(planSlot);
  constexpr std::uint16_t kConvertedColumns = rep::kMixed | rep::kColumn;
  if (!BindsByFunction(functionCode) && (leftFlags & kConvertedColumns) == kConvertedColumns) {
    return SlotOffsetOf(leftFlags) + VXP_SLOT_COL_COL;
  }
  return planSlot;
}

// What each comparison row compares, which names its cells.
constexpr bool ShapeOfRow(int row, Shape* shape) {
  switch (row) {
    case slot::kCharColLit:
    case slot::kVarCharColLit:
    case slot::kLongColLit:
    case slot::kShortColLit:
    case slot::kDoubleColLit: *shape = Shape::kColLit; return true;
    case slot::kCharColCol:
    case slot::kVarCharColCol:
    case slot::kLongColCol:
    case slot::kShortColCol:
    case slot::kDoubleColCol:
    case slot::kLocaleCharColCol:
    case slot::kLocaleVarCharColCol: *shape = Shape::kColCol; return true;
    case slot::kCharResultLit:
    case slot::kLocaleCharResultLit: *shape = Shape::kFuncLit; return true;
    case slot::kLongColResult:
    case slot::kShortColResult:
    case slot::kDoubleColResult: *shape = Shape::kColResult; return true;
    case slot::kLongResultResult:
    case slot::kShortResultResult:
    case slot::kDoubleResultResult: *shape = Shape::kResultResult; return true;
    case slot::kLongResultLit:
    case slot::kShortResultLit: *shape = Shape::kResultLit; return true;
    case slot::kLocaleCharColLit: *shape = Shape::kFixColLit; return true;
    case slot::kLocaleVarCharColLit: *shape = Shape::kVarColLit; return true;
    default: return false;
  }
}

// Rows whose cells compare a value an earlier element handed on (MKTIME's timestamp, a change) rather than
// a column: `timestamp` says it is MKTIME's.
constexpr bool ComparesHandedValue(int row, bool* timestamp = nullptr) {
  Shape shape = Shape::kColLit;
  if (!ShapeOfRow(row, &shape)) return false;
  if (timestamp != nullptr) *timestamp = shape == Shape::kFuncLit;
  return shape == Shape::kFuncLit || shape == Shape::kColResult || shape == Shape::kResultResult ||
         shape == Shape::kResultLit;
}

// The row whose cells never hold: a floating-point result against a literal is not defined.
constexpr bool NeverHolds(int row) { return row == slot::kDoubleResultLit; }

// The name of the cell an element of operator `compareOperator` and function code `functionCode` binds at
// `row`; "?" where no cell is. A floating-point result against a literal never holds, and is listed so.
constexpr const char* CellName(std::int32_t compareOperator, std::uint32_t functionCode, int row) {
  switch (functionCode) {
    case fn::kMktime: return "MKTIME";
    case fn::kSearchList: return "Search";
    case fn::kRegexp:
    case fn::kRegexpAlt: return "ColREGLit";
    case fn::kChange:
    case fn::kChangeAlt:
      return row == slot::kLongColLit     ? kChangeLongName
             : row == slot::kShortColLit  ? kChangeShortName
             : row == slot::kDoubleColLit ? kChangeDoubleName
                                          : "?";
    case fn::kStringSearch:
      return row == slot::kCharColLit || row == slot::kVarCharColLit ? TraceName(Shape::kColLit, Op::kStr)
             : row == slot::kLocaleCharColLit                        ? TraceName(Shape::kFixColLit, Op::kStr)
             : row == slot::kLocaleVarCharColLit                     ? TraceName(Shape::kVarColLit, Op::kStr)
                                                                     : "?";
    case fn::kAlways: return row == slot::kFunction ? "True" : "?";
    default: break;
  }
  Op column = Op::kEQ;
  switch (compareOperator) {
    case op::kFunc: return row == slot::kFunction ? "True" : "?";
    case op::kEQ: column = Op::kEQ; break;
    case op::kNE: column = Op::kNE; break;
    case op::kGT: column = Op::kGT; break;
    case op::kLT: column = Op::kLT; break;
    case op::kGE: column = Op::kGE; break;
    case op::kLE: column = Op::kLE; break;
    case op::kLike: column = Op::kLike; break;
    default: return "?";
  }
  if (row == slot::kDoubleResultLit && column != Op::kLike) return "NeverHolds";
  Shape shape = Shape::kColLit;
  if (!ShapeOfRow(row, &shape)) return "?";
  const char* name = TraceName(shape, column);
  // LIKE has only the character rows.
  const bool numberRow = row >= slot::kLongColLit && row <= slot::kDoubleResultLit;
  return name == nullptr || (column == Op::kLike && numberRow) ? "?" : name;
}

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_ROWS_H_
