// What creation refuses before it builds anything: arguments, versions, lengths and skips, each with its
// status and message.
#include <gtest/gtest.h>

#include <string>

#include "core/memory.h"
#include "filter_fixture.h"
#include "test_support.h"

namespace vexfilt {
namespace {

using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;

PlanBuilder PlanOf(int count) {
  PlanBuilder plan("CHECKS");
  for (int i = 0; i < count; ++i) plan.Always();
  return plan;
}

struct Refusal {
  const char* name;
  PlanBuilder plan;
  PoolBuilder pool;
  std::int32_t status;
  std::string message;  // empty: no message at all
};

class CreationRefusals : public ::testing::TestWithParam<int> {};

std::vector<Refusal> Refusals() {
  std::vector<Refusal> cases;
  cases.push_back({"PlanVersionAboveNewest", PlanOf(1).Version(21845), PoolBuilder(), 6,
                   "Unsupported version of FilterPlan or LiteralPool - 21845/131"});
  cases.push_back({"PlanVersionBelowOldest", PlanOf(1).Version(129), PoolBuilder(), 6,
                   "Unsupported version of FilterPlan or LiteralPool - 129/131"});
  cases.push_back({"PoolVersionAboveNewest", PlanOf(1), PoolBuilder().Version(21845), 6,
                   "Unsupported version of FilterPlan or LiteralPool - 131/21845"});
  cases.push_back({"Version130WithLongerElements", PlanOf(1).Version(130).ElementLength(200), PoolBuilder(), 6,
                   "Filter Element Length Error- 200/192"});
  cases.push_back({"Version130RecordsBeyondPlanLength",
                   PlanOf(2).Version(130).BufferLength(sizeof(VxpPlanHeader) + sizeof(VxpElement) + 100), PoolBuilder(),
                   6, "Filter Element Length Error- 192/192"});
  cases.push_back({"TotalLengthBelowMinimum", PlanOf(3).ElementLength(200).TotalLength(623).BufferLength(623),
                   PoolBuilder(), 6, "Filter version 131 Package/Element Length Error- 623 = 623 < 624 200/192 "});
  cases.push_back({"TotalLengthNotTheLengthGiven", PlanOf(3).ElementLength(200).TotalLength(640), PoolBuilder(), 6,
                   "Filter version 131 Package/Element Length Error- 632 = 640 < 624 200/192 "});
  cases.push_back({"ElementLengthBelowRecordSize", PlanOf(3).ElementLength(100).TotalLength(424).BufferLength(424), PoolBuilder(), 6,
                   "Filter version 131 Package/Element Length Error- 424 = 424 < 424 100/192 "});
  cases.push_back({"NegativeElementCount", PlanOf(0).ElementCount(-1), PoolBuilder(), 6,
                   "Filter version 131 Package/Element Length Error- 32 = 32 < -160 192/192 "});
  cases.push_back({"PlanShorterThanItsHeader", PlanOf(0).BufferLength(20), PoolBuilder(), 6,
                   "FilterPlan or LiteralPool shorter than its header - 20/16"});
  cases.push_back({"PoolShorterThanItsHeader", PlanOf(0), PoolBuilder().BufferLength(8), 6,
                   "FilterPlan or LiteralPool shorter than its header - 32/8"});
  return cases;
}

TEST_P(CreationRefusals, StatusAndMessage) {
  Refusal refusal = Refusals()[static_cast<std::size_t>(GetParam())];
  SCOPED_TRACE(refusal.name);
  CapturedTrace trace;
  const long blocksBefore = OutstandingBlocks();
  BuiltFilter built(refusal.plan, refusal.pool);
  EXPECT_EQ(built.status(), refusal.status);
  EXPECT_EQ(built.handle().filter, nullptr) << "the handle is not written on failure";
  EXPECT_EQ(trace.lines(), std::vector<std::string>{refusal.message}) << "printed whatever the trace level";
  EXPECT_EQ(OutstandingBlocks(), blocksBefore);
}

INSTANTIATE_TEST_SUITE_P(Plans, CreationRefusals, ::testing::Range(0, static_cast<int>(Refusals().size())),
                         [](const auto& info) { return std::string(Refusals()[info.param].name); });

TEST(CreationAccepts, VersionLimitsAndLongerElements) {
  CapturedTrace trace;
  EXPECT_EQ(BuiltFilter(PlanOf(1).Version(21844), PoolBuilder().Version(21844)).status(), 0);
  EXPECT_EQ(BuiltFilter(PlanOf(1).Version(130), PoolBuilder().Version(130)).status(), 0);
  // Three records 200 bytes apart need 624 bytes; the last one only its first 192.
  EXPECT_EQ(BuiltFilter(PlanOf(3).ElementLength(200).TotalLength(624).BufferLength(624), PoolBuilder()).status(), 0);
  EXPECT_TRUE(trace.lines().empty());
}

TEST(CreationArguments, MissingOrEmptyArgumentsGiveOneWithoutMessage) {
  CapturedTrace trace;
  const auto plan = PlanOf(1).Build();
  const auto pool = PoolBuilder().Build();
  const auto planLength = static_cast<std::int16_t>(plan.size());
  const auto poolLength = static_cast<std::int16_t>(pool.size());
  FilterHandle handle{};
  EXPECT_EQ(FLT1_CreateFilter(0, nullptr, planLength, pool.data(), poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), 0, pool.data(), poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), -5, pool.data(), poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), planLength, nullptr, poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), planLength, pool.data(), 0, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), planLength, pool.data(), poolLength, nullptr), 1);
  EXPECT_EQ(handle.filter, nullptr);
  EXPECT_TRUE(trace.lines().empty());
}

TEST(CreationSkips, SkipThatDoesNotMoveForwardIsRefused) {
  CapturedTrace trace;
  PlanBuilder plan = PlanOf(2);
  plan.At(1).Skips(1, 0);
  BuiltFilter built(plan, PoolBuilder());
  EXPECT_EQ(built.status(), 6);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0].rfind("Filter Element 1 invalid falseSkip 0 - Table CHECKS     0x", 0), 0u)
      << trace.lines()[0];
}

TEST(CreationOwnership, PlanCannotClaimThatTheLibraryOwnsAnOperand) {
  // The owned-literal bit marks memory that modification allocated; taken from a plan, it would make
  // destruction free a pointer into the Filter's own block.
  CapturedTrace trace;
  const long blocksBefore = OutstandingBlocks();
  PoolBuilder pool;
  PlanBuilder plan("CHECKS");
  plan.Compare(plan::Column::Long("A", 0), op::kEQ, pool.Long(5)).RightFlags(0x1000).LeftFlags(0x1004);
  plan.Always().Skips(0, 1);  // refused after the first element bound its literal
  EXPECT_EQ(BuiltFilter(plan, pool).status(), 6);
  plan.At(1).Skips(1, 1);
  {
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
  }
  EXPECT_EQ(OutstandingBlocks(), blocksBefore);
}

TEST(CreationMemory, BlockThatCannotBeAllocatedGivesSeven) {
  CapturedTrace trace;
  FailAllocationAfter(0);
  BuiltFilter built(PlanOf(1), PoolBuilder());
  FailAllocationAfter(-1);
  EXPECT_EQ(built.status(), 7);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0].rfind("Filter allocation of ", 0), 0u);
}

}  // namespace
}  // namespace vexfilt
