// Numeric comparisons: every family's signedness rules, NaN, mixed representations and scaled numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/bytes.h"
#include "filter_fixture.h"
#include "guarded_bytes.h"
#include "record.h"
#include "routines/numeric_routines.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::Literal;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::GuardedBytes;
using testing::Record;

// Whether "column OP literal" holds for `value` at offset 0.
template <typename T>
bool Holds(const Column& column, std::int32_t op, Literal (PoolBuilder::*add)(T, const plan::EntryFields&), T literal,
           T value) {
  PoolBuilder pool;
  PlanBuilder plan("NUMS");
  plan.Compare(column, op, (pool.*add)(literal, {}));
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  return built.status() == 0 && built.Evaluate(Record().At(0, value).bytes()) == 0;
}

TEST(DoubleColumns, NanSatisfiesOnlyNotEqual) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::int32_t op : {op::kEQ, op::kGT, op::kLT, op::kGE, op::kLE}) {
    EXPECT_FALSE(Holds(Column::Double("A", 0), op, &PoolBuilder::Double, 1.0, nan)) << op;
  }
  EXPECT_TRUE(Holds(Column::Double("A", 0), op::kNE, &PoolBuilder::Double, 1.0, nan));
  EXPECT_TRUE(Holds(Column::Double("A", 0), op::kLT, &PoolBuilder::Double, 2.5, 2.25));
}

// Result routines compare words that function elements write; tests write them directly.
struct ResultCase {
  std::int16_t slot;
  std::int32_t op;
  std::int32_t leftResult, rightResult;
  bool holds;
};

TEST(ResultRoutines, CompareTheResultWords) {
  // Result against result is unsigned; result against literal is signed.
  for (const ResultCase& c : {ResultCase{slot::kLongResultResult, op::kGT, -1, 1, true},
                              ResultCase{slot::kShortResultResult, op::kGT, -1, 1, true},
                              ResultCase{slot::kLongResultResult, op::kEQ, 7, 7, true},
                              ResultCase{slot::kLongResultLit, op::kGT, -1, 0, false},  // against the literal 5
                              ResultCase{slot::kShortResultLit, op::kLT, 4, 0, true}}) {
    PoolBuilder pool;
    PlanBuilder plan("RESULTS");
    const bool shortLiteral = c.slot == slot::kShortResultLit;
    const Literal five = shortLiteral ? pool.Short(5) : pool.Long(5);
    plan.Compare(shortLiteral ? Column::Short("A", 0) : Column::Long("A", 0), c.op, five).Slot(c.slot);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    built.element(0).leftResult = c.leftResult;
    built.element(0).rightResult = c.rightResult;
    EXPECT_EQ(built.Evaluate(Record().bytes()) == 0, c.holds) << c.slot << " " << c.op;
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

TEST(ColumnAgainstColumn, SameTypeUnsignedColumnsCompareUnsigned) {
  PoolBuilder pool;
  PlanBuilder plan("COLS");
  plan.CompareColumns(Column::ULong("A", 0), op::kGT, Column::ULong("B", 4), pool.ColumnDescriptor(Column::ULong("B", 4)));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.Evaluate(Record().At(0, 0x80000000u).At(4, 1u).bytes()), 0);
}

// The outcome CompareNumeric leaves for a mixed column-against-column element, after evaluation.
std::int32_t MixedOutcome(const Column& left, const Column& right, const Record& record, std::int32_t* status) {
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  plan.CompareColumns(left, op::kEQ, right, pool.ColumnDescriptor(right));
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
  EXPECT_EQ(MixedOutcome(Column::Short("A", 0), Column::UShort("B", 4),
                         Record().At(0, std::int16_t{-1}).At(4, std::uint16_t{1}), &st),
            -1);
  EXPECT_EQ(MixedOutcome(Column::Double("A", 0), Column::ULong("B", 8), Record().At(0, 4294967295.0).At(8, 0xFFFFFFFFu), &st),
            0);
  EXPECT_EQ(MixedOutcome(Column::Double("A", 0), Column::Long("B", 8),
                         Record().At(0, std::numeric_limits<double>::quiet_NaN()).At(8, 3), &st),
            0)
      << "NaN compares as equal here";
}

TEST(CompareNumeric, NarrowerRightColumnAtTheRecordsEndIsReadByItsOwnWidth) {
  // A double against a 2-byte or 4-byte column that ends the record: the comparison reads the narrower
  // column's own bytes, so creation accepts it and evaluation stays inside the record.
  for (const Column& right : {Column::Short("H", 8), Column::UShort("U", 8), Column::Long("I", 8), Column::ULong("W", 8)}) {
    PoolBuilder pool;
    PlanBuilder plan("MIXED");
    plan.RecordLength(8 + right.length).CompareColumns(Column::Double("D", 0), op::kGT, right, pool.ColumnDescriptor(right));
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0) << right.name;
    std::vector<std::uint8_t> bytes = Record(static_cast<std::size_t>(8 + right.length)).At(0, 2.5).bytes();
    bytes[8] = 2;  // 2 in every width, on this little-endian layout
    const GuardedBytes record(bytes);
    EXPECT_EQ(FLT1_FilterRecord(built.handle(), 0, record.data()), 0) << right.name << ": 2.5 > 2";
  }
}

TEST(CompareNumeric, TextOperandsNeedTheScaledMode) {
  std::int32_t st = -1;
  MixedOutcome(Column::Long("A", 0), Column::Char("T", 4, 8), Record().Text(4, "5       "), &st);
  EXPECT_EQ(st, 0) << "a character operand makes the comparison scaled";
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  plan.CompareColumns(Column::Long("A", 0), op::kEQ, Column::Double("B", 8), pool.ColumnDescriptor(Column::Double("B", 8)))
      .RightFlags(rep::kDouble | rep::kUnsigned | rep::kMixed | rep::kColumn);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  built.element(0).conditionCode = 42;
  EXPECT_EQ(CompareNumeric(built.element(0), Record().bytes().data()), 1004);
  EXPECT_EQ(built.element(0).conditionCode, 42) << "not written on 1004";
}

struct TextCase {
  std::string text;
  std::int32_t status;
  std::int32_t outcome;  // of the scaled 213 (2.13) against the text
};

TEST(CompareNumeric, TextRoundsToTheOtherOperandsDecimalsHalfUp) {
  for (const TextCase& c : {TextCase{"2.125   ", 0, 0}, TextCase{"2.124   ", 0, 1}, TextCase{"2.135   ", 0, -1}, TextCase{"2.145   ", 0, -1},
                            TextCase{"  2.13  ", 0, 0}, TextCase{"abc     ", 57, 57}, TextCase{"0       ", 0, 1}}) {
    std::int32_t st = -1;
    const std::int32_t outcome =
        MixedOutcome(Column::Long("A", 0).Scaled(2), Column::Char("T", 4, 8), Record().At(0, 213).Text(4, c.text), &st);
    EXPECT_EQ(st, c.status) << c.text;
    EXPECT_EQ(outcome, c.outcome) << c.text;
  }
}

// A text is rounded on the digits it was written with: a half is a half only when the text wrote one, so
// that digits just short of a half, or just beyond it, are not taken for one.
TEST(CompareNumeric, TextRoundsOnTheDigitsItWasWrittenWith) {
  struct Case {
    std::string text;
    std::int32_t scaled;  // the text rounded to two places, times 100
  };
  for (const Case& c : {Case{"2.13499999999999", 213}, Case{"-2.12500000000001", -213}, Case{"2.135", 214},
                        Case{"2.1349999999999999999", 213}, Case{"2.13500000000000000001", 214},
                        // Negative halves round towards positive infinity; -2.145 is -2.14500000000000001776 in
                        // binary, still a half.
                        Case{"-2.125", -212}, Case{"-2.145", -214}, Case{"213.49999999999e-2", 213},
                        Case{"0.00499999999999", 0},
                        Case{"9.99500000000000", 1000}, Case{"2.13000000000000001", 213}}) {
    std::int32_t st = -1;
    const Column text = Column::Char("T", 4, 24);
    std::string padded = c.text;
    padded.resize(24, ' ');
    EXPECT_EQ(MixedOutcome(Column::Long("A", 0).Scaled(2), text, Record(28).At(0, c.scaled).Text(4, padded), &st), 0)
        << c.text;
    EXPECT_EQ(st, 0) << c.text;
  }
}

// A locale-aware text reaches the rounding as a double: the double stands for the shortest decimal that
// leads to it, which is the text's own when it has at most 15 significant digits.
TEST(CompareNumeric, LocaleTextRoundsOnTheDigitsItWasWrittenWith) {
  struct Case {
    std::string text;
    std::int32_t scaled;
  };
  for (const Case& c : {Case{"2.13499999999999", 213}, Case{"-2.12500000000001", -213}, Case{"2.135", 214},
                        Case{"-2.145", -214}, Case{"2.125", 213}}) {
    PoolBuilder pool;
    PlanBuilder plan("MIXED");
    plan.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
    const Column text = Column::Utf8Char("T", 4, 24);
    plan.CompareColumns(Column::Long("A", 0).Scaled(2), op::kEQ, text, pool.ColumnDescriptor(text));
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    std::string padded = c.text;
    padded.resize(24, ' ');
    EXPECT_EQ(CompareNumeric(built.element(0), Record(28).At(0, c.scaled).Text(4, padded).bytes().data()), 0) << c.text;
    EXPECT_EQ(built.element(0).conditionCode, 0) << c.text;
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
  PoolBuilder pool;
  PlanBuilder plan("MIXED");
  plan.CompareColumns(Column::Long("A", 0).Scaled(2), op::kNE, Column::Char("T", 4, 8),
                      pool.ColumnDescriptor(Column::Char("T", 4, 8)));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.Evaluate(Record().At(0, 213).Text(4, "xyz     ").bytes()), 1);
  EXPECT_EQ(built.Evaluate(Record().At(0, 213).Text(4, "2.12    ").bytes()), 0);
}

TEST(ConvertNumericText, ReadsAtMost311Characters) {
  PoolBuilder pool;
  PlanBuilder plan("LONGTEXT");
  const Column text = Column::Char("T", 8, 400);
  plan.CompareColumns(Column::Long("A", 0), op::kEQ, text, pool.ColumnDescriptor(text));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  std::vector<std::uint8_t> record(408, '0');
  StoreUnaligned<std::int32_t>(record.data(), 0);
  record[8 + 310] = '7';  // the last character read
  record[8 + 311] = '9';  // beyond it
  ASSERT_EQ(ConvertNumericText(built.element(0), record.data(), 1), 0);
  EXPECT_EQ(LoadUnaligned<double>(built.element(0).rightData), 7.0);
}

}  // namespace
}  // namespace vexfilt
