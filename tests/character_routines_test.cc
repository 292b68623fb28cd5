// Plain character routines by slot and operator: fixed and varying columns against literals, columns and
// function results, substrings, LIKE, string search and out-of-range length prefixes.
#include <gtest/gtest.h>

#include "filter_fixture.h"
#include "record.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::Record;

// Column layout of the test records: a fixed 8-byte column at 0, a varying column (capacity 10) at 8.
const Column kFixed = Column::Char("FIX", 0, 8);
const Column kVarying = Column::VarChar("VAR", 8, 12);

std::int32_t Evaluate(PlanBuilder& plan, PoolBuilder& pool, const Record& record) {
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  return built.status() == 0 ? built.Evaluate(record.bytes()) : -1;
}

std::int32_t CompareFixed(std::int32_t op, const std::string& value, const std::string& literal) {
  PoolBuilder pool;
  PlanBuilder plan("CHARS");
  plan.Compare(kFixed, op, pool.Char(literal));
  return Evaluate(plan, pool, Record(32, ' ').Text(0, value));
}

std::int32_t CompareVarying(std::int32_t op, const std::string& value, const std::string& literal) {
  PoolBuilder pool;
  PlanBuilder plan("CHARS");
  plan.Compare(kVarying, op, pool.Char(literal));
  return Evaluate(plan, pool, Record(32, '#').Varying(8, value));
}

TEST(FixedColumnAgainstLiteral, OnlyTheLiteralsLengthIsCompared) {
  EXPECT_EQ(CompareFixed(op::kEQ, "AB", "AB"), 0);
  EXPECT_EQ(CompareFixed(op::kEQ, "ABX", "AB"), 0);
  EXPECT_EQ(CompareFixed(op::kGT, "AC", "AB"), 0);
  EXPECT_EQ(CompareFixed(op::kLT, "AC", "AB"), 1);
  EXPECT_EQ(CompareFixed(op::kGT, "\xE9", "z"), 0) << "bytes compare unsigned";
  EXPECT_EQ(CompareFixed(op::kNE, "ab", "AB"), 0) << "case-sensitive";
}

TEST(VaryingColumnAgainstLiteral, ShorterOperandIsBlankPadded) {
  EXPECT_EQ(CompareVarying(op::kEQ, "AB", "AB "), 0);
  EXPECT_EQ(CompareVarying(op::kLT, "AB", "AB!"), 0);
  EXPECT_EQ(CompareVarying(op::kGE, "ABC", "AB"), 0);
  EXPECT_EQ(CompareVarying(op::kLE, "", "   "), 0);
}

TEST(VaryingColumnAgainstLiteral, PrefixOutOfRangeReadsTheWholeColumnAsData) {
  PoolBuilder pool;
  PlanBuilder plan("CHARS");
  // Prefix 300 in a column of 12 bytes: the 12 bytes, prefix included, are the value.
  const std::string whole = std::string("\x2c\x01", 2) + "ABCDEFGHIJ";
  plan.Compare(kVarying, op::kEQ, pool.Char(whole));
  plan.Like(kVarying, pool.Char(std::string("\x2c\x01", 2) + "AB*"));
  plan.AllOf();
  EXPECT_EQ(Evaluate(plan, pool, Record(32, ' ').At(8, std::uint16_t{300}).Text(10, "ABCDEFGHIJ")), 0);
}

TEST(Substrings, VaryingColumnSubstringBeyondTheDataGives512) {
  PoolBuilder pool;
  PlanBuilder plan("SUBS");
  plan.Substring(kVarying, 8, op::kEQ, pool.Char("XYZ"));  // 8 + 3 > 12 - 2
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.Evaluate(Record(32, ' ').Varying(8, "ABCDEFGHIJ").bytes()), 1);
  EXPECT_EQ(built.element(0).routine(built.element(0), Record(32, ' ').Varying(8, "ABCDEFGHIJ").bytes().data()), 1);
}

TEST(Substrings, VaryingColumnSubstringsPadOrStandInForABlank) {
  struct Case {
    std::string value;
    int start;
    std::string literal;
    std::int32_t op;
    std::int32_t status;
  };
  for (const Case& c : {Case{"ABCDEF", 2, "CD", op::kEQ, 0}, Case{"ABC", 2, "C ", op::kEQ, 0},
                        Case{"AB", 5, " ", op::kEQ, 0}, Case{"AB", 2, "A", op::kGT, 1}, Case{"ABCDEF", 1, "BD", op::kLT, 0}}) {
    PoolBuilder pool;
    PlanBuilder plan("SUBS");
    plan.Substring(kVarying, c.start, c.op, pool.Char(c.literal));
    EXPECT_EQ(Evaluate(plan, pool, Record(32, '#').Varying(8, c.value)), c.status) << c.value << " @" << c.start;
  }
  PoolBuilder pool;
  PlanBuilder fixed("SUBS");
  fixed.Substring(kFixed, 3, op::kEQ, pool.Char("DE"));
  EXPECT_EQ(Evaluate(fixed, pool, Record(32, ' ').Text(0, "ABCDEFGH")), 0);
}

TEST(Like, FixedAndVaryingColumns) {
  struct Case {
    Column column;
    std::string value, pattern;
    std::int32_t status;
  };
  for (const Case& c : {Case{kFixed, "java.io ", "java*", 0}, Case{kFixed, "javx    ", "java*", 1},
                        Case{kFixed, "ABC     ", "A?C*", 0}, Case{kVarying, "A", "A  ", 0},
                        Case{kVarying, "ABC", "*C", 0}, Case{kVarying, "ABC", "*D", 1}}) {
    PoolBuilder pool;
    PlanBuilder plan("LIKES");
    plan.Like(c.column, pool.Char(c.pattern));
    Record record(32, ' ');
    if (c.column.dataType == type::kVarChar) {
      record.Varying(8, c.value);
    } else {
      record.Text(0, c.value);
    }
    EXPECT_EQ(Evaluate(plan, pool, record), c.status) << c.value << " LIKE " << c.pattern;
  }
}

TEST(Like, PatternEndingInAsteriskMayCoverOneMoreByte) {
  PoolBuilder pool;
  PlanBuilder plan("LIKES");
  // Three pattern bytes "AB*" in an entry that holds a fourth: the pattern length becomes 4.
  plan.Like(kFixed, pool.Char("AB*X")).RightLiteralLength(3);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.element(0).rightScale, 4);
  PoolBuilder exact;
  PlanBuilder plain("LIKES");
  plain.Like(kFixed, exact.Char("AB*"));
  BuiltFilter same(plain, exact);
  ASSERT_EQ(same.status(), 0);
  EXPECT_EQ(same.element(0).rightScale, 3);
}

TEST(StringSearch, FoundFlagGoesToTheResultTarget) {
  PoolBuilder pool;
  PlanBuilder plan("STR");
  plan.StringSearch(kFixed, pool.Char("BC")).ResultTarget(1);
  plan.Always();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  FilterElement& search = built.element(0);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Text(0, "ABCD").bytes().data()), 0);
  EXPECT_EQ(built.element(1).leftResult, 1);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Text(0, "ABXD").bytes().data()), 207);
  EXPECT_EQ(built.element(1).leftResult, 0);
}

TEST(StringSearch, BlanksAreFoundInAVaryingColumnsPadding) {
  for (const auto& [capacity, status] : {std::pair{10, 0}, std::pair{4, 207}}) {
    PoolBuilder pool;
    PlanBuilder plan("STR");
    plan.StringSearch(Column::VarChar("VAR", 8, static_cast<std::int16_t>(capacity + 2)), pool.Char("  "));
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    EXPECT_EQ(built.element(0).routine(built.element(0), Record(32, '#').Varying(8, "ABC").bytes().data()), status);
  }
}

TEST(StringSearch, ResultTargetOutsideThePlanIsRefused) {
  PoolBuilder pool;
  PlanBuilder plan("STR");
  plan.StringSearch(kFixed, pool.Char("BC")).ResultTarget(2);
  plan.Always();
  EXPECT_EQ(BuiltFilter(plan, pool).status(), 6);
}

TEST(ColumnAgainstColumn, FixedAndVaryingColumns) {
  const Column fixed2 = Column::Char("FX2", 20, 4);
  const Column varying2 = Column::VarChar("VR2", 20, 8);
  struct Case {
    Column left, right;
    std::int32_t op;
    std::string leftValue, rightValue;
    std::int32_t status;
  };
  for (const Case& c : {Case{kFixed, fixed2, op::kEQ, "ABCD", "ABCD", 0}, Case{kFixed, fixed2, op::kLT, "ABCC", "ABCD", 0},
                        Case{kVarying, varying2, op::kEQ, "AB", "AB  ", 0},
                        Case{kVarying, varying2, op::kGT, "AC", "AB", 0}, Case{kFixed, varying2, op::kEQ, "AB", "AB", 0},
                        Case{kVarying, fixed2, op::kEQ, "AB", "AB", 0}}) {
    PoolBuilder pool;
    PlanBuilder plan("COLS");
    plan.CompareColumns(c.left, c.op, c.right, pool.ColumnDescriptor(c.right));
    Record record(32, ' ');
    if (c.left.dataType == type::kVarChar) {
      record.Varying(8, c.leftValue);
    } else {
      record.Text(0, c.leftValue);
    }
    if (c.right.dataType == type::kVarChar) {
      record.Varying(20, c.rightValue);
    } else {
      record.Text(20, c.rightValue);
    }
    EXPECT_EQ(Evaluate(plan, pool, record), c.status) << c.leftValue << " vs " << c.rightValue;
  }
}

TEST(ColumnAgainstColumn, VaryingPrefixOutOfRangeDoesNotHold) {
  PoolBuilder pool;
  PlanBuilder plan("COLS");
  const Column right = Column::VarChar("VR2", 20, 8);
  plan.CompareColumns(kVarying, op::kEQ, right, pool.ColumnDescriptor(right));
  plan.CompareColumns(kVarying, op::kLike, right, pool.ColumnDescriptor(right));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  const Record record = Record(32, ' ').At(8, std::uint16_t{300}).Varying(20, "AB");
  EXPECT_EQ(built.element(0).routine(built.element(0), record.bytes().data()), 1);
  EXPECT_EQ(built.element(1).routine(built.element(1), record.bytes().data()), 58);
}

TEST(FunctionResults, ResultAgainstLiteral) {
  PoolBuilder pool;
  PlanBuilder plan("FUNCS");
  const plan::Literal result = pool.Char("2026-12-06");
  plan.Compare(kFixed, op::kGT, pool.Char("2026-01-01")).Slot(slot::kCharResultLit).LeftLiteral(result);
  plan.Like(kFixed, pool.Char("2026-*")).Slot(slot::kCharResultLit).LeftLiteral(result).RightLiteralLength(6);
  plan.AllOf();
  EXPECT_EQ(Evaluate(plan, pool, Record()), 0);
}

TEST(CreationOfCharacterElements, ConvertedVaryingColumnTakesSlotSix) {
  PoolBuilder pool;
  PlanBuilder plan("SLOTS");
  const Column number = Column::Long("N", 20);
  plan.CompareColumns(kVarying, op::kEQ, number, pool.ColumnDescriptor(number)).Slot(slot::kCharColLit);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.element(0).routineSlot, 6);
}

TEST(CreationOfCharacterElements, LikeOnANumericColumnIsRefused) {
  PoolBuilder pool;
  PlanBuilder plan("SLOTS");
  plan.Like(Column::Long("N", 0), pool.Char("1*"));
  EXPECT_EQ(BuiltFilter(plan, pool).status(), 1);
}

}  // namespace
}  // namespace vexfilt
