// The dispatch matrix: for each operator (column) and routine slot (row), the routine family that an
// element of that kind is bound to, in a plain and a traced table. Cells not written are empty.
#include "routines/dispatch_tables.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "core/column_name.h"
#include "core/status.h"
#include "host/trace.h"
#include "routines/change_routines.h"
#include "routines/character_routines.h"
#include "routines/function_routines.h"
#include "routines/locale_routines.h"
#include "routines/mktime.h"
#include "routines/numeric_routines.h"
#include "routines/printers.h"
#include "routines/search_routine.h"

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
  if (trace.Has(trace_bit::k01)) TracePrintf(block, __LINE__, "Operation is not defined and returns false.");
  return trace.Exit(1, __LINE__);
}

template <Mode mode, Op op>
constexpr RoutineCell UndefinedFloatCell() {
  if constexpr (mode == Mode::kPlain) {
    RoutineCell cell{NeverHolds, kUndefinedFloatNames[static_cast<int>(op)]};
    cell.family = Family::kConstant;
    return cell;
  } else {
    return {TracedNeverHolds<op>, kUndefinedFloatNames[static_cast<int>(op)]};
  }
}

// What the routines of each row read of the record. Function cells (MKTIME, search, change) read their
// columns as their structures and deliveries say, which creation checks with them.
constexpr std::array<RecordReads, kSlotCount> SlotReads() {
  using R = ColumnRead;
  std::array<RecordReads, kSlotCount> r{};
  // slot                        column                  prefix  second  substring  locale
  r[slot::kCharColLit]          = {R::kText,              false,  false,  true,      false};
  r[slot::kCharColCol]          = {R::kTextOrLeftLiteral, false,  true,   false,     false};
  r[slot::kCharResultLit]       = {R::kNone,              false,  false,  false,     false};
  r[slot::kVarCharColLit]       = {R::kText,              true,   false,  false,     false};
  r[slot::kVarCharColCol]       = {R::kText,              true,   true,   false,     false};
  r[slot::kLongColLit]          = {R::kNumber4,           false,  false,  false,     false};
  r[slot::kLongColCol]          = {R::kNumber4,           false,  true,   false,     false};
  r[slot::kLongColResult]       = {R::kNumber4,           false,  false,  false,     false};
  r[slot::kLongResultResult]    = {R::kNone,              false,  false,  false,     false};
  r[slot::kLongResultLit]       = {R::kNone,              false,  false,  false,     false};
  r[slot::kShortColLit]         = {R::kNumber2,           false,  false,  false,     false};
  r[slot::kShortColCol]         = {R::kNumber2,           false,  true,   false,     false};
  r[slot::kShortColResult]      = {R::kNumber2,           false,  false,  false,     false};
  r[slot::kShortResultResult]   = {R::kNone,              false,  false,  false,     false};
  r[slot::kShortResultLit]      = {R::kNone,              false,  false,  false,     false};
  r[slot::kDoubleColLit]        = {R::kNumber8,           false,  false,  false,     false};
  r[slot::kDoubleColCol]        = {R::kNumber8,           false,  true,   false,     false};
  r[slot::kDoubleColResult]     = {R::kNumber8,           false,  false,  false,     false};
  r[slot::kDoubleResultResult]  = {R::kNumber8,           false,  false,  false,     false};
  r[slot::kDoubleResultLit]     = {R::kNone,              false,  false,  false,     false};
  r[slot::kLocaleCharColLit]    = {R::kText,              false,  false,  false,     true};
  r[slot::kLocaleCharColCol]    = {R::kText,              false,  true,   false,     true};
  r[slot::kLocaleCharResultLit] = {R::kNone,              false,  false,  false,     true};
  r[slot::kLocaleVarCharColLit] = {R::kText,              true,   false,  false,     true};
  r[slot::kLocaleVarCharColCol] = {R::kText,              true,   true,   false,     true};
  return r;
}
constexpr std::array<RecordReads, kSlotCount> kSlotReads = SlotReads();

// Every cell of a table with the reads of its row.
constexpr RoutineTable WithReads(RoutineTable t) {
  for (std::size_t slot = 0; slot < t.size(); ++slot) t[slot].reads = kSlotReads[slot];
  return t;
}

constexpr RoutineCell InFamily(RoutineCell cell, Family family, Op op) {
  cell.family = family;
  cell.op = op;
  return cell;
}

// The six comparison operators share one matrix; the operator is the column. Character cells read the
// literal over the length an element field gives; numeric cells read a value of their own size.
template <Mode m, Op op>
constexpr RoutineTable ComparisonTable() {
  using P = Printer;
  using S = Shape;
  using E = Extent;
  namespace ch = character;
  namespace nls = locale_aware;
  RoutineTable t{};
  // slot                                 family                                    printer                shape                 right literal           left data
  using CH = ch::OperatorRoutines<op>;
  t[slot::kCharColLit]          = Cell<m, CH::FixedColumnLiteral,                   P::kFix1,              S::kColLit,       op>(E::kRightLiteralLength);
  t[slot::kCharColCol]          = Cell<m, CH::FixedColumnColumn,                    P::kFix2,              S::kColCol,       op>();
  t[slot::kCharResultLit]       = Cell<m, CH::ResultLiteral,                        P::kFix4,              S::kFuncLit,      op>(E::kRightLiteralLength, E::kRightLiteralLength);
  t[slot::kVarCharColLit]       = Cell<m, CH::VaryingColumnLiteral,                 P::kVar1,              S::kColLit,       op>(E::kRightLiteralLength);
  t[slot::kVarCharColCol]       = Cell<m, CH::VaryingColumnColumn,                  P::kVar2,              S::kColCol,       op>();
  t[slot::kLongColLit]          = Cell<m, LongColLit<op>,                           P::kLongColLit,        S::kColLit,       op>(E::kBytes4);
  t[slot::kLongColCol]          = Cell<m, LongColCol<op>,                           P::kNum,               S::kColCol,       op>();
  t[slot::kLongColResult]       = Cell<m, LongColResult<op>,                        P::kLongColResult,     S::kColResult,    op>();
  t[slot::kLongResultResult]    = Cell<m, LongResultResult<op>,                     P::kLongResultResult,  S::kResultResult, op>();
  t[slot::kLongResultLit]       = Cell<m, LongResultLit<op>,                        P::kLongResultLit,     S::kResultLit,    op>(E::kBytes4);
  t[slot::kShortColLit]         = Cell<m, ShortColLit<op>,                          P::kShortColLit,       S::kColLit,       op>(E::kBytes2);
  t[slot::kShortColCol]         = Cell<m, ShortColCol<op>,                          P::kNum,               S::kColCol,       op>();
  t[slot::kShortColResult]      = Cell<m, ShortColResult<op>,                       P::kShortColResult,    S::kColResult,    op>();
  t[slot::kShortResultResult]   = Cell<m, LongResultResult<op>,                     P::kShortResultResult, S::kResultResult, op>();
  t[slot::kShortResultLit]      = Cell<m, ShortResultLit<op>,                       P::kShortResultLit,    S::kResultLit,    op>(E::kBytes2);
  t[slot::kDoubleColLit]        = Cell<m, DoubleColLit<op>,                         P::kFloatColLit,       S::kColLit,       op>(E::kBytes8);
  t[slot::kDoubleColCol]        = Cell<m, DoubleColCol<op>,                         P::kNum,               S::kColCol,       op>();
  t[slot::kDoubleColResult]     = Cell<m, DoubleColLit<op>,                         P::kFloatColResult,    S::kColResult,    op>(E::kBytes8);
  t[slot::kDoubleResultResult]  = Cell<m, DoubleColLit<op>,                         P::kFloatResultResult, S::kResultResult, op>(E::kBytes8);
  t[slot::kDoubleResultLit]     = UndefinedFloatCell<m, op>();
  t[slot::kLocaleCharColLit]    = Cell<m, ByOutcome<op, nls::FixedColumnLiteral>,   P::kFix1,              S::kFixColLit,    op>(E::kRightScale);
  t[slot::kLocaleCharColCol]    = Cell<m, ByOutcome<op, nls::FixedColumnColumn>,    P::kFix2,              S::kColCol,       op>();
  t[slot::kLocaleCharResultLit] = Cell<m, ByOutcome<op, nls::ResultLiteral>,        P::kFix4,              S::kFuncLit,      op>(E::kRightScale, E::kLeftScale);
  t[slot::kLocaleVarCharColLit] = Cell<m, ByOutcome<op, nls::VaryingColumnLiteral>, P::kVar1,              S::kVarColLit,    op>(E::kRightScale);
  t[slot::kLocaleVarCharColCol] = Cell<m, ByOutcome<op, nls::VaryingColumnColumn>,  P::kVar2,              S::kColCol,       op>();
  // The families of the speed passes, plain cells only.
  if constexpr (m == Mode::kPlain) {
    t[slot::kCharColLit]   = InFamily(t[slot::kCharColLit],   Family::kTextLiteral,   op);
    t[slot::kVarCharColLit] = InFamily(t[slot::kVarCharColLit], Family::kVaryingTextLiteral, op);
    t[slot::kLongColLit]   = InFamily(t[slot::kLongColLit],   Family::kLongLiteral,   op);
    t[slot::kShortColLit]  = InFamily(t[slot::kShortColLit],  Family::kShortLiteral,  op);
    t[slot::kDoubleColLit] = InFamily(t[slot::kDoubleColLit], Family::kDoubleLiteral, op);
  }
  return t;
}

// LIKE: the pattern is the literal over its pattern length, or the right column.
template <Mode m>
constexpr RoutineTable LikeTable() {
  using P = Printer;
  using S = Shape;
  using E = Extent;
  namespace ch = character;
  namespace nls = locale_aware;
  constexpr Op li = Op::kLike;
  RoutineTable t{};
  t[slot::kCharColLit]          = Cell<m, ch::FixedColumnLike,          P::kFix1, S::kColLit,    li>(E::kRightScale);
  t[slot::kCharColCol]          = Cell<m, ch::FixedColumnColumnLike,    P::kFix2, S::kColCol,    li>();
  t[slot::kCharResultLit]       = Cell<m, ch::ResultLike,               P::kFix4, S::kFuncLit,   li>(E::kRightLiteralLength, E::kLeftLiteralLength);
  t[slot::kVarCharColLit]       = Cell<m, ch::VaryingColumnLike,        P::kVar1, S::kColLit,    li>(E::kRightScale);
  t[slot::kVarCharColCol]       = Cell<m, ch::VaryingColumnColumnLike,  P::kVar2, S::kColCol,    li>();
  t[slot::kLocaleCharColLit]    = Cell<m, nls::FixedColumnLike,         P::kFix1, S::kFixColLit, li>(E::kRightScale);
  t[slot::kLocaleCharColCol]    = Cell<m, nls::FixedColumnColumnLike,   P::kFix2, S::kColCol,    li>();
  t[slot::kLocaleCharResultLit] = Cell<m, nls::ResultLike,              P::kFix4, S::kFuncLit,   li>(E::kRightScale, E::kLeftScale);
  t[slot::kLocaleVarCharColLit] = Cell<m, nls::VaryingColumnLike,       P::kVar1, S::kVarColLit, li>(E::kRightScale);
  t[slot::kLocaleVarCharColCol] = Cell<m, nls::VaryingColumnColumnLike, P::kVar2, S::kColCol,    li>();
  if constexpr (m == Mode::kPlain) t[slot::kCharColLit] = InFamily(t[slot::kCharColLit], Family::kPrefixPattern, li);
  return t;
}

// STR (function 6): the search string is at leftData; the found flag goes to the result target.
template <Mode m>
constexpr RoutineTable StrTable() {
  using P = Printer;
  using S = Shape;
  using E = Extent;
  constexpr Op str = Op::kStr;
  RoutineTable t{};
  t[slot::kCharColLit]          = Cell<m, character::FixedColumnSearch,      P::kFxStr1, S::kColLit,    str>(E::kNone, E::kLeftLiteralLength, Delivery::kResultWords);
  t[slot::kVarCharColLit]       = Cell<m, character::VaryingColumnSearch,    P::kVrStr1, S::kColLit,    str>(E::kNone, E::kLeftLiteralLength, Delivery::kResultWords);
  t[slot::kLocaleCharColLit]    = Cell<m, locale_aware::FixedColumnSearch,   P::kFxStr1, S::kFixColLit, str>(E::kNone, E::kLeftScale, Delivery::kResultWords);
  t[slot::kLocaleVarCharColLit] = Cell<m, locale_aware::VaryingColumnSearch, P::kVrStr1, S::kVarColLit, str>(E::kNone, E::kLeftScale, Delivery::kResultWords);
  return t;
}

// The FUNC operator and function 1: the always-holding routine, its table's only one.
template <Mode m>
constexpr RoutineTable AlwaysTable() {
  RoutineTable t{};
  t[slot::kFunction] = {m == Mode::kPlain ? AlwaysHolds : TracedAlwaysHolds, "True"};
  if constexpr (m == Mode::kPlain) t[slot::kFunction].family = Family::kConstant;
  return t;
}

using TableSet = std::array<RoutineTable, 8>;  // EQ NE GT LT GE LE LIKE STR

template <Mode m>
constexpr TableSet OperatorTables() {
  return {WithReads(ComparisonTable<m, Op::kEQ>()), WithReads(ComparisonTable<m, Op::kNE>()),
          WithReads(ComparisonTable<m, Op::kGT>()), WithReads(ComparisonTable<m, Op::kLT>()),
          WithReads(ComparisonTable<m, Op::kGE>()), WithReads(ComparisonTable<m, Op::kLE>()),
          WithReads(LikeTable<m>()),                WithReads(StrTable<m>())};
}

constexpr TableSet kPlainTables = OperatorTables<Mode::kPlain>();
constexpr TableSet kTracedTables = OperatorTables<Mode::kTraced>();
constexpr RoutineTable kPlainAlways = WithReads(AlwaysTable<Mode::kPlain>());
constexpr RoutineTable kTracedAlways = WithReads(AlwaysTable<Mode::kTraced>());
// Regular expressions are not locale-aware: the same routines serve the locale-aware slots. Their traced
// entries are the plain routines, which report through their own printers.
constexpr RoutineTable RegexpTable() {
  constexpr RoutineCell fixed{RegExpFixedColumn, "ColREGLit", Extent::kNone, Extent::kNone, Delivery::kResultWords};
  constexpr RoutineCell varying{RegExpVaryingColumn, "ColREGLit", Extent::kNone, Extent::kNone, Delivery::kResultWords};
  RoutineTable t{};
  t[slot::kCharColLit] = fixed;
  t[slot::kLocaleCharColLit] = fixed;
  t[slot::kVarCharColLit] = varying;
  t[slot::kLocaleVarCharColLit] = varying;
  return t;
}


template <Mode m, Routine plain, const char* name, Delivery delivery>
constexpr RoutineCell ChangeCell() {
  const Routine routine = m == Mode::kPlain ? plain : &TracedNamed<plain, Printer::kChgNum, name>;
  return {routine, name, Extent::kNone, Extent::kNone, delivery, Structure::kChangeControl};
}

template <Mode m>
constexpr RoutineTable ChangeTable() {
  RoutineTable t{};
  t[slot::kLongColLit]   = ChangeCell<m, ChangeLong, kChangeLongName, Delivery::kResultWords>();
  t[slot::kShortColLit]  = ChangeCell<m, ChangeShort, kChangeShortName, Delivery::kShortWord>();
  t[slot::kDoubleColLit] = ChangeCell<m, ChangeDouble, kChangeDoubleName, Delivery::kResultWords>();
  return t;
}

constexpr RoutineTable MktimeTable() {
  RoutineTable t{};
  t[slot::kFunction] = {MakeTimeRoutine, "MKTIME", Extent::kRightLiteralLength, Extent::kBytes1, Delivery::kTimestamp};
  return t;
}

constexpr RoutineTable kPlainRegexp = WithReads(RegexpTable()), kTracedRegexp = kPlainRegexp;
constexpr RoutineTable kPlainChange = WithReads(ChangeTable<Mode::kPlain>());
constexpr RoutineTable kTracedChange = WithReads(ChangeTable<Mode::kTraced>());
constexpr RoutineTable kMktime = WithReads(MktimeTable());
constexpr RoutineTable SearchTable() {
  RoutineTable t{};
  t[slot::kFunction] = {Search, "Search", Extent::kNone, Extent::kNone, Delivery::kNone, Structure::kSearchList};
  return t;
}
constexpr RoutineTable kSearch = WithReads(SearchTable());

// Every cell traces under the name listings give it (rows.h); the undefined floating-point compare traces
// under its own block's name.
constexpr bool NamedAsListed(const RoutineTable& table, std::int32_t compareOperator, std::uint32_t functionCode) {
  for (int row = 0; row < kSlotCount; ++row) {
    const RoutineCell& cell = table[static_cast<std::size_t>(row)];
    if (cell.name[0] == '\0' || (row == slot::kDoubleResultLit && functionCode == fn::kNone)) continue;
    if (std::string_view(cell.name) != CellName(compareOperator, functionCode, row)) return false;
  }
  return true;
}
static_assert(NamedAsListed(kPlainTables[0], op::kEQ, fn::kNone) && NamedAsListed(kPlainTables[1], op::kNE, fn::kNone) &&
              NamedAsListed(kPlainTables[2], op::kGT, fn::kNone) && NamedAsListed(kPlainTables[3], op::kLT, fn::kNone) &&
              NamedAsListed(kPlainTables[4], op::kGE, fn::kNone) && NamedAsListed(kPlainTables[5], op::kLE, fn::kNone) &&
              NamedAsListed(kPlainTables[6], op::kLike, fn::kNone) &&
              NamedAsListed(kPlainTables[7], op::kEQ, fn::kStringSearch) &&
              NamedAsListed(kPlainAlways, op::kFunc, fn::kAlways) && NamedAsListed(kPlainRegexp, op::kEQ, fn::kRegexp) &&
              NamedAsListed(kPlainChange, op::kGT, fn::kChange) && NamedAsListed(kMktime, op::kEQ, fn::kMktime) &&
              NamedAsListed(kSearch, op::kEQ, fn::kSearchList));

static_assert(kPlainTables[static_cast<int>(Op::kEQ)][VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_RESULT].routine == nullptr &&
                  kTracedTables[static_cast<int>(Op::kLike)][VXP_SLOT_KIND_CHAR + VXP_SLOT_RESULT_LIT].routine == nullptr,
              "characters are not compared with numeric results");
static_assert(kPlainTables[static_cast<int>(Op::kStr)][slot::kCharColCol].routine == nullptr,
              "no string search between columns");
static_assert(kPlainTables[static_cast<int>(Op::kLT)][slot::kLongColLit].name == TraceName(Shape::kColLit, Op::kLT));

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

const RoutineCell* CellAt(const RoutineTable& table, int row) {
  if (row < 0 || row >= kSlotCount || table[static_cast<std::size_t>(row)].routine == nullptr) return nullptr;
  return &table[static_cast<std::size_t>(row)];
}

std::int32_t OperatorTableFor(const FilterElement& element, std::int16_t operatorCode, const RoutineTable** table) {
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
      TracePrintf(block, __LINE__, "Unsupported Record Mode Operator - %d", operatorCode);
      return trace.Exit(status::kFalse, __LINE__);
  }
  return trace.Exit(status::kOk, __LINE__);
}

std::int32_t FunctionTableFor(const FilterElement& element, std::uint32_t functionCode,
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
      TracePrintf(block, __LINE__, "Unsupported Record Mode FunctionSet - %d", static_cast<std::int32_t>(functionCode));
      return trace.Exit(status::kFalse, __LINE__);
  }
  return trace.Exit(status::kOk, __LINE__);
}

}  // namespace vexfilt
