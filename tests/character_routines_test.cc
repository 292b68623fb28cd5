// Plain character routines by slot and operator: fixed and varying columns against literals, columns and
// function results, substrings, LIKE, string search and out-of-range length prefixes. The predicate language
// writes its text terminated, so the operands here, padded or cut short, are the plans' own.
#include <gtest/gtest.h>

#include "filter_fixture.h"
#include "record.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::MakeFilter;
using testing::Record;

// Column layout of the test records: a fixed 8-byte column at 0, a varying column (capacity 10) at 8.
const Column kFixed = Column::Char("FIX", 0, 8);
const Column kVarying = Column::VarChar("VAR", 8, 12);

template <typename Write>
std::int32_t Evaluate(Write&& write, const Record& record) {
  const auto built = MakeFilter(write, "CHARS");
  EXPECT_EQ(built->status(), 0);
  return built->status() == 0 ? built->Evaluate(record.bytes()) : -1;
}

// The record with `value` in `column`: text in a fixed column, its length and text in a varying one, whose
// bytes after the value are not blanks.
Record& Put(Record& record, const Column& column, const std::string& value) {
  return column.dataType == type::kVarChar ? record.Varying(column.offset, value) : record.Text(column.offset, value);
}

TEST(ColumnAgainstLiteral, FixedComparesTheLiteralsLengthVaryingPadsTheShorterOperand) {
  const struct {
    Column column;
    std::int32_t op;
    std::string value, literal;
    std::int32_t status;
    const char* why = "";
  } cases[] = {{kFixed, op::kEQ, "AB", "AB", 0},
               {kFixed, op::kEQ, "ABX", "AB", 0, "only the literal's length is compared"},
               {kFixed, op::kGT, "AC", "AB", 0},
               {kFixed, op::kLT, "AC", "AB", 1},
               {kFixed, op::kGT, "\xE9", "z", 0, "bytes compare unsigned"},
               {kFixed, op::kNE, "ab", "AB", 0, "case-sensitive"},
               {kVarying, op::kEQ, "AB", "AB ", 0, "the shorter operand is blank padded"},
               {kVarying, op::kLT, "AB", "AB!", 0},
               {kVarying, op::kGE, "ABC", "AB", 0},
               {kVarying, op::kLE, "", "   ", 0},
               {kFixed, op::kLike, "java.io ", "java*", 0},
               {kFixed, op::kLike, "javx    ", "java*", 1},
               {kFixed, op::kLike, "ABC     ", "A?C*", 0},
               {kVarying, op::kLike, "A", "A  ", 0},
               {kVarying, op::kLike, "ABC", "*C", 0},
               {kVarying, op::kLike, "ABC", "*D", 1}};
  for (const auto& c : cases) {
    Record record(32, c.column.dataType == type::kVarChar ? '#' : ' ');
    const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
      const plan::Literal literal = pool.Char(c.literal);
      c.op == op::kLike ? plan.Like(c.column, literal) : plan.Compare(c.column, c.op, literal);
    };
    EXPECT_EQ(Evaluate(write, Put(record, c.column, c.value)), c.status) << c.value << " " << c.literal << " " << c.why;
  }
}

TEST(ColumnAgainstLiteral, VaryingPrefixOutOfRangeReadsTheWholeColumnAsData) {
  // Prefix 300 in a column of 12 bytes: the 12 bytes, prefix included, are the value.
  const std::string prefix("\x2c\x01", 2);
  const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
    plan.Compare(kVarying, op::kEQ, pool.Char(prefix + "ABCDEFGHIJ"));
    plan.Like(kVarying, pool.Char(prefix + "AB*"));
    plan.AllOf();
  };
  EXPECT_EQ(Evaluate(write, Record(32, ' ').At(8, std::uint16_t{300}).Text(10, "ABCDEFGHIJ")), 0);
}

TEST(Substrings, VaryingColumnSubstringsPadOrStandInForABlank) {
  const struct {
    Column column;
    std::string value;
    int start;
    std::string literal;
    std::int32_t op, status;
  } cases[] = {{kVarying, "ABCDEF", 2, "CD", op::kEQ, 0}, {kVarying, "ABC", 2, "C ", op::kEQ, 0},
               {kVarying, "AB", 5, " ", op::kEQ, 0},      {kVarying, "AB", 2, "A", op::kGT, 1},
               {kVarying, "ABCDEF", 1, "BD", op::kLT, 0}, {kFixed, "ABCDEFGH", 3, "DE", op::kEQ, 0}};
  for (const auto& c : cases) {
    Record record(32, '#');
    const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.Substring(c.column, c.start, c.op, pool.Char(c.literal));
    };
    EXPECT_EQ(Evaluate(write, Put(record, c.column, c.value)), c.status) << c.value << " @" << c.start;
  }
  // 8 + 3 bytes reach past the 10 the column holds: the element does not hold.
  const auto beyond = MakeFilter(
      [](PlanBuilder& plan, PoolBuilder& pool) { plan.Substring(kVarying, 8, op::kEQ, pool.Char("XYZ")); });
  ASSERT_EQ(beyond->status(), 0);
  const Record record = Record(32, ' ').Varying(8, "ABCDEFGHIJ");
  EXPECT_EQ(beyond->Evaluate(record.bytes()), 1);
  EXPECT_EQ(beyond->element(0).routine(beyond->element(0), record.bytes().data()), 1);
}

TEST(Like, PatternEndingInAsteriskMayCoverOneMoreByte) {
  // Three pattern bytes "AB*" in an entry that holds a fourth: the pattern length becomes 4.
  const auto longer = MakeFilter(
      [](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(kFixed, pool.Char("AB*X")).RightLiteralLength(3); });
  ASSERT_EQ(longer->status(), 0);
  EXPECT_EQ(longer->element(0).rightScale, 4);
  const auto exact = MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(kFixed, pool.Char("AB*")); });
  ASSERT_EQ(exact->status(), 0);
  EXPECT_EQ(exact->element(0).rightScale, 3);
}

TEST(StringSearch, FoundFlagGoesToTheResultTarget) {
  const auto built = MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    plan.StringSearch(kFixed, pool.Char("BC")).ResultTarget(1);
    plan.Always();
  });
  ASSERT_EQ(built->status(), 0);
  FilterElement& search = built->element(0);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Text(0, "ABCD").bytes().data()), 0);
  EXPECT_EQ(built->element(1).leftResult, 1);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Text(0, "ABXD").bytes().data()), 207);
  EXPECT_EQ(built->element(1).leftResult, 0);
  PoolBuilder pool;
  PlanBuilder outside("STR");
  outside.StringSearch(kFixed, pool.Char("BC")).ResultTarget(2);
  outside.Always();
  EXPECT_EQ(testing::CreationRefusal(outside, pool), "6 Filter Element 0 invalid resultTarget 2");
}

TEST(StringSearch, BlanksAreFoundInAVaryingColumnsPadding) {
  for (const auto& [capacity, status] : {std::pair{10, 0}, std::pair{4, 207}}) {
    const auto built = MakeFilter([capacity](PlanBuilder& plan, PoolBuilder& pool) {
      plan.StringSearch(Column::VarChar("VAR", 8, static_cast<std::int16_t>(capacity + 2)), pool.Char("  "));
    });
    ASSERT_EQ(built->status(), 0);
    EXPECT_EQ(built->element(0).routine(built->element(0), Record(32, '#').Varying(8, "ABC").bytes().data()), status);
  }
}

TEST(ColumnAgainstColumn, FixedAndVaryingColumns) {
  const Column fixed2 = Column::Char("FX2", 20, 4);
  const Column varying2 = Column::VarChar("VR2", 20, 8);
  const struct {
    Column left, right;
    std::int32_t op;
    std::string leftValue, rightValue;
    std::int32_t status;
  } cases[] = {{kFixed, fixed2, op::kEQ, "ABCD", "ABCD", 0},   {kFixed, fixed2, op::kLT, "ABCC", "ABCD", 0},
               {kVarying, varying2, op::kEQ, "AB", "AB  ", 0}, {kVarying, varying2, op::kGT, "AC", "AB", 0},
               {kFixed, varying2, op::kEQ, "AB", "AB", 0},     {kVarying, fixed2, op::kEQ, "AB", "AB", 0}};
  for (const auto& c : cases) {
    Record record(32, ' ');
    Put(Put(record, c.left, c.leftValue), c.right, c.rightValue);
    const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.CompareColumns(c.left, c.op, c.right, pool.ColumnDescriptor(c.right));
    };
    EXPECT_EQ(Evaluate(write, record), c.status) << c.leftValue << " vs " << c.rightValue;
  }
  // A length prefix beyond its column: the comparison does not hold, LIKE answers 58.
  const auto built = MakeFilter([&](PlanBuilder& plan, PoolBuilder& pool) {
    plan.CompareColumns(kVarying, op::kEQ, varying2, pool.ColumnDescriptor(varying2));
    plan.CompareColumns(kVarying, op::kLike, varying2, pool.ColumnDescriptor(varying2));
  });
  ASSERT_EQ(built->status(), 0);
  const Record record = Record(32, ' ').At(8, std::uint16_t{300}).Varying(20, "AB");
  EXPECT_EQ(built->element(0).routine(built->element(0), record.bytes().data()), 1);
  EXPECT_EQ(built->element(1).routine(built->element(1), record.bytes().data()), 58);
}

TEST(FunctionResults, ResultAgainstLiteral) {
  const auto write = [](PlanBuilder& plan, PoolBuilder& pool) {
    const plan::Literal result = pool.Char("2026-12-06");
    plan.Compare(kFixed, op::kGT, pool.Char("2026-01-01")).Slot(slot::kCharResultLit).LeftLiteral(result);
    plan.Like(kFixed, pool.Char("2026-*")).Slot(slot::kCharResultLit).LeftLiteral(result).RightLiteralLength(6);
    plan.AllOf();
  };
  EXPECT_EQ(Evaluate(write, Record()), 0);
}

TEST(CreationOfCharacterElements, ConvertedVaryingColumnTakesSlotSixAndLikeNeedsText) {
  const auto converted = MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    const Column number = Column::Long("N", 20);
    plan.CompareColumns(kVarying, op::kEQ, number, pool.ColumnDescriptor(number)).Slot(slot::kCharColLit);
  });
  ASSERT_EQ(converted->status(), 0);
  EXPECT_EQ(converted->element(0).routineSlot, 6);
  const auto like =
      MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(Column::Long("N", 0), pool.Char("1*")); });
  EXPECT_EQ(like->status(), 1);
}

}  // namespace
}  // namespace vexfilt
