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

// The verdict on `record` of the locale-aware plan `write` makes.
template <typename Write>
std::int32_t Evaluate(Write&& write, const Record& record, std::uint16_t flags = kLocalePlan) {
  const auto built = testing::MakeFilter([&](PlanBuilder& plan, PoolBuilder& pool) { write(plan.Flags(flags), pool); });
  EXPECT_EQ(built->status(), 0);
  return built->status() == 0 ? built->Evaluate(record.bytes()) : -1;
}

std::int32_t CompareText(std::int32_t op, const std::string& value, const std::string& literal) {
  return Evaluate([&](PlanBuilder& plan, PoolBuilder& pool) { plan.Compare(kText, op, pool.Utf8Char(literal, 8)); },
                  Record(32, ' ').Text(0, value));
}

TEST(LocaleCollation, OrderIsTheLocalesNotTheBytes) {
  EXPECT_EQ(CompareText(op::kLT, "a", "B"), 0) << "bytes would put 'a' after 'B'";
  EXPECT_EQ(CompareText(op::kLT, "\xC3\xA4", "b"), 0) << "bytes would put 'ä' after 'b'";
  EXPECT_EQ(CompareText(op::kEQ, "abc", "abc"), 0);
  EXPECT_EQ(CompareText(op::kNE, "abc", "ABC"), 0) << "case still counts";
}

TEST(LocaleCollation, PlainElementsOfTheSameColumnStillCompareBytes) {
  // No locale-aware data in the plan: the plain slot is used.
  EXPECT_EQ(Evaluate([](PlanBuilder& plan, PoolBuilder& pool) {
              plan.Compare(Column::Char("TXT", 0, 8), op::kLT, pool.Char("B       "));
            }, Record(32, ' ').Text(0, "a"), 0),
            1);
}

TEST(LocaleLike, QuestionMarkConsumesOneWholeCharacter) {
  const struct {
    std::string value, pattern;
    std::int32_t status;
  } cases[] = {{"\xC3\xA4" "b", "?b*", 0}, {"\xC3\xA4" "b", "??b*", 207}, {"x\xE2\x82\xAC" "y", "x?y*", 0},
               {"abc", "a*c*", 0}, {"abc", "a*d*", 207}};
  for (const auto& c : cases) {
    EXPECT_EQ(Evaluate([&](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(kText, pool.Utf8Char(c.pattern)); },
                       Record(32, ' ').Text(0, c.value)),
              c.status)
        << c.value << " LIKE " << c.pattern;
  }
}

TEST(LocaleLike, EmptyPatternOrEmptyValueMatches) {
  EXPECT_EQ(CompareNLSPattern(reinterpret_cast<const std::uint8_t*>("abc"), 3, nullptr, 0, 0, ' ', nullptr), 0);
  EXPECT_EQ(CompareNLSPattern(nullptr, 0, reinterpret_cast<const std::uint8_t*>("xyz"), 3, 0, ' ', nullptr), 0);
  EXPECT_EQ(Evaluate([](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(kVarText, pool.Utf8Char("xyz")); },
                     Record(32, ' ').Varying(8, "")),
            0)
      << "unlike the plain matcher";
}

TEST(LocaleSubstrings, PositionsCountCharacters) {
  const struct {
    std::string value;
    int start, length;
    std::string literal;
    std::int32_t status;
    char fill = ' ';
  } cases[] = {// "äbc": 'b' is the second character but the third byte.
               {"\xC3\xA4" "bc", 1, 1, "b", 0},
               {"\xC3\xA4" "bc", 0, 1, "\xC3\xA4", 0},
               {"\xC3\xA4" "bc", 2, 1, "b", 1},
               // A start at the end compares a single blank.
               {"\xC3\xA4" "bc", 3, 1, " ", 0, '#'}};
  for (const auto& c : cases) {
    const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.Substring(kVarText, c.start, op::kEQ, pool.Utf8Char(c.literal)).LeftLiteralLength(static_cast<std::int16_t>(c.length));
    };
    EXPECT_EQ(Evaluate(write, Record(32, c.fill).Varying(8, c.value)), c.status) << c.start;
  }
}

TEST(LocaleSearch, FindsMultiByteTextAndDeliversTheFlag) {
  const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    plan.Flags(kLocalePlan).StringSearch(kVarText, pool.Utf8Char("\xC3\xB6l"));
  });
  ASSERT_EQ(built->status(), 0);
  FilterElement& search = built->element(0);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Varying(8, "K\xC3\xB6ln").bytes().data()), 0);
  EXPECT_EQ(search.leftResult, 1);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Varying(8, "Koln").bytes().data()), 207);
  EXPECT_EQ(search.leftResult, 0);
}

TEST(LocaleVarying, PrefixOutOfRangeIsAnError) {
  const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    plan.Flags(kLocalePlan).Like(kVarText, pool.Utf8Char("a*"));
    plan.Compare(kVarText, op::kEQ, pool.Utf8Char("a"));
  });
  ASSERT_EQ(built->status(), 0);
  const Record record = Record(32, 'a').At(8, std::uint16_t{300});
  EXPECT_EQ(built->element(0).routine(built->element(0), record.bytes().data()), 58);
  EXPECT_EQ(built->element(1).routine(built->element(1), record.bytes().data()), 1);
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
