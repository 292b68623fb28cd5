// A UTF-8 character cut off by the end of its column or record counts as one character, and the
// locale-aware routines never read past the operand that holds it. Each record here ends where a readable
// page ends, so that a read past it faults.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/status.h"
#include "filter_fixture.h"
#include "guarded_bytes.h"
#include "plan/plan_builder.h"
#include "record.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using plan::SearchList;
using testing::BuiltFilter;
using testing::GuardedBytes;
using testing::Record;

constexpr std::uint16_t kLocalePlan = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;
const Column kText = Column::Utf8Char("TXT", 0, 8);

PlanBuilder LocalePlan(std::int32_t recordLength) {
  PlanBuilder plan("NLS");
  plan.Flags(kLocalePlan).RecordLength(recordLength);
  return plan;
}

// The verdict on an 8-byte record "abcdefg" followed by the lead byte of a 2-byte character.
std::int32_t VerdictOnCutRecord(const PlanBuilder& plan, const PoolBuilder& pool) {
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  GuardedBytes record(Record(8).Text(0, "abcdefg\xC3").bytes());
  return built.status() == 0 ? FLT1_FilterRecord(built.handle(), 0, record.data()) : -1;
}

TEST(CutCharacters, PatternsStopAtTheEndOfTheColumn) {
  for (const char* pattern : {"*x", "???????x", "*\xC3\xA9", "abcdefg?"}) {
    PoolBuilder pool;
    PlanBuilder plan = LocalePlan(8);
    plan.Like(kText, pool.Utf8Char(pattern));
    const bool matches = std::string(pattern) == "abcdefg?";
    EXPECT_EQ(VerdictOnCutRecord(plan, pool) == 0, matches) << pattern << ": the cut byte is one character";
  }
}

TEST(CutCharacters, SubstringsCountTheCutByteAsOneCharacter) {
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan(8);
  plan.Substring(kText, 7, op::kEQ, pool.Utf8Char("a")).LeftLiteralLength(1);
  EXPECT_NE(VerdictOnCutRecord(plan, pool), 0);
  PoolBuilder same;
  PlanBuilder eighth = LocalePlan(8);
  eighth.Substring(kText, 7, op::kEQ, same.Utf8Char("\xC3")).LeftLiteralLength(1);
  EXPECT_EQ(VerdictOnCutRecord(eighth, same), 0) << "the eighth character is the cut byte itself";
}

TEST(CutCharacters, SearchPrefixIgnoresTheBytesAfterItsColumn) {
  // The key column's last byte is a cut character; the byte after it, in the next column, would complete it.
  for (const char next : {'\xA9', ' '}) {
    PoolBuilder pool;
    PlanBuilder plan = LocalePlan(8);
    plan.Search(Column::Utf8Char("K", 4, 3), pool.Search(SearchList::Of({"ab\xC3"}, 0, plan::search::kLocale | plan::search::kPrefix)));
    plan.Always();
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    FLT1_BeginSample(built.handle());
    GuardedBytes record(Record(8, ' ').Text(4, "ab\xC3").At(7, next).bytes());
    FLT1_FilterRecord(built.handle(), 0, record.data());
    std::uint32_t result = 0;
    FLT1_EndSample(built.handle(), &result);
    std::uint8_t buffer[8];
    std::uint32_t length = sizeof buffer;
    EXPECT_EQ(FLT1_RetrieveRecord(built.handle(), buffer, &length), status::kNoMoreRecords)
        << "the key matched whatever byte follows its column: " << int(static_cast<std::uint8_t>(next));
  }
}

TEST(CutCharacters, CutLiteralIsReadWithinItsEntry) {
  PoolBuilder pool;
  PlanBuilder plan = LocalePlan(8);
  plan.Like(kText, pool.Utf8Char("abcdefg\xC3"));
  EXPECT_EQ(VerdictOnCutRecord(plan, pool), 0);
}

}  // namespace
}  // namespace vexfilt
