// Numeric comparisons the predicate language cannot write (tests/data/predicates/routines.cases holds those it can):
// NaN, function result words, signed against unsigned words, scaled numbers against text.
#include <gtest/gtest.h>

#include <limits>

#include "core/bytes.h"
#include "filter_fixture.h"
#include "guarded_bytes.h"
#include "record.h"
#include "routines/numeric_routines.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::Record;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(DoubleColumns, NanSatisfiesOnlyNotEqual) {
  const auto holds = [](std::int32_t op, double literal, double value) {
    PoolBuilder pool;
    PlanBuilder plan("NUMS");
    plan.Compare(Column::Double("A", 0), op, pool.Double(literal));
    BuiltFilter built(plan, pool);
    EXPECT_EQ(built.status(), 0);
    return built.status() == 0 && built.Evaluate(Record().At(0, value).bytes()) == 0;
  };
  for (std::int32_t op : {op::kEQ, op::kGT, op::kLT, op::kGE, op::kLE}) EXPECT_FALSE(holds(op, 1.0, kNan)) << op;
  EXPECT_TRUE(holds(op::kNE, 1.0, kNan));
  EXPECT_TRUE(holds(op::kLT, 2.5, 2.25));
}

// Result routines compare words that function elements write; tests write them directly.
TEST(ResultRoutines, CompareTheResultWords) {
  // Result against result is unsigned; result against literal (5) is signed.
  const struct {
    std::int16_t slot;
    std::int32_t op, leftResult, rightResult;
    bool holds;
  } cases[] = {{slot::kLongResultResult, op::kGT, -1, 1, true}, {slot::kShortResultResult, op::kGT, -1, 1, true},
               {slot::kLongResultResult, op::kEQ, 7, 7, true},  {slot::kLongResultLit, op::kGT, -1, 0, false},
               {slot::kShortResultLit, op::kLT, 4, 0, true}};
  for (const auto& c : cases) {
    const bool isShort = c.slot == slot::kShortResultLit;
    const auto built = testing::MakeFilter([&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.Compare(isShort ? Column::Short("A", 0) : Column::Long("A", 0), c.op, isShort ? pool.Short(5) : pool.Long(5))
          .Slot(c.slot);
    });
    ASSERT_EQ(built->status(), 0);
    built->element(0).leftResult = c.leftResult;
    built->element(0).rightResult = c.rightResult;
    EXPECT_EQ(built->Evaluate(Record().bytes()) == 0, c.holds) << c.slot << " " << c.op;
  }
}

TEST(ResultRoutines, ColumnAgainstResultAndUndefinedFloatResult) {
  PoolBuilder pool;
  PlanBuilder plan("RESULTS");
  plan.Compare(Column::ULong("A", 0), op::kGT, pool.Long(0)).Slot(slot::kLongColResult);
  plan.Compare(Column::Double("D", 8), op::kEQ, pool.Double(1.0)).Slot(slot::kDoubleResultLit);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  built.element(0).leftResult = 1;
  EXPECT_EQ(built.element(0).routine(built.element(0), Record().At(0, 0xFFFFFFFFu).bytes().data()), 0);
  EXPECT_EQ(built.element(1).routine(built.element(1), Record().At(8, 1.0).bytes().data()), 1);
}

// The outcome CompareNumeric leaves for a mixed column-against-column element, and its status in `status`.
std::int32_t MixedOutcome(const Column& left, const Column& right, const Record& record, std::int32_t* status,
                          std::uint16_t planFlags = 0) {
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  plan.Flags(planFlags).CompareColumns(left, op::kEQ, right, pool.ColumnDescriptor(right));
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  if (built.status() != 0) return -99;
  *status = CompareNumeric(built.element(0), record.bytes().data());
  return built.element(0).conditionCode;
}

TEST(CompareNumeric, UnscaledPairsFollowTheirRepresentations) {
  std::int32_t st = -1;
  EXPECT_EQ(MixedOutcome(Column::Long("A", 0), Column::ULong("B", 4), Record().At(0, -1).At(4, 1u), &st), 1)
      << "an unsigned 4-byte operand makes the comparison unsigned";
  EXPECT_EQ(st, 0);
  EXPECT_EQ(MixedOutcome(Column::Double("A", 0), Column::Long("B", 8), Record().At(0, kNan).At(8, 3), &st), 0)
      << "NaN compares as equal here";
  EXPECT_EQ(st, 0);
}

TEST(CompareNumeric, NarrowerRightColumnAtTheRecordsEndIsReadByItsOwnWidth) {
  // A double against a 2-byte or 4-byte column that ends the record: the comparison reads the narrower
  // column's own bytes, so creation accepts it and evaluation stays inside the record.
  for (const Column& right :
       {Column::Short("H", 8), Column::UShort("U", 8), Column::Long("I", 8), Column::ULong("W", 8)}) {
    const auto built = testing::MakeFilter([&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.RecordLength(8 + right.length);
      plan.CompareColumns(Column::Double("D", 0), op::kGT, right, pool.ColumnDescriptor(right));
    });
    ASSERT_EQ(built->status(), 0) << right.name;
    std::vector<std::uint8_t> bytes = Record(static_cast<std::size_t>(8 + right.length)).At(0, 2.5).bytes();
    bytes[8] = 2;  // 2 in every width, on this little-endian layout
    const testing::GuardedBytes record(bytes);
    EXPECT_EQ(FLT1_FilterRecord(built->handle(), 0, record.data()), 0) << right.name << ": 2.5 > 2";
  }
}

TEST(CompareNumeric, TextOperandsNeedTheScaledMode) {
  std::int32_t st = -1;
  MixedOutcome(Column::Long("A", 0), Column::Char("T", 4, 8), Record().Text(4, "5       "), &st);
  EXPECT_EQ(st, 0) << "a character operand makes the comparison scaled";
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  plan.CompareColumns(Column::Long("A", 0), op::kEQ, Column::Double("B", 8),
                      pool.ColumnDescriptor(Column::Double("B", 8)))
      .RightFlags(rep::kDouble | rep::kUnsigned | rep::kMixed | rep::kColumn);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  built.element(0).conditionCode = 42;
  EXPECT_EQ(CompareNumeric(built.element(0), Record().bytes().data()), 1004);
  EXPECT_EQ(built.element(0).conditionCode, 42) << "not written on 1004";
}

// A text is rounded half up to the other operand's decimals, on the digits it was written with: a half is a
// half only when the text wrote one, so digits just short of a half, or just beyond it, are not taken for
// one. Negative halves round towards positive infinity (-2.145 is -2.14500000000000001776 in binary, still a
// half).
TEST(CompareNumeric, TextRoundsHalfUpOnTheDigitsItWasWrittenWith) {
  const Column scaled = Column::Long("A", 0).Scaled(2);
  const auto record = [](std::string text, std::int32_t number) {
    text.resize(24, ' ');
    return Record(28).At(0, number).Text(4, text);
  };
  const struct {
    std::string text;
    std::int32_t number, status, outcome;  // the number (two places) against the text
  } cases[] = {{"2.125", 213, 0, 0},   {"2.124", 213, 0, 1},   {"2.135", 213, 0, -1}, {"2.145", 213, 0, -1},
               {"  2.13", 213, 0, 0},  {"abc", 213, 57, 57},   {"0", 213, 0, 1},      {"2.135", 214, 0, 0},
               {"-2.125", -212, 0, 0}, {"-2.145", -214, 0, 0},
               {"2.13499999999999", 213, 0, 0},      {"-2.12500000000001", -213, 0, 0},
               {"2.1349999999999999999", 213, 0, 0}, {"2.13500000000000000001", 214, 0, 0},
               {"213.49999999999e-2", 213, 0, 0},    {"0.00499999999999", 0, 0, 0},
               {"9.99500000000000", 1000, 0, 0},     {"2.13000000000000001", 213, 0, 0}};
  std::int32_t st = -1;
  for (const auto& c : cases) {
    EXPECT_EQ(MixedOutcome(scaled, Column::Char("T", 4, 24), record(c.text, c.number), &st), c.outcome) << c.text;
    EXPECT_EQ(st, c.status) << c.text;
  }
  // A locale-aware text reaches the rounding as a double: the double stands for the shortest decimal that
  // leads to it, which is the text's own when it has at most 15 significant digits.
  for (const auto& [text, number] : {std::pair<std::string, std::int32_t>{"2.13499999999999", 213},
                                     {"-2.12500000000001", -213}, {"2.135", 214}, {"-2.145", -214}, {"2.125", 213}}) {
    EXPECT_EQ(MixedOutcome(scaled, Column::Utf8Char("T", 4, 24), record(text, number), &st,
                           plan_flag::kUtf8Data | plan_flag::kLocaleSetup),
              0)
        << text;
    EXPECT_EQ(st, 0) << text;
  }
}

TEST(CompareNumeric, VaryingTextWithPrefixBeyondItsColumnGives58) {
  std::int32_t st = -1;
  const Column text = Column::VarChar("T", 4, 10);
  MixedOutcome(Column::Long("A", 0).Scaled(1), text, Record().At(4, std::uint16_t{9}).Text(6, "1.5"), &st);
  EXPECT_EQ(st, 58);
  MixedOutcome(Column::Long("A", 0).Scaled(1), text, Record().At(0, 15).At(4, std::uint16_t{3}).Text(6, "1.5"), &st);
  EXPECT_EQ(st, 0);
}

TEST(CompareNumeric, MixedElementFailingToReadDoesNotHold) {
  const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    const Column text = Column::Char("T", 4, 8);
    plan.CompareColumns(Column::Long("A", 0).Scaled(2), op::kNE, text, pool.ColumnDescriptor(text));
  });
  ASSERT_EQ(built->status(), 0);
  EXPECT_EQ(built->Evaluate(Record().At(0, 213).Text(4, "xyz     ").bytes()), 1);
  EXPECT_EQ(built->Evaluate(Record().At(0, 213).Text(4, "2.12    ").bytes()), 0);
}

TEST(ConvertNumericText, ReadsAtMost311Characters) {
  const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    const Column text = Column::Char("T", 8, 400);
    plan.CompareColumns(Column::Long("A", 0), op::kEQ, text, pool.ColumnDescriptor(text));
  });
  ASSERT_EQ(built->status(), 0);
  std::vector<std::uint8_t> record(408, '0');
  StoreUnaligned<std::int32_t>(record.data(), 0);
  record[8 + 310] = '7';  // the last character read
  record[8 + 311] = '9';  // beyond it
  ASSERT_EQ(ConvertNumericText(built->element(0), record.data(), 1), 0);
  EXPECT_EQ(LoadUnaligned<double>(built->element(0).rightData), 7.0);
}

}  // namespace
}  // namespace vexfilt
