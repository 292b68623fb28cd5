// A Filter's life: its handle, its copies of the caller's buffers, its locale, and its release.
#include <gtest/gtest.h>

#include <cstring>

#include "core/bytes.h"
#include "core/memory.h"
#include "filter/sample.h"
#include "filter_fixture.h"
#include "host/nls.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;

constexpr std::uint16_t kLocalePlan = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;

TEST(Handles, DestroyingNoFilterDoesNothing) {
  EXPECT_EQ(FLT1_DestroyFilter(FilterHandle{}), 0);
  EXPECT_EQ(FLT1_BeginSample(FilterHandle{}), 0);
}

TEST(FilterBlock, WorksOnCopiesOfTheCallersBuffersAndReleasesTheLiteralsItOwns) {
  const long before = OutstandingBlocks();
  PoolBuilder pool;
  PlanBuilder plan("COPIES");
  plan.Always().RightLiteral(pool.Long(90));
  plan.Always();
  auto planBytes = plan.Build();
  auto poolBytes = pool.Build();
  FilterHandle handle{};
  ASSERT_EQ(FLT1_CreateFilter(0, planBytes.data(), static_cast<std::int16_t>(planBytes.size()), poolBytes.data(),
                              static_cast<std::int16_t>(poolBytes.size()), &handle),
            0);
  Filter& filter = *FilterOf(handle);
  std::memset(planBytes.data(), 0xEE, planBytes.size());
  std::memset(poolBytes.data(), 0xEE, poolBytes.size());
  EXPECT_EQ(std::memcmp(filter.planCopy->tableName, "COPIES    ", 10), 0);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(filter.poolCopy) % 8, 0u) << "doubles in the pool stay aligned";
  EXPECT_EQ(filter.elements[0].filter, &filter);
  // The right operand is bound to the data of its entry in the Filter's pool copy.
  EXPECT_EQ(LoadUnaligned<std::int32_t>(filter.elements[0].rightData), 90);
  EXPECT_GE(static_cast<std::uint8_t*>(filter.elements[0].rightData), filter.poolCopy);
  // As predicate modification leaves them: replaced literals marked as the Filter's own.
  filter.elements[0].rightData = AllocateBlock(8, "test", __LINE__);
  filter.elements[0].rightFlags |= rep::kOwnedLiteral;
  filter.elements[1].leftData = AllocateBlock(4, "test", __LINE__);
  filter.elements[1].leftFlags |= rep::kOwnedLiteral;
  EXPECT_EQ(OutstandingBlocks(), before + 3);
  EXPECT_EQ(FLT1_DestroyFilter(handle), 0);
  EXPECT_EQ(OutstandingBlocks(), before);
}

TEST(FilterLocale, SetUpUnderBothPlanFlagsWhereLanguageIdZeroIsEnglishUnitedStates) {
  BuiltFilter none(PlanBuilder("LOCALE").Flags(plan_flag::kUtf8Data).Always(), PoolBuilder());
  ASSERT_EQ(none.status(), 0);
  EXPECT_EQ(none.filter().locale, nullptr);
  EXPECT_EQ(none.filter().languageId, 0u);
  EXPECT_EQ(PoolHeaderOf(none.filter()).languageId, 0u);

  CapturedTrace trace;
  VEXH_SetTraceLevel("FLT1_CreateFilter", 0x11);
  BuiltFilter built(PlanBuilder("LOCALE").Flags(kLocalePlan).Always(), PoolBuilder().LanguageId(0));
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(PoolHeaderOf(built.filter()).languageId, kDefaultLanguageId);
  EXPECT_EQ(built.filter().languageId, kDefaultLanguageId);
  EXPECT_NE(built.filter().locale, nullptr);
  EXPECT_TRUE(built.filter().filterFlags & filter_flag::kLocaleSet);
  char expected[96];
  std::snprintf(expected, sizeof expected, "Table LOCALE     LCL1 locale %p LanguageId 0x03480001 set.",
                static_cast<void*>(built.filter().locale));
  EXPECT_TRUE(trace.Contains(expected));
}

TEST(FilterLocale, UnknownLanguageOrTerritoryGives312AndReleasesEverything) {
  for (const auto& [id, error] : {std::pair{0x03480063u, 39}, std::pair{0x03E70001u, 33}}) {
    const long before = OutstandingBlocks();
    const std::string said =
        testing::CreationRefusal(PlanBuilder("LOCALE").Flags(kLocalePlan).Always(), PoolBuilder().LanguageId(id));
    EXPECT_EQ(OutstandingBlocks(), before);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "312 Invalid Language. LCL1 error %d LanguageId 0x%.08X Table LOCALE     0x",
                  error, id);
    EXPECT_EQ(said.rfind(prefix, 0), 0u) << said;
    EXPECT_NE(said.find(" status 312"), std::string::npos);
    EXPECT_EQ(said.find('\n'), std::string::npos) << "one line";
  }
}

TEST(FilterTrace, PlanAndElementsAreDumpedUnderBits01And10) {
  CapturedTrace trace;
  BuiltFilter quiet(PlanBuilder("DUMPS").Always(), PoolBuilder());
  EXPECT_TRUE(trace.lines().empty());
  VEXH_SetTraceLevel("FLT1_CreateFilter", 0x11);
  BuiltFilter traced(PlanBuilder("DUMPS").Always(), PoolBuilder());
  ASSERT_EQ(traced.status(), 0);
  const auto& lines = trace.lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "Filter Plan:");
  EXPECT_EQ(lines[1].rfind("00000000  50 4C 41 4E 83 00", 0), 0u) << lines[1];  // "PLAN", version 131
  EXPECT_TRUE(trace.Contains("Literal Pool:"));
  EXPECT_TRUE(trace.Contains("Filter Element 0:"));
  // 224 plan bytes, 16 pool bytes and 192 element bytes, 16 to a line.
  EXPECT_EQ(lines.size(), 3u + 14 + 1 + 12);
}

TimeValue g_now{};
int g_clockReads = 0;
void SettableClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  ++g_clockReads;
  *seconds = g_now.seconds;
  *nanoseconds = g_now.nanoseconds;
}

TEST(Samples, OnlyAFilterWithAChangeFunctionStampsEachSampleFromItsCreation) {
  EXPECT_EQ(SampleStampOf({10, 0}, {11, 999999999}), (1u << 8) + 99);
  VEXH_SetClock(SettableClock, nullptr);
  g_now = {10, 700000000};
  BuiltFilter plain(PlanBuilder("SAMPLE").Always(), PoolBuilder());
  const auto changes = testing::MakeFilter([](auto& plan, auto& pool) {
    testing::AddChange(plan, pool, Column::Long("V", 0), Column::Char("KEY", 8, 8));
    plan.Always();
  });
  ASSERT_EQ(plain.status(), 0);
  ASSERT_EQ(changes->status(), 0);

  g_clockReads = 0;
  std::uint32_t result = 0xFFFF;
  EXPECT_EQ(FLT1_BeginSample(plain.handle()), 0);
  EXPECT_EQ(FLT1_EndSample(plain.handle(), &result), 0);
  EXPECT_EQ(FLT1_EndSample(plain.handle(), nullptr), 0);
  EXPECT_EQ(g_clockReads, 0);
  EXPECT_EQ(plain.filter().sampleStamp, 0u);
  EXPECT_EQ(result, 0u);

  g_now = {13, 200000000};
  EXPECT_EQ(FLT1_BeginSample(changes->handle()), 0);
  EXPECT_EQ(changes->filter().sampleStamp, (2u << 8) + 50) << "a hundredth borrowed from a second";
  g_now = {10, 700000000};
  EXPECT_EQ(FLT1_BeginSample(changes->handle()), 0);
  EXPECT_EQ(changes->filter().sampleStamp, 0u);
  VEXH_SetClock(nullptr, nullptr);
}

TEST(LanguageChange, AppliedAtTheNextBeginOfASampleTheOldOneKeptUntilItWorks) {
  CapturedTrace trace;
  BuiltFilter built(PlanBuilder("LANG").Flags(kLocalePlan).Always(), PoolBuilder());
  ASSERT_EQ(built.status(), 0);
  // The pool copy's language id is what each begin of a sample compares with the one in force.
  const auto request = [&built](std::uint32_t id) { PoolHeaderOf(built.filter()).languageId = id; };
  request(0x03480063);
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 312);
  EXPECT_EQ(built.filter().languageId, kDefaultLanguageId);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0].rfind("Invalid Language. LCL1 error 39 LanguageId 0x03480001->0x03480063 Table LANG", 0),
            0u);
  FailNextLocaleCall(77);
  request(0x01140002);  // de_DE
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 1022);
  trace.Clear();
  VEXH_SetTraceLevel("FLT1_BeginSample", 0x11);
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 0) << "the next begin tries again";
  EXPECT_EQ(built.filter().languageId, 0x01140002u);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_NE(trace.lines()[0].find("LanguageId changed 0x03480001->0x01140002"), std::string::npos);
}

}  // namespace
}  // namespace vexfilt
