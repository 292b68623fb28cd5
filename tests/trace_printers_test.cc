// Trace printers: the line a traced routine writes after its plain twin, the lines plain routines write on
// their error paths, and the levels that make printers write nothing but their events.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "core/change_control.h"
#include "filter/configuration.h"
#include "filter_fixture.h"
#include "record.h"
#include "routines/printers.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;
using testing::Record;
using testing::ScopedEnv;

using Levels = std::initializer_list<std::pair<const char*, std::uint32_t>>;

// Filters created while the selectors trace (bit 0x01) bind their traced routines. The name of the table
// to trace is read once per process, so it is forgotten around every test.
class TracePrinters : public ::testing::Test {
 protected:
  TracePrinters() { ForgetTraceFilterSetting(); }
  ~TracePrinters() override { ForgetTraceFilterSetting(); }

  // Creates the Filter, traced or plain, then leaves only `levels` set and no line captured.
  FilterElement& Build(const PlanBuilder& plan, const PoolBuilder& pool, Levels levels, bool traced = true) {
    if (traced) VEXH_SetTraceLevel(nullptr, 0x01);
    built_ = std::make_unique<BuiltFilter>(plan, pool);
    EXPECT_EQ(built_->status(), 0);
    VEXH_ResetTraceLevels();
    for (const auto& [block, level] : levels) VEXH_SetTraceLevel(block, level);
    trace_.Clear();
    return built_->element(0);
  }
  std::int32_t Run(FilterElement& element, const Record& record) { return element.routine(element, record.bytes().data()); }
  const std::vector<std::string>& Lines() const { return trace_.lines(); }
  std::string First() const { return Lines().empty() ? std::string() : Lines().front(); }

  CapturedTrace trace_;
  ScopedEnv traceFilter_{"VEX_TRACEFILTER", "ALL"};
  std::unique_ptr<BuiltFilter> built_;
};

const Column kFixed = Column::Char("FIX", 0, 8);
const Column kVarying = Column::VarChar("VAR", 8, 12);

TEST_F(TracePrinters, TracedEqualityThatHoldsNamesTheWrapperAndTheTrueTarget) {
  PoolBuilder pool;
  PlanBuilder plan("CHARS");
  plan.Compare(kFixed, op::kEQ, pool.Char("AB")).Tag("EQ01").Id(5).TrueTargetId(0x2a).FalseTargetId(0x2b);
  FilterElement& e = Build(plan, pool, {{"Fix1", 0x01}});
  EXPECT_EQ(Run(e, Record(32, ' ').Text(0, "ABCD")), 0);
  ASSERT_EQ(Lines().size(), 3u) << "the line, then the column's and the literal's bytes";
  EXPECT_EQ(Lines()[0], "ColEQLit True  id= 5->  2a st=0 cc= 0 FIX        /l8/o0/t452/x0020  suboff=0 sub/litlen=2");
  EXPECT_EQ(Lines()[1].rfind("00000000  41 42", 0), 0u);
  EXPECT_NE(Lines()[1].find("|AB|"), std::string::npos);

  trace_.Clear();
  EXPECT_EQ(Run(e, Record(32, ' ').Text(0, "AC")), 1);
  EXPECT_EQ(First(), "ColEQLit False id= 5->  2b st=1 cc= 1 FIX        /l8/o0/t452/x0020  suboff=0 sub/litlen=2");
}

TEST_F(TracePrinters, PlainVaryingColumnAgainstColumnReportsItsPrefixError) {
  PoolBuilder pool;
  PlanBuilder plan("COLS");
  const Column right = Column::VarChar("VR2", 20, 8);
  plan.CompareColumns(kVarying, op::kEQ, right, pool.ColumnDescriptor(right)).Tag("VC01").Id(7).FalseTargetId(0x10);
  FilterElement& e = Build(plan, pool, {{"Var2", 0x01}}, /*traced=*/false);
  EXPECT_EQ(Run(e, Record(32, ' ').At(8, std::uint16_t{300}).Varying(20, "AB")), 1);
  ASSERT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Lines()[0], "ColToColVC01 Error id= 7->  10 st=58 cc= 0 VAR        /l12/o8/t448/x0060 vlen=300 VR2/l8/o20/x0260 ");
}

TEST_F(TracePrinters, OutcomeTagAndNextIdFollowTheStatus) {
  PoolBuilder pool;
  PlanBuilder plan("CHARS");
  plan.Substring(kVarying, 8, op::kEQ, pool.Char("WXYZ")).Id(1).TrueTargetId(2).FalseTargetId(3);
  FilterElement& e = Build(plan, pool, {{"Var1", 0x01}});
  const Record record = Record(32, ' ').Varying(8, "ABCDEFGHIJ");
  EXPECT_EQ(Run(e, record), 1) << "a substring beyond the data does not hold";
  ASSERT_EQ(Lines().size(), 6u) << "the plain routine's report, then the traced one's";
  EXPECT_EQ(Lines()[0], "ColToLit Error id= 1->   3 st=512 cc= 0 VAR        /l12/o8/t448/x0060 "
                        "vlen=10/10 off1=8 varovh=2 suboff=8 sub/litlen=4");
  EXPECT_EQ(Lines()[3], "ColEQLit False id= 1->   3 st=1 cc= 0 VAR        /l12/o8/t448/x0060 "
                        "vlen=10/10 off1=8 varovh=2 suboff=8 sub/litlen=4");

  const auto prefix = [&](std::int32_t status) {
    trace_.Clear();
    EXPECT_EQ(Print<Printer::kVar1>(e, record.bytes().data(), status, "ColLILit"), status);
    return First().substr(0, First().find(" VAR"));
  };
  EXPECT_EQ(prefix(207), "ColLILit False id= 1->   3 st=207 cc= 0");
  EXPECT_EQ(prefix(1022), "ColLILit NLSer id= 1->   3 st=1022 cc= 0");
  EXPECT_EQ(prefix(512), "ColLILit Error id= 1->   3 st=512 cc= 0");
  EXPECT_EQ(prefix(0), "ColLILit True  id= 1->   2 st=0 cc= 0");
}

TEST_F(TracePrinters, WithoutBits01And80OnlyEventsAreWritten) {
  PoolBuilder pool;
  PlanBuilder plan("CHARS");
  plan.Compare(kFixed, op::kEQ, pool.Char("AB"));
  plan.Compare(Column::Long("NUM", 8), op::kGT, pool.Long(7));
  FilterElement& e = Build(plan, pool, {{"ColEQLit", 0x40}, {"Fix1", 0x40}, {"ColGTLit", 0x40}, {"Long", 0x40}});
  EXPECT_EQ(Run(e, Record(32, ' ').Text(0, "AB")), 0);
  EXPECT_EQ(Run(built_->element(1), Record(32, ' ').At(8, 9)), 0) << "as the plain routine answers";
  ASSERT_EQ(Lines().size(), 8u);
  const char* starts[] = {"ColEQLit entry", "Fix1 entry", "Fix1 exit rc=0", "ColEQLit exit rc=0",
                          "ColGTLit entry", "Long entry", "Long exit rc=0", "ColGTLit exit rc=0"};
  for (std::size_t i = 0; i < Lines().size(); ++i) EXPECT_EQ(Lines()[i].rfind(starts[i], 0), 0u) << Lines()[i];

  // Bit 0x80 alone prints as bit 0x01 does.
  VEXH_ResetTraceLevels();
  VEXH_SetTraceLevel("Fix1", 0x80);
  trace_.Clear();
  Run(e, Record(32, ' ').Text(0, "AB"));
  EXPECT_EQ(First().rfind("ColEQLit True  id= 1->   2 st=0", 0), 0u);
}

TEST_F(TracePrinters, UnsignedAndSignedFourByteValues) {
  PoolBuilder pool;
  PlanBuilder plan("NUMS");
  plan.Compare(Column::ULong("CNT", 0), op::kEQ, pool.ULong(3000000000u)).Id(1).TrueTargetId(2);
  plan.Compare(Column::Long("DELTA", 4), op::kGT, pool.Long(7)).Id(2).FalseTargetId(0);
  Build(plan, pool, {{"Long", 0x01}});
  const Record record = Record(16).At(0, 3000000000u).At(4, -5);
  EXPECT_EQ(Run(built_->element(0), record), 0);
  EXPECT_EQ(Run(built_->element(1), record), 1);
  ASSERT_EQ(Lines().size(), 2u);
  EXPECT_EQ(Lines()[0], "ColEQLit True  id= 1->   2 st=0 cc= 0 CNT         ul= 3000000000 lit ul= 3000000000 "
                        "off=0 type=1006 0x0084");
  EXPECT_EQ(Lines()[1], "ColGTLit False id= 2->   0 st=1 cc= 0 DELTA       sl=         -5 lit sl=          7 "
                        "off=4 type=496 0x0004");
}

TEST_F(TracePrinters, NumericShapesAndTheirDefaultNames) {
  PoolBuilder pool;
  PlanBuilder plan("NUMS");
  plan.Compare(Column::Short("S", 0), op::kEQ, pool.Short(-3)).Slot(slot::kShortResultLit).Tag("RL").Id(1).TrueTargetId(2).FalseTargetId(3);
  plan.Compare(Column::UShort("U", 2), op::kLT, pool.UShort(0)).Slot(slot::kShortColResult).Id(2).TrueTargetId(3).FalseTargetId(3);
  plan.Compare(Column::Long("L", 4), op::kGT, pool.Long(0)).Slot(slot::kLongResultResult).Id(3).TrueTargetId(4).FalseTargetId(4);
  plan.Compare(Column::Double("D", 8), op::kEQ, pool.Double(2.5)).Id(4);
  Build(plan, pool, {{"Short", 0x01}, {"Long", 0x01}, {"Float", 0x01}});
  const Record record = Record(16).At(2, std::uint16_t{65535}).At(8, 2.5);
  FilterElement& resultLit = built_->element(0);
  resultLit.leftResult = -3;
  EXPECT_EQ(Print<Printer::kShortResultLit>(resultLit, record.bytes().data(), 0, nullptr), 0);
  built_->element(1).leftResult = 70000;
  EXPECT_EQ(Run(built_->element(1), record), 0);
  built_->element(2).leftResult = -1;
  built_->element(2).rightResult = 1;
  EXPECT_EQ(Run(built_->element(2), record), 0) << "results compare unsigned";
  EXPECT_EQ(Run(built_->element(3), record), 0);
  ASSERT_EQ(Lines().size(), 4u);
  EXPECT_EQ(Lines()[0], "ResultToLitRL True  id= 1->   2 st=0 cc= 0 S           res sl=         -3 lit ss=         -3 "
                        "type=500 0x0002");
  EXPECT_EQ(Lines()[1], "ColLTResult True  id= 2->   3 st=0 cc= 0 U           us=      65535 res sl=      70000 "
                        "off=2 type=2 0x0082");
  EXPECT_EQ(Lines()[2], "ResultGTResult True  id= 3->   4 st=0 cc= 0 L          res1 sl=         -1 res2 sl=          1 "
                        "type=496 0x0004");
  EXPECT_EQ(Lines()[3], "ColEQLit True  id= 4->   0 st=0 cc= 0 D           sd=            2.500000 lit sd=            "
                        "2.500000 off=8 type=480 0x0008");
}

TEST_F(TracePrinters, ScaledNumberAgainstTextShowsConvertedValuesOrTheRawText) {
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  const Column text = Column::Char("T", 4, 8);
  plan.CompareColumns(Column::Long("A", 0).Scaled(2), op::kEQ, text, pool.ColumnDescriptor(text)).Tag("MX").Id(1);
  FilterElement& e = Build(plan, pool, {{"Num:", 0x01}});
  EXPECT_EQ(Run(e, Record(16).At(0, 213).Text(4, "2.125   ")), 0);
  EXPECT_EQ(First(), "ColEQCol True  id= 1->   0 st=0 cc= 0 A           sl.2=              2.13 T "
                     "cv=              2.13 off=0 4 type=496/452 0x0704 0x0720");

  trace_.Clear();
  const Record bad = Record(16).At(0, 213).Text(4, "abc     ");
  EXPECT_EQ(Run(e, bad), 1) << "a text that is no number does not hold";
  EXPECT_EQ(First(), "ColEQCol False id= 1->   0 st=1 cc=57 A           sl.2=              2.13 T "
                     "er=abc      off=0 4 type=496/452 0x0704 0x0720");
  trace_.Clear();
  EXPECT_EQ(Print<Printer::kNum>(e, bad.bytes().data(), 57, nullptr), 57);
  EXPECT_EQ(First().rfind("ColToColMX Error id= 1->   0 st=57 cc=57 A           sl.2=", 0), 0u);
}

TEST_F(TracePrinters, CharacterColumnAgainstScaledNumberIsPrintedAsNumbers) {
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  const Column number = Column::Long("N", 8).Scaled(1);
  plan.CompareColumns(kFixed, op::kEQ, number, pool.ColumnDescriptor(number)).Id(1);
  FilterElement& e = Build(plan, pool, {{"Fix2", 0x41}, {"Num:", 0x01}});
  EXPECT_EQ(Run(e, Record(16, ' ').Text(0, "1.5").At(8, 15)), 0);
  ASSERT_EQ(Lines().size(), 3u) << "Fix2's events around the Num: line";
  EXPECT_EQ(Lines()[1], "ColEQCol True  id= 1->   0 st=0 cc= 0 FIX         cv=                1.5 COL2 "
                        "sl.1=                1.5 off=0 8 type=452/496 0x0720 0x0704");
}

TEST_F(TracePrinters, StringSearchShowsTheSearchLengthAndTheFoundFlag) {
  PoolBuilder pool;
  PlanBuilder plan("STRS");
  plan.StringSearch(kFixed, pool.Char("BC")).ResultTarget(2).Id(1).TrueTargetId(2);
  plan.StringSearch(kVarying, pool.Char("BC")).ResultTarget(1).Id(2).TrueTargetId(3);
  plan.Always();
  Build(plan, pool, {{"FxStr1", 0x01}, {"VrStr1", 0x01}});
  const Record record = Record(32, ' ').Text(0, "ABCD").Varying(8, "ABC");
  EXPECT_EQ(Run(built_->element(0), record), 0);
  EXPECT_EQ(Run(built_->element(1), record), 0);
  ASSERT_EQ(Lines().size(), 6u);
  EXPECT_EQ(Lines()[0], "ColSTRLit True  id= 1->   2 st=0 cc= 0 FIX        /l8/o0/t452/x0020 litlen[0]=2 bool=1");
  EXPECT_EQ(Lines()[3], "ColSTRLit True  id= 2->   3 st=0 cc= 0 VAR        /l12/o8/t448/x0060 "
                        "vlen=3/3 off1=8 varovh=2 litlen[0]=2 bool=1");
  EXPECT_NE(Lines()[4].find("|ABC|"), std::string::npos) << "the data after the prefix";
}

TEST_F(TracePrinters, LocaleAwareSubstringShowsTheWalk) {
  PoolBuilder pool;
  PlanBuilder plan("NLS");
  plan.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  plan.Substring(Column::Utf8Char("TXT", 0, 8), 1, op::kEQ, pool.Utf8Char("bc")).LeftLiteralLength(2).Tag("SB01").Id(1);
  FilterElement& e = Build(plan, pool, {{"Fix1", 0x01}});
  const Record record = Record(16, ' ').Text(0, "abcd");
  EXPECT_EQ(Run(e, record), 0);
  ASSERT_EQ(Lines().size(), 3u);
  EXPECT_EQ(Lines()[0], "FixColEQLit True  id= 1->   0 st=0 cc= 0 TXT        /l8/o0/t1022/x0010/NLS "
                        "parms off/len=1/2 col byte off/len=1/2 char len 2 lit byte len=2");
  EXPECT_NE(Lines()[1].find("|bc|"), std::string::npos) << "the substring found";
  trace_.Clear();
  EXPECT_EQ(Print<Printer::kFix1>(e, record.bytes().data(), 1022, nullptr), 1022);
  EXPECT_EQ(First().rfind("SubColToLit SB01 NLSer id= 1->   0 st=1022", 0), 0u);
  EXPECT_NE(Lines()[1].find("|abcd    |"), std::string::npos) << "a failure shows the whole column";
}

// The change routines need samples, and samples a clock that moves.
std::uint32_t g_seconds = 5000;
void SteppingClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  *seconds = ++g_seconds;
  *nanoseconds = 0;
}

TEST_F(TracePrinters, ChangeShowsBothValuesAndWhetherItIsRealOrPercent) {
  VEXH_SetClock(SteppingClock, nullptr);
  for (const bool percent : {false, true}) {
    PoolBuilder pool;
    PlanBuilder plan("CHANGES");
    testing::AddChange(plan, pool, Column::Long("V", 0), Column::Char("KEY", 8, 8), percent ? change_control::kPercent : 0)
        .Id(1)
        .TrueTargetId(2);
    plan.Always();
    FilterElement& e = Build(plan, pool, {{"ChgNum", 0x01}});
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
    EXPECT_EQ(Run(e, Record(16, ' ').At(0, 200).Text(8, "A")), 207);
    std::uint32_t ended = 0;
    ASSERT_EQ(FLT1_EndSample(built_->handle(), &ended), 0);
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
    EXPECT_EQ(Run(e, Record(16, ' ').At(0, 250).Text(8, "A")), 0);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[1], std::string("CHGLong True  id= 1->   2 st=0 cc= 0 V           sl=        250 - sl=        200 ") +
                              (percent ? "chgpct sl=         25" : "chgreal sl=         50") + " off=0 type=496 0x0004");
  }
  VEXH_SetClock(nullptr, nullptr);
}

TEST_F(TracePrinters, FunctionResultAgainstLiteralShowsBothLengthsAndTheFunction) {
  PoolBuilder pool;
  PlanBuilder plan("FUNCS");
  plan.Compare(kFixed, op::kGT, pool.Char("2026-01-01")).Slot(slot::kCharResultLit).LeftLiteral(pool.Char("2026-12-06")).Id(3).TrueTargetId(4);
  FilterElement& e = Build(plan, pool, {{"Fix4", 0x01}});
  EXPECT_EQ(Run(e, Record(32, ' ')), 0);
  ASSERT_EQ(Lines().size(), 3u) << "the line, then the function result's and the literal's bytes";
  EXPECT_EQ(Lines()[0], "FuncGTLit True  id= 3->   4 st=0 cc= 1 FIX        /l8/o0/t452/x0020 len[0/1]=10/10 function=" +
                            std::to_string(e.functionCode));
  EXPECT_NE(Lines()[1].find("|2026-12-06|"), std::string::npos);
  EXPECT_NE(Lines()[2].find("|2026-01-01|"), std::string::npos);
}

TEST_F(TracePrinters, RegularExpressionPrintersWriteOnlyTheirEvents) {
  for (const Column& column : {Column::Char("TXT", 0, 8), Column::VarChar("VTX", 8, 10)}) {
    const char* printer = column.Slot() == 0 ? "FxReg1" : "VrReg1";
    PoolBuilder pool;
    PlanBuilder plan("REGEX");
    plan.Function(fn::kRegexp).Column(column).Slot(column.Slot()).ResultTarget(1);
    plan.Always();
    FilterElement& e = Build(plan, pool, {{printer, 0x41}});
    EXPECT_EQ(Run(e, Record(32, 'a').At(8, std::uint16_t{3})), 5);
    ASSERT_EQ(Lines().size(), 2u) << printer;
    EXPECT_EQ(Lines()[0].rfind(std::string(printer) + " entry", 0), 0u) << Lines()[0];
    EXPECT_EQ(Lines()[1].rfind(std::string(printer) + " exit rc=5", 0), 0u) << Lines()[1];
  }
}

TEST_F(TracePrinters, AlwaysHoldingRoutineAndUndefinedFloatResult) {
  ScopedEnv named("VEX_TRACEFILTER", "FUNCS");
  ForgetTraceFilterSetting();
  PoolBuilder pool;
  PlanBuilder plan("FUNCS");
  plan.Always().Tag("TAG1").ColumnName("ALWAYS").Id(1).TrueTargetId(2);
  plan.Compare(Column::Double("D", 0), op::kEQ, pool.Double(1.0)).Slot(slot::kDoubleResultLit).Id(2);
  FilterElement& e = Build(plan, pool, {{"True", 0x01}, {"VXO2_TRC_EQFloat5", 0x01}});
  EXPECT_EQ(Run(e, Record()), 0);
  EXPECT_EQ(Run(built_->element(1), Record().At(0, 1.0)), 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"Function True  id= 1->   2 st=0 cc= 0 ALWAYS     ",
                                               "Operation is not defined and returns false."}));
}

}  // namespace
}  // namespace vexfilt
