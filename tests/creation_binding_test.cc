// What creation derives for each element: representation flags, routine slots, column descriptors, the
// configuration it reads, and the locale it sets up.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "core/bytes.h"
#include "core/data_types.h"
#include "core/memory.h"
#include "filter/configuration.h"
#include "filter_fixture.h"
#include "host/nls.h"
#include "routines/dispatch_tables.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;
using testing::CreationRefusal;
using testing::ScopedEnv;

const Routine kPlainEq = OperatorTable(Mode::kPlain, Op::kEQ)[slot::kLongColLit].routine;
const Routine kTracedEq = OperatorTable(Mode::kTraced, Op::kEQ)[slot::kLongColLit].routine;

TEST(RepresentationFlags, DerivedOnlyWhenThePlanLeftTheLowByteEmpty) {
  PoolBuilder pool;
  PlanBuilder plan("FLAGS");
  plan.Compare(Column::Long("A", 0).Nullable(), op::kEQ, pool.Long(1));
  plan.Compare(Column::Long("B", 4), op::kEQ, pool.Long(1)).LeftFlags(rep::kLong | rep::kUnsigned);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.element(0).leftFlags, 0x0005);
  EXPECT_EQ(built.element(1).leftFlags, 0x0084) << "a plan's own flags are kept";
}

TEST(RepresentationFlags, ColumnAgainstColumnOfOneTypeAddsFlagsBitwise) {
  PoolBuilder pool;
  PlanBuilder plan("FLAGS");
  plan.CompareColumns(Column::Long("A", 0), op::kGT, Column::Long("B", 4), pool.ColumnDescriptor(Column::Long("B", 4)));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  // The left flags were derived once already; adding them again must not carry 0x04 into 0x08.
  EXPECT_EQ(built.element(0).leftFlags, 0x0004);
  EXPECT_EQ(built.element(0).rightFlags, 0x0204);
  EXPECT_EQ(built.element(0).routineSlot, 11);
}

TEST(RoutineSlots, ConvertedColumnAgainstColumnTakesTheLeftKindsSlot) {
  const struct {
    Column left, right;
    std::int16_t slot;
  } cases[] = {{Column::Long("A", 0), Column::Short("B", 8), 11},
               {Column::Short("A", 0), Column::Long("B", 8), 16},
               {Column::Double("A", 0), Column::Long("B", 8), 21}};
  for (const auto& c : cases) {
    PoolBuilder pool;
    PlanBuilder plan("SLOTS");
    plan.CompareColumns(c.left, op::kGT, c.right, pool.ColumnDescriptor(c.right)).Slot(slot::kCharColLit).Operator(op::kNot);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0) << c.slot;
    EXPECT_EQ(built.element(0).routineSlot, c.slot);
    EXPECT_EQ(built.element(0).compareOperator, op::kGT) << "the alternate operator replaces the plan's";
  }
}

TEST(RoutineSlots, SlotOrOperatorWithoutRoutineIsRefused) {
  const struct {
    std::int16_t slot;
    std::int32_t op;
    std::string says;
  } cases[] = {{2, op::kEQ, "1 Unsupported Record Mode Slot - 2 Operator 4 FunctionSet 0"},
               {24 + 12, op::kEQ, "1 Unsupported Record Mode Slot - 36 Operator 4 FunctionSet 0"},
               {-1, op::kEQ, "1 Unsupported Record Mode Slot - -1 Operator 4 FunctionSet 0"},
               {slot::kLongColLit, op::kAnd, "1 Unsupported Record Mode Operator - 3"}};
  for (const auto& c : cases) {
    PoolBuilder pool;
    PlanBuilder plan("SLOTS");
    plan.Compare(Column::Long("A", 0), c.op, pool.Long(1)).Slot(c.slot);
    EXPECT_EQ(CreationRefusal(plan, pool), c.says);
  }
}

TEST(Literals, RoutineThatReadsALiteralNeedsOneLongEnough) {
  PoolBuilder pool;
  PlanBuilder plan("LITS");
  plan.Compare(Column::Double("A", 0), op::kEQ, pool.Long(1));  // a double read from a 4-byte entry
  EXPECT_EQ(CreationRefusal(plan, pool), "6 Filter Element 0 invalid rightLiteralId 1");
  PlanBuilder unbound("LITS");
  unbound.Compare(Column::Long("A", 0), op::kEQ, plan::Literal{7, type::kLong, 4});
  EXPECT_EQ(CreationRefusal(unbound, PoolBuilder()), "6 Filter Element 0 invalid rightLiteralId 7");
}

TEST(Literals, LaterEntryWithTheSameIdIsTheOneBound) {
  PoolBuilder pool;
  pool.Long(10, {.id = 5});
  pool.Long(20, {.id = 5});
  PlanBuilder plan("LITS");
  plan.Compare(Column::Long("A", 0), op::kEQ, plan::Literal{5, type::kLong, 4});
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(LoadUnaligned<std::int32_t>(built.element(0).rightData), 20);
}

TEST(ColumnDescriptors, DifferentScalesMarkBothOperandsScaledAndMixed) {
  const struct {
    Column right;
    double rightDivisor;
    std::uint16_t scaledMixed;  // both operands' bits 0x0500
  } cases[] = {{Column::Long("B", 4).Scaled(2), 100.0, 0}, {Column::Long("B", 4), 1.0, 0x0500}};
  for (const auto& c : cases) {
    PoolBuilder pool;
    PlanBuilder plan("SCALES");
    plan.CompareColumns(Column::Long("A", 0).Scaled(2), op::kEQ, c.right, pool.ColumnDescriptor(c.right));
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    const auto* descriptor = static_cast<const std::uint8_t*>(built.element(0).rightData);
    EXPECT_EQ(LoadUnaligned<double>(descriptor + offsetof(VxpColumnDescriptor, leftDivisor)), 100.0);
    EXPECT_EQ(LoadUnaligned<double>(descriptor + offsetof(VxpColumnDescriptor, rightDivisor)), c.rightDivisor);
    EXPECT_EQ(built.element(0).leftFlags & 0x0500, c.scaledMixed) << c.rightDivisor;
    EXPECT_EQ(built.element(0).rightFlags & 0x0500, c.scaledMixed) << c.rightDivisor;
  }
}

TEST(ColumnDescriptors, DescriptorTooShortIsRefused) {
  PoolBuilder pool;
  PlanBuilder plan("SCALES");
  plan.CompareColumns(Column::Long("A", 0), op::kEQ, Column::Long("B", 4), pool.Long(0));
  EXPECT_EQ(BuiltFilter(plan, pool).status(), 6);
}

TEST(Configuration, EnableFireIsCaseSensitive) {
  const std::pair<std::optional<std::string>, bool> cases[] = {
      {std::nullopt, false}, {"YES", true}, {"TRUE", true}, {"yes", false}, {"true", false},
      {"NO", false},         {"1", false},  {"", false}};
  for (const auto& [value, on] : cases) {
    ScopedEnv env("VEX_RATE_ENABLEFIRE", value);
    EXPECT_EQ(EnableFireConfigured(), on) << value.value_or("(unset)");
  }
}

TEST(Configuration, CacheSizeInKibibytesSaturating) {
  const std::pair<std::optional<std::string>, std::uint32_t> cases[] = {
      {std::nullopt, 8192u * 1024}, {"16", 16384},          {"abc", 0}, {"-4", 0}, {"4194303", 4194303u * 1024},
      {"4194304", 0xFFFFFFFFu},     {"99999999999", 0xFFFFFFFFu}};
  for (const auto& [value, limit] : cases) {
    ScopedEnv env("VEX_RATE_CACHE_SIZE", value);
    EXPECT_EQ(ChangeCacheLimit(), limit) << value.value_or("(unset)");
  }
}

// What a Filter of `table` binds while VEX_TRACEFILTER is `named`.
struct Bound {
  Routine routine = nullptr;
  bool named = false;  // marked as the table to trace
  std::string traceTableName;
};

Bound BoundWhileNamed(std::string_view table, const std::string& named) {
  ForgetTraceFilterSetting();
  ScopedEnv env("VEX_TRACEFILTER", named);
  PoolBuilder pool;
  PlanBuilder plan;
  plan.TableName(table).Compare(Column::Long("A", 0), op::kEQ, pool.Long(1));
  BuiltFilter built(plan, pool);
  ForgetTraceFilterSetting();
  EXPECT_EQ(built.status(), 0);
  if (built.status() != 0) return {};
  const Filter& filter = built.filter();
  return {built.element(0).routine, (filter.filterFlags & filter_flag::kTraceNamed) != 0, filter.traceTableName};
}

TEST(Configuration, TraceFilterNamingTheTableBindsTracedRoutines) {
  CapturedTrace trace;
  EXPECT_EQ(BoundWhileNamed("CPU", "CPU").routine, kPlainEq) << "without bit 0x01 the variable is not even read";
  VEXH_SetTraceLevel(nullptr, 0x01);
  const Bound traced = BoundWhileNamed("CPU", "CPU");
  EXPECT_EQ(traced.routine, kTracedEq);
  EXPECT_EQ(traced.traceTableName, "CPU");
}

// A table name ends at its tenth character or at a zero byte, and a shorter one counts as padded with
// blanks: VEX_TRACEFILTER=ABC names "ABC" whichever way the plan ends it.
TEST(Configuration, TraceFilterNamesATableEndedByAZeroByte) {
  CapturedTrace trace;
  using namespace std::string_view_literals;
  const struct {
    std::string_view table;  // all ten bytes of the plan's table name
    std::string filter;
    bool traced;
  } cases[] = {{"ABC\0\0\0\0\0\0\0"sv, "ABC", true},  {"ABC\0XYZ123"sv, "ABC", true},
               {"ABC       "sv, "ABC", true},         {"ABC   \0\0\0\0"sv, "ABC", true},
               {"ABC\0\0\0\0\0\0\0"sv, "ABC   ", true}, {"ABCD\0\0\0\0\0\0"sv, "ABC", false},
               {"AB\0\0\0\0\0\0\0\0"sv, "ABC", false},  {"ABC\0\0\0\0\0\0\0"sv, "ABCD", false}};
  VEXH_SetTraceLevel(nullptr, 0x01);
  for (const auto& c : cases) {
    const Bound bound = BoundWhileNamed(c.table, c.filter);
    const std::string shown = std::string(c.table.substr(0, c.table.find('\0'))) + " / " + c.filter;
    EXPECT_EQ(bound.routine, c.traced ? kTracedEq : kPlainEq) << shown;
    EXPECT_EQ(bound.named, c.traced) << shown;
  }
}

TEST(Locale, OtherLocaleFailureGives1022AndReleasesEverything) {
  const long before = OutstandingBlocks();
  FailNextLocaleCall(77);
  const std::string said =
      CreationRefusal(PlanBuilder("LOCALE").Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup).Always(), PoolBuilder());
  EXPECT_EQ(OutstandingBlocks(), before);
  EXPECT_EQ(said.rfind("1022 LCL1 set language id error 77. LanguageId 0x03480001 CodePage UTF8 LOCALE     0x", 0), 0u)
      << said;
  EXPECT_NE(said.find(" status 1022"), std::string::npos);
  EXPECT_EQ(said.find('\n'), std::string::npos) << "one line";
}

}  // namespace
}  // namespace vexfilt
