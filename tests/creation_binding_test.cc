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
using testing::ScopedEnv;

TEST(RepresentationFlags, EveryTypeCodeAndItsNullableForm) {
  struct Case {
    std::int16_t code;
    std::uint16_t flags;
  };
  for (const Case& c : {Case{448, 0x60}, {452, 0x20}, {1018, 0x50}, {1022, 0x10}, {2, 0x82}, {500, 0x02},
                        {1006, 0x84}, {496, 0x04}, {480, 0x08}, {1000, 0x08}, {449, 0x61}, {497, 0x05},
                        {1019, 0x51}, {385, 0x01}, {3, 0x00}, {123, 0x00}}) {
    EXPECT_EQ(FlagsOfType(c.code), c.flags) << c.code;
  }
}

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
  struct Case {
    Column left;
    Column right;
    std::int16_t slot;
  };
  for (const Case& c : {Case{Column::Long("A", 0), Column::Short("B", 8), 11},
                        Case{Column::Short("A", 0), Column::Long("B", 8), 16},
                        Case{Column::Double("A", 0), Column::Long("B", 8), 21}}) {
    PoolBuilder pool;
    PlanBuilder plan("SLOTS");
    plan.CompareColumns(c.left, op::kGT, c.right, pool.ColumnDescriptor(c.right))
        .Slot(slot::kCharColLit)
        .Operator(op::kNot);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0) << c.slot;
    EXPECT_EQ(built.element(0).routineSlot, c.slot);
    EXPECT_EQ(built.element(0).compareOperator, op::kGT) << "the alternate operator replaces the plan's";
  }
}

TEST(RoutineSlots, SlotWithoutRoutineIsRefused) {
  struct Case {
    std::int16_t slot;
    std::string message;
  };
  for (const Case& c : {Case{2, "Unsupported Record Mode Slot - 2 Operator 4 FunctionSet 0"},
                        Case{24 + 12, "Unsupported Record Mode Slot - 36 Operator 4 FunctionSet 0"},
                        Case{-1, "Unsupported Record Mode Slot - -1 Operator 4 FunctionSet 0"}}) {
    CapturedTrace trace;
    PoolBuilder pool;
    PlanBuilder plan("SLOTS");
    plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(1)).Slot(c.slot);
    BuiltFilter built(plan, pool);
    EXPECT_EQ(built.status(), 1);
    EXPECT_EQ(trace.lines(), std::vector<std::string>{c.message});
  }
}

TEST(RoutineSlots, UnsupportedOperatorFailsCreation) {
  CapturedTrace trace;
  PoolBuilder pool;
  PlanBuilder plan("OPS");
  plan.Compare(Column::Long("A", 0), op::kAnd, pool.Long(1));
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 1);
  EXPECT_EQ(trace.lines(), std::vector<std::string>{"Unsupported Record Mode Operator - 3"});
}

TEST(Literals, RoutineThatReadsALiteralNeedsOneLongEnough) {
  CapturedTrace trace;
  PoolBuilder pool;
  PlanBuilder plan("LITS");
  plan.Compare(Column::Double("A", 0), op::kEQ, pool.Long(1));  // a double read from a 4-byte entry
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 6);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0].rfind("Filter Element 0 invalid rightLiteralId 1 - Table LITS       0x", 0), 0u);

  PlanBuilder unbound("LITS");
  unbound.Compare(Column::Long("A", 0), op::kEQ, plan::Literal{7, type::kLong, 4});
  EXPECT_EQ(BuiltFilter(unbound, PoolBuilder()).status(), 6);
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

struct Divisors {
  double left, right;
  std::uint16_t leftFlags, rightFlags;
};

Divisors DivisorsOf(Column left, Column right) {
  PoolBuilder pool;
  PlanBuilder plan("SCALES");
  plan.CompareColumns(left, op::kEQ, right, pool.ColumnDescriptor(right));
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  if (built.status() != 0) return {};
  const auto* descriptor = static_cast<const std::uint8_t*>(built.element(0).rightData);
  return {LoadUnaligned<double>(descriptor + offsetof(VxpColumnDescriptor, leftDivisor)),
          LoadUnaligned<double>(descriptor + offsetof(VxpColumnDescriptor, rightDivisor)), built.element(0).leftFlags,
          built.element(0).rightFlags};
}

TEST(ColumnDescriptors, EqualScalesNeedNoScaledComparison) {
  const Divisors d = DivisorsOf(Column::Long("A", 0).Scaled(2), Column::Long("B", 4).Scaled(2));
  EXPECT_EQ(d.left, 100.0);
  EXPECT_EQ(d.right, 100.0);
  EXPECT_EQ(d.leftFlags & 0x0500, 0);
  EXPECT_EQ(d.rightFlags & 0x0500, 0);
}

TEST(ColumnDescriptors, DifferentScalesMarkBothOperandsScaledAndMixed) {
  const Divisors d = DivisorsOf(Column::Long("A", 0).Scaled(2), Column::Long("B", 4));
  EXPECT_EQ(d.left, 100.0);
  EXPECT_EQ(d.right, 1.0);
  EXPECT_EQ(d.leftFlags & 0x0500, 0x0500);
  EXPECT_EQ(d.rightFlags & 0x0500, 0x0500);
}

TEST(ColumnDescriptors, DescriptorTooShortIsRefused) {
  PoolBuilder pool;
  PlanBuilder plan("SCALES");
  plan.CompareColumns(Column::Long("A", 0), op::kEQ, Column::Long("B", 4), pool.Long(0));
  EXPECT_EQ(BuiltFilter(plan, pool).status(), 6);
}

TEST(Configuration, EnableFireIsCaseSensitive) {
  {
    ScopedEnv unset("VEX_RATE_ENABLEFIRE", std::nullopt);
    EXPECT_FALSE(EnableFireConfigured());
  }
  for (const char* on : {"YES", "TRUE"}) {
    ScopedEnv env("VEX_RATE_ENABLEFIRE", on);
    EXPECT_TRUE(EnableFireConfigured()) << on;
  }
  for (const char* off : {"yes", "true", "NO", "1", ""}) {
    ScopedEnv env("VEX_RATE_ENABLEFIRE", off);
    EXPECT_FALSE(EnableFireConfigured()) << off;
  }
}

TEST(Configuration, CacheSizeInKibibytesSaturating) {
  struct Case {
    std::optional<std::string> value;
    std::uint32_t limit;
  };
  for (const Case& c : {Case{std::nullopt, 8192u * 1024}, Case{"16", 16384}, Case{"abc", 0}, Case{"-4", 0},
                        Case{"4194303", 4194303u * 1024}, Case{"4194304", 0xFFFFFFFFu}, Case{"99999999999", 0xFFFFFFFFu}}) {
    ScopedEnv env("VEX_RATE_CACHE_SIZE", c.value);
    EXPECT_EQ(ChangeCacheLimit(), c.limit) << c.value.value_or("(unset)");
  }
}

TEST(Configuration, TraceFilterNamingTheTableBindsTracedRoutines) {
  CapturedTrace trace;
  ForgetTraceFilterSetting();
  ScopedEnv env("VEX_TRACEFILTER", "CPU");
  auto build = [] {
    PoolBuilder pool;
    PlanBuilder plan("CPU");
    plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(1));
    auto built = std::make_unique<BuiltFilter>(plan, pool);
    EXPECT_EQ(built->status(), 0);
    return built;
  };
  const Routine plain = OperatorTable(Mode::kPlain, Op::kEQ)[slot::kLongColLit].routine;
  EXPECT_EQ(build()->element(0).routine, plain) << "without bit 0x01 the variable is not even read";
  VEXH_SetTraceLevel(nullptr, 0x01);
  auto traced = build();
  EXPECT_EQ(traced->element(0).routine, OperatorTable(Mode::kTraced, Op::kEQ)[slot::kLongColLit].routine);
  EXPECT_STREQ(traced->filter().traceTableName, "CPU");
  ForgetTraceFilterSetting();
}

// A table name ends at its tenth character or at a zero byte, and a shorter one counts as padded with
// blanks: VEX_TRACEFILTER=ABC names "ABC" whichever way the plan ends it.
TEST(Configuration, TraceFilterNamesATableEndedByAZeroByte) {
  CapturedTrace trace;
  struct Case {
    std::string_view table;  // all ten bytes of the plan's table name
    std::string filter;
    bool traced;
  };
  using namespace std::string_view_literals;
  const Routine plain = OperatorTable(Mode::kPlain, Op::kEQ)[slot::kLongColLit].routine;
  const Routine traced = OperatorTable(Mode::kTraced, Op::kEQ)[slot::kLongColLit].routine;
  VEXH_SetTraceLevel(nullptr, 0x01);
  for (const Case& c : {Case{"ABC\0\0\0\0\0\0\0"sv, "ABC", true}, Case{"ABC\0XYZ123"sv, "ABC", true},
                        Case{"ABC       "sv, "ABC", true}, Case{"ABC   \0\0\0\0"sv, "ABC", true},
                        Case{"ABC\0\0\0\0\0\0\0"sv, "ABC   ", true}, Case{"ABCD\0\0\0\0\0\0"sv, "ABC", false},
                        Case{"AB\0\0\0\0\0\0\0\0"sv, "ABC", false}, Case{"ABC\0\0\0\0\0\0\0"sv, "ABCD", false}}) {
    ForgetTraceFilterSetting();
    ScopedEnv env("VEX_TRACEFILTER", c.filter);
    PoolBuilder pool;
    PlanBuilder plan;
    plan.TableName(c.table);
    plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(1));
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    const std::string shown = std::string(c.table.substr(0, c.table.find('\0'))) + " / " + c.filter;
    EXPECT_EQ(built.element(0).routine, c.traced ? traced : plain) << shown;
    EXPECT_EQ((built.filter().filterFlags & filter_flag::kTraceNamed) != 0, c.traced) << shown;
  }
  ForgetTraceFilterSetting();
}

TEST(Locale, OtherLocaleFailureGives1022AndReleasesEverything) {
  CapturedTrace trace;
  const long before = OutstandingBlocks();
  FailNextLocaleCall(77);
  BuiltFilter built(PlanBuilder("LOCALE").Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup).Always(),
                    PoolBuilder());
  EXPECT_EQ(built.status(), 1022);
  EXPECT_EQ(OutstandingBlocks(), before);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0].rfind("LCL1 set language id error 77. LanguageId 0x03480001 CodePage UTF8 LOCALE     0x", 0),
            0u)
      << trace.lines()[0];
  EXPECT_NE(trace.lines()[0].find(" status 1022"), std::string::npos);
}

}  // namespace
}  // namespace vexfilt
