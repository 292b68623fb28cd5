// The dispatch matrix: for each operator (column) and routine slot (row), the routine family that an
// element of that kind is bound to, in a plain and a traced table. Cells not written are empty.
#include <array>
#include <cstdint>

#include "filter/column_name.h"
#include "filter/status.h"
#include "host/trace.h"
#include "routines/function_routines.h"
#include "routines/numeric_routines.h"
#include "routines/routine_table.h"
#include "routines/traced.h"

namespace vexfilt {
namespace {

using namespace numeric;

// A floating-point result against a literal is not defined; the traced form says so under bit 0x01.
constexpr const char* kUndefinedFloatNames[] = {"VXO2_TRC_EQFloat5", "VXO2_TRC_NEFloat5", "VXO2_TRC_GTFloat5",
                                                "VXO2_TRC_LTFloat5", "VXO2_TRC_GEFloat5", "VXO2_TRC_LEFloat5"};

template <Op op>
std::int32_t TracedNeverHolds(FilterElement&, const std::uint8_t*) {
  static TraceBlock block{kUndefinedFloatNames[static_cast<int>(op)], kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (trace.Has(trace_bit::k01)) TRC1_Printf(block, __LINE__, "Operation is not defined and returns false.");
  return trace.Exit(1, __LINE__);
}

template <Mode mode, Op op>
constexpr RoutineCell UndefinedFloatCell() {
  if constexpr (mode == Mode::kPlain) {
    return {NeverHolds, kUndefinedFloatNames[static_cast<int>(op)]};
  } else {
    return {TracedNeverHolds<op>, kUndefinedFloatNames[static_cast<int>(op)]};
  }
}

// The six comparison operators share one matrix; the operator is the column.
template <Mode m, Op op>
constexpr RoutineTable ComparisonTable() {
  using P = Printer;
  using S = Shape;
  RoutineTable t{};
  //    slot     family                             printer     shape            literal bytes
  t[10] = Cell<m, LongColLit<op>,          P::kLong,  S::kColLit,       op>(4);
  t[11] = Cell<m, LongColCol<op>,          P::kNum,   S::kColCol,       op>();
  t[12] = Cell<m, LongColResult<op>,       P::kLong,  S::kColResult,    op>();
  t[13] = Cell<m, LongResultResult<op>,    P::kLong,  S::kResultResult, op>();
  t[14] = Cell<m, LongResultLit<op>,       P::kLong,  S::kResultLit,    op>(4);
  t[15] = Cell<m, ShortColLit<op>,         P::kShort, S::kColLit,       op>(2);
  t[16] = Cell<m, ShortColCol<op>,         P::kNum,   S::kColCol,       op>();
  t[17] = Cell<m, ShortColResult<op>,      P::kShort, S::kColResult,    op>();
  t[18] = Cell<m, LongResultResult<op>,    P::kShort, S::kResultResult, op>();
  t[19] = Cell<m, ShortResultLit<op>,      P::kShort, S::kResultLit,    op>(2);
  t[20] = Cell<m, DoubleColLit<op>,        P::kFloat, S::kColLit,       op>(8);
  t[21] = Cell<m, DoubleColCol<op>,        P::kNum,   S::kColCol,       op>();
  t[22] = Cell<m, DoubleColLit<op>,        P::kFloat, S::kColResult,    op>(8);
  t[23] = Cell<m, DoubleColLit<op>,        P::kFloat, S::kResultResult, op>(8);
  t[24] = UndefinedFloatCell<m, op>();
  return t;
}

// LIKE and STR hold character routines only.
template <Mode m>
constexpr RoutineTable LikeTable() {
  return RoutineTable{};
}
template <Mode m>
constexpr RoutineTable StrTable() {
  return RoutineTable{};
}

// The FUNC operator and function 1: the always-holding routine at slot 0.
template <Mode m>
constexpr RoutineTable AlwaysTable() {
  RoutineTable t{};
  t[0] = {m == Mode::kPlain ? AlwaysHolds : TracedAlwaysHolds, "True"};
  return t;
}

using TableSet = std::array<RoutineTable, 8>;  // EQ NE GT LT GE LE LIKE STR

template <Mode m>
constexpr TableSet OperatorTables() {
  return {ComparisonTable<m, Op::kEQ>(), ComparisonTable<m, Op::kNE>(), ComparisonTable<m, Op::kGT>(),
          ComparisonTable<m, Op::kLT>(), ComparisonTable<m, Op::kGE>(), ComparisonTable<m, Op::kLE>(),
          LikeTable<m>(),                StrTable<m>()};
}

constexpr TableSet kPlainTables = OperatorTables<Mode::kPlain>();
constexpr TableSet kTracedTables = OperatorTables<Mode::kTraced>();
constexpr RoutineTable kPlainAlways = AlwaysTable<Mode::kPlain>();
constexpr RoutineTable kTracedAlways = AlwaysTable<Mode::kTraced>();
// Function sets whose routines are bound from tables of their own.
constexpr RoutineTable kPlainRegexp{}, kTracedRegexp{};
constexpr RoutineTable kPlainChange{}, kTracedChange{};
constexpr RoutineTable kMktime{}, kSearch{};

static_assert(kPlainTables[0][2].routine == nullptr, "slot 2 is empty in every table");
static_assert(kPlainTables[static_cast<int>(Op::kLT)][10].name == TraceName(Shape::kColLit, Op::kLT));

// Traced tables serve a Filter marked to trace every table, or one naming this table, and only while the
// selector's own level has bit 0x01.
Mode ModeFor(const FilterElement& element, const TraceScope& trace) {
  const Filter* filter = element.filter;
  if (!trace.Has(trace_bit::k01) || filter == nullptr) return Mode::kPlain;
  if (filter->filterFlags & filter_flag::kTraceAll) return Mode::kTraced;
  if ((filter->filterFlags & filter_flag::kTraceNamed) && NamesTable(filter->traceTableName, filter->planCopy->tableName)) {
    return Mode::kTraced;
  }
  return Mode::kPlain;
}

}  // namespace

const RoutineTable& OperatorTable(Mode mode, Op op) {
  return (mode == Mode::kPlain ? kPlainTables : kTracedTables)[static_cast<std::size_t>(op)];
}

const RoutineTable& DirectTable(std::uint32_t functionCode) {
  return functionCode == fn::kMktime ? kMktime : kSearch;
}

std::int32_t VXO2_SetFilterRoutine(const FilterElement& element, std::int16_t operatorCode, const RoutineTable** table) {
  static TraceBlock block{"VXO2_SetFilterRoutine", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  const Mode mode = ModeFor(element, trace);
  switch (operatorCode) {
    case op::kEQ: *table = &OperatorTable(mode, Op::kEQ); break;
    case op::kNE: *table = &OperatorTable(mode, Op::kNE); break;
    case op::kLT: *table = &OperatorTable(mode, Op::kLT); break;
    case op::kGT: *table = &OperatorTable(mode, Op::kGT); break;
    case op::kLE: *table = &OperatorTable(mode, Op::kLE); break;
    case op::kGE: *table = &OperatorTable(mode, Op::kGE); break;
    case op::kLike: *table = &OperatorTable(mode, Op::kLike); break;
    case op::kFunc: *table = mode == Mode::kPlain ? &kPlainAlways : &kTracedAlways; break;
    default:
      TRC1_Printf(block, __LINE__, "Unsupported Record Mode Operator - %d", operatorCode);
      return trace.Exit(status::kFalse, __LINE__);
  }
  return trace.Exit(status::kOk, __LINE__);
}

std::int32_t VXO2_SetFunctionRoutine(const FilterElement& element, std::uint32_t functionCode,
                                     const RoutineTable** table) {
  static TraceBlock block{"VXO2_SetFunctionRoutine", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  const bool plain = ModeFor(element, trace) == Mode::kPlain;
  switch (functionCode) {
    case fn::kAlways: *table = plain ? &kPlainAlways : &kTracedAlways; break;
    case fn::kStringSearch: *table = &OperatorTable(plain ? Mode::kPlain : Mode::kTraced, Op::kStr); break;
    case fn::kRegexp:
    case fn::kRegexpAlt: *table = plain ? &kPlainRegexp : &kTracedRegexp; break;
    case fn::kChange:
    case fn::kChangeAlt: *table = plain ? &kPlainChange : &kTracedChange; break;
    case fn::kMktime:
    case fn::kSearchList: *table = &DirectTable(functionCode); break;  // no traced form
    default:
      TRC1_Printf(block, __LINE__, "Unsupported Record Mode FunctionSet - %d", static_cast<std::int32_t>(functionCode));
      return trace.Exit(status::kFalse, __LINE__);
  }
  return trace.Exit(status::kOk, __LINE__);
}

}  // namespace vexfilt
