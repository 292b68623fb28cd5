// Which table each operator and function code selects, and when the traced tables are chosen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "filter_fixture.h"
#include "routines/dispatch_tables.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;

TEST(OperatorTables, EachComparisonSelectsItsOwnTableAndOtherOperatorsAreRefused) {
  const std::pair<std::int16_t, const char*> cases[] = {
      {4, "ColEQLit"}, {5, "ColNELit"}, {6, "ColLTLit"}, {7, "ColGTLit"}, {8, "ColLELit"},
      {9, "ColGELit"}, {1, nullptr},    {2, nullptr},    {3, nullptr},    {10, nullptr},
      {13, nullptr},   {0, nullptr},    {60, nullptr}};
  for (const auto& [code, name] : cases) {
    CapturedTrace trace;
    FilterElement element{};
    const RoutineTable* table = reinterpret_cast<const RoutineTable*>(&element);
    const std::int32_t status = OperatorTableFor(element, code, &table);
    if (name != nullptr) {
      ASSERT_EQ(status, 0) << code;
      EXPECT_STREQ((*table)[slot::kLongColLit].name, name) << code;
      EXPECT_TRUE(trace.lines().empty()) << code;
      continue;
    }
    EXPECT_EQ(status, 1) << code;
    EXPECT_EQ(table, reinterpret_cast<const RoutineTable*>(&element)) << "the out table is not written";
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"Unsupported Record Mode Operator - " + std::to_string(code)});
  }
}

TEST(FunctionTables, FuncOperatorAndFunctionOneReachTheAlwaysHoldingRoutineAndSubstringIsNoFunctionSet) {
  CapturedTrace trace;
  FilterElement element{};
  const RoutineTable* byOperator = nullptr;
  const RoutineTable* byFunction = nullptr;
  ASSERT_EQ(OperatorTableFor(element, op::kFunc, &byOperator), 0);
  ASSERT_EQ(FunctionTableFor(element, fn::kAlways, &byFunction), 0);
  EXPECT_EQ(byOperator, byFunction);
  EXPECT_EQ((*byOperator)[slot::kFunction].routine(element, nullptr), 0) << "holds without reading the record";
  const RoutineTable* substring = nullptr;
  EXPECT_EQ(FunctionTableFor(element, 7, &substring), 1);
  EXPECT_EQ(substring, nullptr);
  EXPECT_EQ(trace.lines(), std::vector<std::string>{"Unsupported Record Mode FunctionSet - 7"});
}

// A Filter marked for tracing as creation would mark it, for the selectors to look at.
class TraceChoice : public ::testing::Test {
 protected:
  TraceChoice() : built_(PlanBuilder("CPUSTATS").Always(), PoolBuilder()) { element_.filter = &built_.filter(); }

  bool Traced() {
    const RoutineTable* table = nullptr;
    EXPECT_EQ(OperatorTableFor(element_, op::kEQ, &table), 0);
    return table == &OperatorTable(Mode::kTraced, Op::kEQ);
  }
  void MarkNamed(const char* name) {
    built_.filter().filterFlags |= filter_flag::kTraceNamed;
    std::memset(built_.filter().traceTableName, 0, sizeof built_.filter().traceTableName);
    std::memcpy(built_.filter().traceTableName, name, std::min<std::size_t>(std::strlen(name), 10));
  }

  CapturedTrace trace_;
  BuiltFilter built_;
  FilterElement element_{};
};

TEST_F(TraceChoice, NamedTableIsTracedOnlyUnderBit01AndWhereItsNameAgrees) {
  MarkNamed("CPUSTATS");
  EXPECT_FALSE(Traced());
  VEXH_SetTraceLevel("VXO2_SetFilterRoutine", 0x01);
  EXPECT_TRUE(Traced()) << "given as a person types it";
  MarkNamed("CPUSTATS  ");
  EXPECT_TRUE(Traced()) << "given with its blanks";
  MarkNamed("CPUSTATX");
  EXPECT_FALSE(Traced()) << "a difference in the 8th character";
  MarkNamed("CPU");
  EXPECT_FALSE(Traced());
}

TEST_F(TraceChoice, EveryTableTracedOnlyUnderBit01) {
  built_.filter().filterFlags |= filter_flag::kTraceAll;
  EXPECT_FALSE(Traced());
  VEXH_SetTraceLevel(nullptr, 0x01);
  EXPECT_TRUE(Traced());
  const RoutineTable* mktime = nullptr;
  ASSERT_EQ(FunctionTableFor(element_, fn::kMktime, &mktime), 0);
  EXPECT_EQ(mktime, &DirectTable(fn::kMktime)) << "MKTIME has no traced form";
}

TEST(TracedTables, FloatResultAgainstLiteralSaysItIsUndefined) {
  CapturedTrace trace;
  VEXH_SetTraceLevel("VXO2_TRC_GTFloat5", 0x01);
  FilterElement element{};
  const RoutineCell& cell = OperatorTable(Mode::kTraced, Op::kGT)[slot::kDoubleResultLit];
  EXPECT_EQ(cell.routine(element, nullptr), 1);
  EXPECT_EQ(trace.lines(), std::vector<std::string>{"Operation is not defined and returns false."});
  EXPECT_EQ(OperatorTable(Mode::kPlain, Op::kGT)[slot::kDoubleResultLit].routine(element, nullptr), 1);
}

}  // namespace
}  // namespace vexfilt
