// Trace levels per block, the generation that refreshes cached levels, events and hex dumps; and the trace
// printers: the line a traced routine writes after its plain twin, the lines plain routines write on their
// error paths, and the levels that make printers write nothing but their events. The lines expected are
// kept in tests/data/trace/lines.trace.
#include "host/trace.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// The cases of tests/data/trace/lines.trace: "[name]" begins one, and each line after it is a line written,
// exactly; a line that ends in "..." is one that begins so (the rest names a line of the library's source),
// and "$" closes a line that ends in blanks.
void ExpectTrace(const std::string& name, const std::vector<std::string>& lines) {
  static const std::string path = VEXFILT_TEST_DATA "/trace/lines.trace";
  static const auto cases = [] {
    std::map<std::string, std::vector<std::pair<std::string, int>>> read;
    std::ifstream in(path);
    std::string line, current;
    for (int number = 1; std::getline(in, line); ++number) {
      if (line.starts_with("[") && line.ends_with("]")) {
        current = line.substr(1, line.size() - 2);
      } else if (!current.empty() && !line.empty() && !line.starts_with("#")) {
        read[current].emplace_back(line.ends_with("$") ? line.substr(0, line.size() - 1) : line, number);
      }
    }
    return read;
  }();
  const auto found = cases.find(name);
  ASSERT_NE(found, cases.end()) << "no case [" << name << "] in " << path;
  const auto& expected = found->second;
  for (std::size_t i = 0; i < std::max(lines.size(), expected.size()); ++i) {
    const std::string got = i < lines.size() ? lines[i] : "(no line)";
    const bool prefix = i < expected.size() && expected[i].first.ends_with("...");
    const std::string want =
        i < expected.size() ? expected[i].first.substr(0, expected[i].first.size() - (prefix ? 3 : 0)) : "";
    if (i < expected.size() && (prefix ? got.starts_with(want) : got == want)) continue;
    ADD_FAILURE_AT(path.c_str(), i < expected.size() ? expected[i].second : expected.back().second + 1)
        << "[" << name << "] line " << i + 1 << " is\n"
        << got;
    return;
  }
}

TEST(TraceLevels, EachBlockReadsItsOwnLevel) {
  CapturedTrace trace;
  static TraceBlock first{"FirstBlock", kFilterUnit, 1};
  static TraceBlock second{"SecondBlock", kFilterUnit, 1};
  VEXH_SetTraceLevel("FirstBlock", 0x11);
  EXPECT_EQ(TraceLevelOf(first), 0x11u);
  EXPECT_EQ(TraceLevelOf(second), 0u);
  VEXH_SetTraceLevel(nullptr, 0x02);
  EXPECT_EQ(TraceLevelOf(first), 0x02u) << "a level for every block replaces the per-block ones";
  EXPECT_EQ(TraceLevelOf(second), 0x02u);
}

// Levels of single blocks live in fixed room, so that keeping one never takes memory: 256 of them, named
// in at most 63 characters. A setting beyond that is ignored; one for a block already kept still changes it.
TEST(TraceLevels, RoomForSingleBlocksIsFixed) {
  CapturedTrace trace;
  static TraceBlock first{"Block0", kFilterUnit, 1};
  static TraceBlock last{"Block255", kFilterUnit, 1};
  static TraceBlock beyond{"Block256", kFilterUnit, 1};
  for (int i = 0; i <= 256; ++i) VEXH_SetTraceLevel(("Block" + std::to_string(i)).c_str(), 0x11);
  EXPECT_EQ(TraceLevelOf(first), 0x11u);
  EXPECT_EQ(TraceLevelOf(last), 0x11u);
  EXPECT_EQ(TraceLevelOf(beyond), 0u);
  VEXH_SetTraceLevel("Block0", 0x41);
  EXPECT_EQ(TraceLevelOf(first), 0x41u);

  VEXH_ResetTraceLevels();
  static const std::string longest(63, 'L'), tooLong(64, 'L');
  static TraceBlock named{longest.c_str(), kFilterUnit, 1};
  static TraceBlock unnamed{tooLong.c_str(), kFilterUnit, 1};
  VEXH_SetTraceLevel(longest.c_str(), 0x11);
  VEXH_SetTraceLevel(tooLong.c_str(), 0x11);
  EXPECT_EQ(TraceLevelOf(named), 0x11u);
  EXPECT_EQ(TraceLevelOf(unnamed), 0u);
}

TEST(TraceLevels, CachedLevelHoldsUntilTheGenerationAdvances) {
  CapturedTrace trace;
  static TraceBlock block{"CachedBlock", kFilterUnit, 1};
  EXPECT_EQ(TraceLevelOf(block), 0u);
  // While the generation is unchanged the cache is trusted, whatever the configuration says.
  block.level.store(0x99);
  EXPECT_EQ(TraceLevelOf(block), 0x99u);
  VEXH_SetTraceLevel("CachedBlock", 0x41);
  EXPECT_EQ(TraceLevelOf(block), 0x41u);
  VEXH_ResetTraceLevels();
  EXPECT_EQ(TraceLevelOf(block), 0u);
}

TEST(TraceLevels, EnvironmentGivesDefaultAndPerBlockLevels) {
  CapturedTrace trace;
  ScopedEnv env("VEX_TRACE_LEVEL", " 0x01 , EnvBlock=0x41,Other=bad,=3");
  ReadTraceLevelsFromEnvironment();
  static TraceBlock named{"EnvBlock", kFilterUnit, 1};
  static TraceBlock plain{"PlainBlock", kFilterUnit, 1};
  EXPECT_EQ(TraceLevelOf(named), 0x41u);
  EXPECT_EQ(TraceLevelOf(plain), 0x01u);
}

int32_t TracedCall(int32_t result) {
  static TraceBlock block{"TracedCall", kFilterUnit, __LINE__};
  TraceScope trace(block, 100);
  if (result < 0) return 7;  // a path that leaves without Exit still closes the call
  return trace.Exit(result, 200);
}

TEST(TraceEvents, EntryAndExitOnlyUnderTheEventBit) {
  CapturedTrace trace;
  TracedCall(5);
  EXPECT_TRUE(trace.lines().empty());
  VEXH_SetTraceLevel("TracedCall", 0x40);
  TracedCall(5);
  TracedCall(-1);
  ExpectTrace("events", trace.lines());
}

TEST(TraceOutput, PrintfWritesOneLineWithoutTruncationAndDumpShowsOffsetHexAndText) {
  CapturedTrace trace;
  static TraceBlock block{"PrintfBlock", kFilterUnit, 1};
  const std::string longText(2000, 'x');
  TracePrintf(block, 1, "%.10s|%5hd|%s", "TABLE     extra", static_cast<short>(42), longText.c_str());
  EXPECT_EQ(trace.lines(), std::vector<std::string>{"TABLE     |   42|" + longText});
  trace.Clear();
  TraceDump(block, 1, "ABCDEFGHIJKLMNOP\x01\x7fqr", 20);
  ExpectTrace("dump", trace.lines());
}

using Levels = std::initializer_list<std::pair<const char*, std::uint32_t>>;

// Filters created while the selectors trace (bit 0x01) bind their traced routines. The name of the table
// to trace is read once per process, so it is forgotten around every test.
class TracePrinters : public ::testing::Test {
 protected:
  TracePrinters() { ForgetTraceFilterSetting(); }
  ~TracePrinters() override { ForgetTraceFilterSetting(); }

  // Creates the Filter of `plan`, traced or plain, then leaves only `levels` set and no line captured.
  FilterElement& Build(Levels levels, bool traced = true) {
    if (traced) VEXH_SetTraceLevel(nullptr, 0x01);
    built_ = std::make_unique<BuiltFilter>(plan, pool);
    EXPECT_EQ(built_->status(), 0);
    VEXH_ResetTraceLevels();
    for (const auto& [block, level] : levels) VEXH_SetTraceLevel(block, level);
    trace_.Clear();
    return built_->element(0);
  }
  std::int32_t Run(int element, const Record& record) {
    FilterElement& e = built_->element(element);
    return e.routine(e, record.bytes().data());
  }
  // The lines written since the last call are the case `name`.
  void Expect(const std::string& name) {
    ExpectTrace(name, trace_.lines());
    trace_.Clear();
  }

  CapturedTrace trace_;
  ScopedEnv traceFilter_{"VEX_TRACEFILTER", "ALL"};
  PoolBuilder pool;
  PlanBuilder plan{"PRINTERS"};
  std::unique_ptr<BuiltFilter> built_;
};

const Column kFixed = Column::Char("FIX", 0, 8);
const Column kVarying = Column::VarChar("VAR", 8, 12);

// The line, then the column's and the literal's bytes; the outcome and the target follow the status.
TEST_F(TracePrinters, TracedEqualityNamesTheWrapperAndTheTarget) {
  plan.Compare(kFixed, op::kEQ, pool.Char("AB")).Tag("EQ01").Id(5).TrueTargetId(0x2a).FalseTargetId(0x2b);
  Build({{"Fix1", 0x01}});
  EXPECT_EQ(Run(0, Record(32, ' ').Text(0, "ABCD")), 0);
  Expect("equality holds");
  EXPECT_EQ(Run(0, Record(32, ' ').Text(0, "AC")), 1);
  Expect("equality fails");
}

TEST_F(TracePrinters, PlainVaryingColumnAgainstColumnReportsItsPrefixError) {
  const Column right = Column::VarChar("VR2", 20, 8);
  plan.CompareColumns(kVarying, op::kEQ, right, pool.ColumnDescriptor(right)).Tag("VC01").Id(7).FalseTargetId(0x10);
  Build({{"Var2", 0x01}}, /*traced=*/false);
  EXPECT_EQ(Run(0, Record(32, ' ').At(8, std::uint16_t{300}).Varying(20, "AB")), 1);
  Expect("prefix error");
}

// The plain routine's report, then the traced one's; the printer's outcome tag and next id follow the status.
TEST_F(TracePrinters, OutcomeTagAndNextIdFollowTheStatus) {
  plan.Substring(kVarying, 8, op::kEQ, pool.Char("WXYZ")).Id(1).TrueTargetId(2).FalseTargetId(3);
  FilterElement& e = Build({{"Var1", 0x01}});
  const Record record = Record(32, ' ').Varying(8, "ABCDEFGHIJ");
  EXPECT_EQ(Run(0, record), 1) << "a substring beyond the data does not hold";
  Expect("substring beyond the data");
  for (const std::int32_t status : {207, 1022, 512, 0}) {
    EXPECT_EQ(Print<Printer::kVar1>(e, record.bytes().data(), status, "ColLILit"), status);
    Expect("status " + std::to_string(status));
  }
}

// Without bits 0x01 and 0x80 only events are written; bit 0x80 alone prints as bit 0x01 does.
TEST_F(TracePrinters, WithoutBits01And80OnlyEventsAreWritten) {
  plan.Compare(kFixed, op::kEQ, pool.Char("AB"));
  plan.Compare(Column::Long("NUM", 8), op::kGT, pool.Long(7));
  Build({{"ColEQLit", 0x40}, {"Fix1", 0x40}, {"ColGTLit", 0x40}, {"Long", 0x40}});
  EXPECT_EQ(Run(0, Record(32, ' ').Text(0, "AB")), 0);
  EXPECT_EQ(Run(1, Record(32, ' ').At(8, 9)), 0) << "as the plain routine answers";
  Expect("events only");
  VEXH_ResetTraceLevels();
  VEXH_SetTraceLevel("Fix1", 0x80);
  Run(0, Record(32, ' ').Text(0, "AB"));
  Expect("bit 80");
}

TEST_F(TracePrinters, NumericShapesAndTheirDefaultNames) {
  plan.Compare(Column::ULong("CNT", 0), op::kEQ, pool.ULong(3000000000u)).Id(1).TrueTargetId(2);
  plan.Compare(Column::Long("DELTA", 4), op::kGT, pool.Long(7)).Id(2).FalseTargetId(0);
  plan.Compare(Column::Short("S", 8), op::kEQ, pool.Short(-3))
      .Slot(slot::kShortResultLit)
      .Tag("RL")
      .Id(3)
      .TrueTargetId(4);
  plan.Compare(Column::UShort("U", 10), op::kLT, pool.UShort(0)).Slot(slot::kShortColResult).Id(4).TrueTargetId(5);
  plan.Compare(Column::Long("L", 12), op::kGT, pool.Long(0)).Slot(slot::kLongResultResult).Id(5).TrueTargetId(6);
  plan.Compare(Column::Double("D", 16), op::kEQ, pool.Double(2.5)).Id(6);
  Build({{"Short", 0x01}, {"Long", 0x01}, {"Float", 0x01}});
  const Record record = Record(24).At(0, 3000000000u).At(4, -5).At(10, std::uint16_t{65535}).At(16, 2.5);
  EXPECT_EQ(Run(0, record), 0);
  EXPECT_EQ(Run(1, record), 1);
  built_->element(2).leftResult = -3;
  EXPECT_EQ(Print<Printer::kShortResultLit>(built_->element(2), record.bytes().data(), 0, nullptr), 0);
  built_->element(3).leftResult = 70000;
  EXPECT_EQ(Run(3, record), 0);
  built_->element(4).leftResult = -1;
  built_->element(4).rightResult = 1;
  EXPECT_EQ(Run(4, record), 0) << "results compare unsigned";
  EXPECT_EQ(Run(5, record), 0);
  Expect("numbers");
}

// A scaled number against text shows the converted values, or the raw text that is no number.
TEST_F(TracePrinters, ScaledNumbersAgainstText) {
  const Column text = Column::Char("T", 4, 8), number = Column::Long("N", 16).Scaled(1);
  plan.CompareColumns(Column::Long("A", 0).Scaled(2), op::kEQ, text, pool.ColumnDescriptor(text)).Tag("MX").Id(1);
  plan.CompareColumns(Column::Char("FIX", 20, 8), op::kEQ, number, pool.ColumnDescriptor(number)).Id(2);
  FilterElement& e = Build({{"Num:", 0x01}, {"Fix2", 0x41}});
  EXPECT_EQ(Run(0, Record(32).At(0, 213).Text(4, "2.125   ")), 0);
  Expect("scaled against text");
  const Record bad = Record(32).At(0, 213).Text(4, "abc     ");
  EXPECT_EQ(Run(0, bad), 1) << "a text that is no number does not hold";
  Expect("scaled against no number");
  EXPECT_EQ(Print<Printer::kNum>(e, bad.bytes().data(), 57, nullptr), 57);
  Expect("scaled error");
  EXPECT_EQ(Run(1, Record(32, ' ').Text(20, "1.5").At(16, 15)), 0);
  Expect("text against scaled");
}

TEST_F(TracePrinters, StringSearchShowsTheSearchLengthAndTheFoundFlag) {
  plan.StringSearch(kFixed, pool.Char("BC")).ResultTarget(2).Id(1).TrueTargetId(2);
  plan.StringSearch(kVarying, pool.Char("BC")).ResultTarget(1).Id(2).TrueTargetId(3);
  plan.Always();
  Build({{"FxStr1", 0x01}, {"VrStr1", 0x01}});
  const Record record = Record(32, ' ').Text(0, "ABCD").Varying(8, "ABC");
  EXPECT_EQ(Run(0, record), 0);
  EXPECT_EQ(Run(1, record), 0);
  Expect("string search");
}

// The substring found; a failure shows the whole column.
TEST_F(TracePrinters, LocaleAwareSubstringShowsTheWalk) {
  plan.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  plan.Substring(Column::Utf8Char("TXT", 0, 8), 1, op::kEQ, pool.Utf8Char("bc")).LeftLiteralLength(2).Tag("SB01").Id(1);
  FilterElement& e = Build({{"Fix1", 0x01}});
  const Record record = Record(16, ' ').Text(0, "abcd");
  EXPECT_EQ(Run(0, record), 0);
  Expect("locale substring");
  EXPECT_EQ(Print<Printer::kFix1>(e, record.bytes().data(), 1022, nullptr), 1022);
  Expect("locale substring error");
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
    pool = PoolBuilder();
    plan = PlanBuilder("PRINTERS");
    testing::AddChange(plan, pool, Column::Long("V", 0), Column::Char("KEY", 8, 8),
                       percent ? change_control::kPercent : 0)
        .Id(1)
        .TrueTargetId(2);
    plan.Always();
    Build({{"ChgNum", 0x01}});
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
    EXPECT_EQ(Run(0, Record(16, ' ').At(0, 200).Text(8, "A")), 207);
    std::uint32_t ended = 0;
    ASSERT_EQ(FLT1_EndSample(built_->handle(), &ended), 0);
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
    EXPECT_EQ(Run(0, Record(16, ' ').At(0, 250).Text(8, "A")), 0);
    Expect(percent ? "change percent" : "change real");
  }
  VEXH_SetClock(nullptr, nullptr);
}

// The line, then the function result's and the literal's bytes.
TEST_F(TracePrinters, FunctionResultAgainstLiteralShowsBothLengthsAndTheFunction) {
  plan.Compare(kFixed, op::kGT, pool.Char("2026-01-01"))
      .Slot(slot::kCharResultLit)
      .LeftLiteral(pool.Char("2026-12-06"))
      .Id(3)
      .TrueTargetId(4);
  Build({{"Fix4", 0x01}});
  EXPECT_EQ(Run(0, Record(32, ' ')), 0);
  Expect("function result");
}

TEST_F(TracePrinters, RegularExpressionPrintersWriteOnlyTheirEvents) {
  for (const Column& column : {Column::Char("TXT", 0, 8), Column::VarChar("VTX", 8, 10)}) {
    const char* printer = column.Slot() == 0 ? "FxReg1" : "VrReg1";
    pool = PoolBuilder();
    plan = PlanBuilder("PRINTERS");
    plan.Function(fn::kRegexp).Column(column).Slot(column.Slot()).ResultTarget(1);
    plan.Always();
    Build({{printer, 0x41}});
    EXPECT_EQ(Run(0, Record(32, 'a').At(8, std::uint16_t{3})), 5);
    Expect(printer);
  }
}

TEST_F(TracePrinters, AlwaysHoldingRoutineAndUndefinedFloatResult) {
  ScopedEnv named("VEX_TRACEFILTER", "PRINTERS");
  ForgetTraceFilterSetting();
  plan.Always().Tag("TAG1").ColumnName("ALWAYS").Id(1).TrueTargetId(2);
  plan.Compare(Column::Double("D", 0), op::kEQ, pool.Double(1.0)).Slot(slot::kDoubleResultLit).Id(2);
  Build({{"True", 0x01}, {"VXO2_TRC_EQFloat5", 0x01}});
  EXPECT_EQ(Run(0, Record()), 0);
  EXPECT_EQ(Run(1, Record().At(0, 1.0)), 1);
  Expect("always and undefined");
}

}  // namespace
}  // namespace vexfilt
