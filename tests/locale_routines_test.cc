// Locale-aware routines on UTF-8 data: collation order, characters as units of patterns, characters cut off
// by the end of their column or record, and national-language failures. tests/data/predicates/routines.cases holds
// what the predicate language writes exactly: substrings of UTF-8 columns.
#include <gtest/gtest.h>

#include "core/status.h"
#include "filter_fixture.h"
#include "guarded_bytes.h"
#include "host/nls.h"
#include "record.h"
#include "routines/nls_pattern.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::GuardedBytes;
using testing::Record;

constexpr std::uint16_t kLocalePlan = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;
const Column kText = Column::Utf8Char("TXT", 0, 8);
const Column kVarText = Column::Utf8VarChar("VTX", 8, 14);

// The verdict of the locale-aware plan `write` makes on `record`, which ends where a readable page ends, so
// that a read past it faults.
template <typename Write>
std::int32_t Evaluate(Write&& write, const Record& record) {
  const auto built =
      testing::MakeFilter([&](PlanBuilder& plan, PoolBuilder& pool) { write(plan.Flags(kLocalePlan), pool); });
  EXPECT_EQ(built->status(), 0);
  const GuardedBytes bytes(record.bytes());
  return built->status() == 0 ? FLT1_FilterRecord(built->handle(), 0, bytes.data()) : -1;
}

TEST(LocaleCollation, OrderIsTheLocalesNotTheBytes) {
  const struct {
    std::int32_t op;
    std::string value, literal;
    const char* why;
  } cases[] = {{op::kLT, "a", "B", "bytes would put 'a' after 'B'"},
               {op::kLT, "\xC3\xA4", "b", "bytes would put 'ä' after 'b'"},
               {op::kEQ, "abc", "abc", ""},
               {op::kNE, "abc", "ABC", "case still counts"}};
  for (const auto& c : cases) {
    const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.Compare(kText, c.op, pool.Utf8Char(c.literal, 8));
    };
    EXPECT_EQ(Evaluate(write, Record(32, ' ').Text(0, c.value)), 0) << c.why;
  }
}

TEST(LocaleLike, QuestionMarkConsumesOneWholeCharacterAndEmptyMatches) {
  const struct {
    std::string value, pattern;
    std::int32_t status;
  } cases[] = {{"\xC3\xA4" "b", "?b*", 0}, {"\xC3\xA4" "b", "??b*", 207}, {"x\xE2\x82\xAC" "y", "x?y*", 0},
               {"abc", "a*c*", 0},        {"abc", "a*d*", 207}};
  for (const auto& c : cases) {
    const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(kText, pool.Utf8Char(c.pattern)); };
    EXPECT_EQ(Evaluate(write, Record(32, ' ').Text(0, c.value)), c.status) << c.value << " LIKE " << c.pattern;
  }
  // Unlike the plain matcher's, an empty pattern or an empty value matches.
  EXPECT_EQ(CompareNLSPattern(reinterpret_cast<const std::uint8_t*>("abc"), 3, nullptr, 0, 0, ' ', nullptr), 0);
  EXPECT_EQ(CompareNLSPattern(nullptr, 0, reinterpret_cast<const std::uint8_t*>("xyz"), 3, 0, ' ', nullptr), 0);
  const auto empty = [](PlanBuilder& plan, PoolBuilder& pool) { plan.Like(kVarText, pool.Utf8Char("xyz")); };
  EXPECT_EQ(Evaluate(empty, Record(32, ' ').Varying(8, "")), 0);
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
  const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    plan.Flags(plan_flag::kUtf8Data);
    plan.Compare(kText, op::kEQ, pool.Utf8Char("abc", 8));
    plan.Like(kText, pool.Utf8Char("a*"));
  });
  ASSERT_EQ(built->status(), 0);
  ASSERT_EQ(built->filter().locale, nullptr);
  const Record record = Record(32, ' ').Text(0, "abc");
  EXPECT_EQ(built->element(0).routine(built->element(0), record.bytes().data()), 1);
  EXPECT_EQ(built->element(0).conditionCode, nls_status::kBadArgument);
  EXPECT_EQ(built->element(1).routine(built->element(1), record.bytes().data()), 1022);
}

// A UTF-8 character cut off by the end of its column or record counts as one character, and the routines
// never read past the operand that holds it. The record is "abcdefg" and the lead byte of a 2-byte character.
TEST(CutCharacters, PatternsLiteralsAndSubstringsStopAtTheEndOfTheColumn) {
  const Record cut = Record(8).Text(0, "abcdefg\xC3");
  for (const std::string pattern : {"*x", "???????x", "*\xC3\xA9", "abcdefg?", "abcdefg\xC3"}) {
    const auto like = [&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.RecordLength(8).Like(kText, pool.Utf8Char(pattern));
    };
    const bool matches = pattern == "abcdefg?" || pattern == "abcdefg\xC3";
    EXPECT_EQ(Evaluate(like, cut) == 0, matches) << pattern << ": the cut byte is one character";
  }
  for (const auto& [literal, holds] : {std::pair<std::string, bool>{"a", false}, {"\xC3", true}}) {
    const auto eighth = [&](PlanBuilder& plan, PoolBuilder& pool) {
      plan.RecordLength(8).Substring(kText, 7, op::kEQ, pool.Utf8Char(literal)).LeftLiteralLength(1);
    };
    EXPECT_EQ(Evaluate(eighth, cut) == 0, holds) << "the eighth character is the cut byte itself";
  }
}

TEST(CutCharacters, SearchPrefixIgnoresTheBytesAfterItsColumn) {
  // The key column's last byte is a cut character; the byte after it, in the next column, would complete it.
  for (const char next : {'\xA9', ' '}) {
    const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
      plan.Flags(kLocalePlan).RecordLength(8);
      plan.Search(Column::Utf8Char("K", 4, 3),
                  pool.Search(plan::SearchList::Of({"ab\xC3"}, 0, plan::search::kLocale | plan::search::kPrefix)));
      plan.Always();
    });
    ASSERT_EQ(built->status(), 0);
    FLT1_BeginSample(built->handle());
    const GuardedBytes record(Record(8, ' ').Text(4, "ab\xC3").At(7, next).bytes());
    FLT1_FilterRecord(built->handle(), 0, record.data());
    std::uint32_t result = 0;
    FLT1_EndSample(built->handle(), &result);
    std::uint8_t buffer[8];
    std::uint32_t length = sizeof buffer;
    EXPECT_EQ(FLT1_RetrieveRecord(built->handle(), buffer, &length), status::kNoMoreRecords)
        << "the key matched whatever byte follows its column: " << int(static_cast<std::uint8_t>(next));
  }
}

}  // namespace
}  // namespace vexfilt
