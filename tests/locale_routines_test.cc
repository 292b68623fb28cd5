// Locale-aware routines on UTF-8 data: collation order, characters as units of patterns and substrings,
// and national-language failures.
#include <gtest/gtest.h>

#include "filter_fixture.h"
#include "host/nls.h"
#include "record.h"
#include "routines/nls_pattern.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::Record;

constexpr std::uint16_t kLocalePlan = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;
const Column kText = Column::Utf8Char("TXT", 0, 8);
const Column kVarText = Column::Utf8VarChar("VTX", 8, 14);

PlanBuilder LocalePlan() {
  PlanBuilder plan("NLS");
  plan.Flags(kLocalePlan);
  return plan;
}

std::int32_t Evaluate(const PlanBuilder& plan, const PoolBuilder& pool, const Record& record) {
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  return built.status() == 0 ? built.Evaluate(record.bytes()) : -1;
}

std::int32_t CompareText(std::int32_t op, const std::string& value, const std::string& literal) {
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan();
  plan.Compare(kText, op, pool.Utf8Char(literal, 8));
  return Evaluate(plan, pool, Record(32, ' ').Text(0, value));
}

TEST(LocaleCollation, OrderIsTheLocalesNotTheBytes) {
  EXPECT_EQ(CompareText(op::kLT, "a", "B"), 0) << "bytes would put 'a' after 'B'";
  EXPECT_EQ(CompareText(op::kLT, "\xC3\xA4", "b"), 0) << "bytes would put 'ä' after 'b'";
  EXPECT_EQ(CompareText(op::kEQ, "abc", "abc"), 0);
  EXPECT_EQ(CompareText(op::kNE, "abc", "ABC"), 0) << "case still counts";
}

TEST(LocaleCollation, PlainElementsOfTheSameColumnStillCompareBytes) {
  PoolBuilder pool;
  PlanBuilder plan("NLS");  // no locale-aware data in the plan: the plain slot is used
  plan.Compare(Column::Char("TXT", 0, 8), op::kLT, pool.Char("B       "));
  EXPECT_EQ(Evaluate(plan, pool, Record(32, ' ').Text(0, "a")), 1);
}

TEST(LocaleLike, QuestionMarkConsumesOneWholeCharacter) {
  struct Case {
    std::string value, pattern;
    std::int32_t status;
  };
  for (const Case& c : {Case{"\xC3\xA4" "b", "?b*", 0}, Case{"\xC3\xA4" "b", "??b*", 207}, Case{"x\xE2\x82\xAC" "y", "x?y*", 0},
                        Case{"abc", "a*c*", 0}, Case{"abc", "a*d*", 207}}) {
    PoolBuilder pool;
    PlanBuilder plan = LocalePlan();
    plan.Like(kText, pool.Utf8Char(c.pattern));
    EXPECT_EQ(Evaluate(plan, pool, Record(32, ' ').Text(0, c.value)), c.status) << c.value << " LIKE " << c.pattern;
  }
}

TEST(LocaleLike, EmptyPatternOrEmptyValueMatches) {
  EXPECT_EQ(CompareNLSPattern(reinterpret_cast<const std::uint8_t*>("abc"), 3, nullptr, 0, 0, ' ', nullptr), 0);
  EXPECT_EQ(CompareNLSPattern(nullptr, 0, reinterpret_cast<const std::uint8_t*>("xyz"), 3, 0, ' ', nullptr), 0);
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan();
  plan.Like(kVarText, pool.Utf8Char("xyz"));
  EXPECT_EQ(Evaluate(plan, pool, Record(32, ' ').Varying(8, "")), 0) << "unlike the plain matcher";
}

TEST(LocaleSubstrings, PositionsCountCharacters) {
  struct Case {
    std::string value;
    int start, length;
    std::string literal;
    std::int32_t status;
  };
  // "äbc": 'b' is the second character but the third byte.
  for (const Case& c : {Case{"\xC3\xA4" "bc", 1, 1, "b", 0}, Case{"\xC3\xA4" "bc", 0, 1, "\xC3\xA4", 0},
                        Case{"\xC3\xA4" "bc", 2, 1, "b", 1}}) {
    PoolBuilder pool;
    PlanBuilder plan = LocalePlan();
    plan.Substring(kVarText, c.start, op::kEQ, pool.Utf8Char(c.literal)).LeftLiteralLength(static_cast<std::int16_t>(c.length));
    EXPECT_EQ(Evaluate(plan, pool, Record(32, ' ').Varying(8, c.value)), c.status) << c.start;
  }
}

TEST(LocaleSubstrings, StartAtTheEndComparesASingleBlank) {
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan();
  plan.Substring(kVarText, 3, op::kEQ, pool.Utf8Char(" ")).LeftLiteralLength(1);
  EXPECT_EQ(Evaluate(plan, pool, Record(32, '#').Varying(8, "\xC3\xA4" "bc")), 0);
}

TEST(LocaleSearch, FindsMultiByteTextAndDeliversTheFlag) {
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan();
  plan.StringSearch(kVarText, pool.Utf8Char("\xC3\xB6l"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  FilterElement& search = built.element(0);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Varying(8, "K\xC3\xB6ln").bytes().data()), 0);
  EXPECT_EQ(search.leftResult, 1);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Varying(8, "Koln").bytes().data()), 207);
  EXPECT_EQ(search.leftResult, 0);
}

TEST(LocaleVarying, PrefixOutOfRangeIsAnError) {
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan();
  plan.Like(kVarText, pool.Utf8Char("a*"));
  plan.Compare(kVarText, op::kEQ, pool.Utf8Char("a"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  const Record record = Record(32, 'a').At(8, std::uint16_t{300});
  EXPECT_EQ(built.element(0).routine(built.element(0), record.bytes().data()), 58);
  EXPECT_EQ(built.element(1).routine(built.element(1), record.bytes().data()), 1);
}

TEST(LocaleFailures, CollationFailureGives1022AndKeepsTheServiceStatus) {
  // UTF-8 data without a locale set up: every national-language call fails.
  PoolBuilder pool;
  PlanBuilder plan("NLS");
  plan.Flags(plan_flag::kUtf8Data);
  plan.Compare(kText, op::kEQ, pool.Utf8Char("abc", 8));
  plan.Like(kText, pool.Utf8Char("a*"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(built.filter().locale, nullptr);
  const Record record = Record(32, ' ').Text(0, "abc");
  EXPECT_EQ(built.element(0).routine(built.element(0), record.bytes().data()), 1);
  EXPECT_EQ(built.element(0).conditionCode, nls_status::kBadArgument);
  EXPECT_EQ(built.element(1).routine(built.element(1), record.bytes().data()), 1022);
}

}  // namespace
}  // namespace vexfilt
