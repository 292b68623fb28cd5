// From the public plan format (vexplan.h) to what the library makes of it: the codes it derives, the routine
// table each operator and function code selects and when the traced tables are chosen, the FilterElement a
// plan record becomes, and what PlanBuilder computes. The library's offsets into plans, pools and structured
// literals are vexplan.h's own (src/core defines them by offsetof and sizeof of its structs), and vexplan.h
// pins each of those for C and C++ alike; PlanBuilder writes through the same structs, and the C host
// (c_plan_layout_test.c) writes its plans with those structs alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/change_control.h"
#include "core/data_types.h"
#include "core/filter.h"
#include "filter_fixture.h"
#include "plan/plan_builder.h"
#include "routines/dispatch_tables.h"
#include "test_support.h"
#include "vexhost.h"
#include "vexplan.h"

namespace vexfilt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;

static_assert(change_control::kKeyEntrySize == 10, "creation reads a key column entry up to its length");
// Codes the library derives from data types.
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_VARCHAR_NULLABLE)) == VXP_SLOT_KIND_VARCHAR);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_ULONG)) == VXP_SLOT_KIND_LONG);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_USHORT)) == VXP_SLOT_KIND_SHORT);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_DOUBLE_ALT_NULLABLE)) == VXP_SLOT_KIND_DOUBLE);
static_assert(FlagsOfType(VXP_TYPE_UTF8_CHAR_NULLABLE) == (VXP_REP_UTF8 | VXP_REP_NULLABLE));

template <typename T>
T Read(const Bytes& bytes, std::size_t offset) {
  T value;
  EXPECT_LE(offset + sizeof value, bytes.size());
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

TEST(PublicLayout, FilterElementStartsWithThePlansRecord) {
  // Creation copies each plan record over the start of its FilterElement; the references follow the record.
  FilterElement f{};
  const auto at = [&f](const void* field) { return static_cast<const char*>(field) - reinterpret_cast<char*>(&f); };
  EXPECT_EQ(at(static_cast<VxpElement*>(&f)), 0);
  EXPECT_EQ(at(&f.columnOffset), static_cast<std::ptrdiff_t>(offsetof(VxpElement, columnOffset)));
  EXPECT_EQ(at(&f.filter), static_cast<std::ptrdiff_t>(kElementRecordSize));
}

TEST(PublicLayout, PlanBuilderComputesIdsSkipsTargetsAndConnectives) {
  PoolBuilder pool;
  const plan::Literal ten = pool.Long(10);
  for (bool all : {true, false}) {
    PlanBuilder plan;
    all ? plan.AllOf() : plan.AnyOf();
    for (int i = 0; i < 3; ++i) plan.Compare(Column::Long("N", 4 * i), op::kEQ, ten);
    const Bytes bytes = plan.Build();
    const auto header = Read<VxpPlanHeader>(bytes, 0);
    EXPECT_EQ(header.totalLength, static_cast<std::int16_t>(sizeof header + 3 * sizeof(VxpElement)));
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(header.totalLength));
    EXPECT_EQ(header.elementLength, static_cast<std::int16_t>(sizeof(VxpElement)));
    EXPECT_EQ(header.elementCount, 3);
    EXPECT_EQ(std::string(header.tableName, sizeof header.tableName), "TABLE     ");
    for (std::size_t i = 0; i < 3; ++i) {
      const auto element = Read<VxpElement>(bytes, sizeof(VxpPlanHeader) + i * sizeof(VxpElement));
      const std::int16_t next = 1, past = static_cast<std::int16_t>(3 - i);
      const std::uint16_t nextId = i < 2 ? static_cast<std::uint16_t>(i + 2) : 0;  // 0: past the last element
      EXPECT_EQ(element.elementId, i + 1);
      EXPECT_EQ(element.trueSkip, all ? next : past);
      EXPECT_EQ(element.falseSkip, all ? past : next);
      EXPECT_EQ(element.trueTargetId, all ? nextId : 0);
      EXPECT_EQ(element.falseTargetId, all ? 0 : nextId);
      EXPECT_EQ(element.logicalOperator, i < 2 ? (all ? VXP_OP_AND : VXP_OP_OR) : 0);
      EXPECT_EQ(element.rightLiteralLength, 4);
    }
  }
}

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
