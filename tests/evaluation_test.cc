// The evaluation loop: skips, the status returned, and how many routines a record costs.
#include <gtest/gtest.h>

#include "filter_fixture.h"

namespace vexfilt {
namespace {

using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;

// Stands in for a comparison: its status is the record's byte at the element's column offset.
int g_calls = 0;
std::int32_t StatusFromRecord(FilterElement& element, const std::uint8_t* record) {
  ++g_calls;
  return record[element.columnOffset];
}

// A plan of `count` always-holding elements reading record bytes 0, 1, ...; the caller wires the skips.
void UseRecordStatuses(BuiltFilter& built) {
  ASSERT_EQ(built.status(), 0);
  for (int i = 0; i < built.filter().elementCount; ++i) built.element(i).routine = StatusFromRecord;
  g_calls = 0;
}

PlanBuilder PlanOf(int count) {
  PlanBuilder plan("EVAL");
  plan.RecordLength(8);
  for (int i = 0; i < count; ++i) plan.Always().ColumnOffset(i);
  return plan;
}

TEST(Evaluation, FirstElementThatDecidesIsTheOnlyOneCalled) {
  PlanBuilder plan = PlanOf(3);
  plan.At(0).Skips(3, 3);
  BuiltFilter built(plan, PoolBuilder());
  UseRecordStatuses(built);
  for (int record = 0; record < 10; ++record) built.Evaluate({static_cast<std::uint8_t>(record % 2), 9, 9});
  EXPECT_EQ(g_calls, 10);
}

TEST(Evaluation, LoneElementReturnsItsRoutinesOwnStatus) {
  BuiltFilter built(PlanOf(1), PoolBuilder());
  UseRecordStatuses(built);
  EXPECT_EQ(built.Evaluate({207}), 207) << "not folded into 1";
  EXPECT_EQ(built.Evaluate({0}), 0);
  EXPECT_EQ(g_calls, 2);
}

TEST(Evaluation, SkipOntoTheEndReturnsTheDecidingStatus) {
  PlanBuilder plan = PlanOf(2);
  plan.At(0).Skips(2, 1);  // true: lands exactly on the element count
  plan.At(1).Skips(1, 1);
  BuiltFilter built(plan, PoolBuilder());
  UseRecordStatuses(built);
  EXPECT_EQ(built.Evaluate({0, 207}), 0) << "a true skip past the last element passes the record";
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(built.Evaluate({1, 207}), 207) << "the last routine's own status is returned, not just 1";
  EXPECT_EQ(g_calls, 3);
}

TEST(Evaluation, ConjunctionStopsAtTheFirstFailure) {
  PlanBuilder plan = PlanOf(3);
  plan.AllOf();
  BuiltFilter built(plan, PoolBuilder());
  UseRecordStatuses(built);
  EXPECT_EQ(built.Evaluate({0, 0, 0}), 0);
  EXPECT_EQ(g_calls, 3);
  g_calls = 0;
  EXPECT_EQ(built.Evaluate({0, 58, 0}), 58);
  EXPECT_EQ(g_calls, 2);
}

TEST(Evaluation, DisjunctionStopsAtTheFirstSuccess) {
  PlanBuilder plan = PlanOf(3);
  plan.AnyOf();
  BuiltFilter built(plan, PoolBuilder());
  UseRecordStatuses(built);
  EXPECT_EQ(built.Evaluate({1, 0, 1}), 0);
  EXPECT_EQ(g_calls, 2);
  g_calls = 0;
  EXPECT_EQ(built.Evaluate({1, 1, 200}), 200);
  EXPECT_EQ(g_calls, 3);
}

TEST(Evaluation, LongSkipFromALateElementEndsEvaluation) {
  PlanBuilder plan = PlanOf(3);
  plan.At(2).Skips(32767, 32767);  // 2 + 32767 does not fit a 16-bit index
  BuiltFilter built(plan, PoolBuilder());
  UseRecordStatuses(built);
  EXPECT_EQ(built.Evaluate({0, 0, 1}), 1);
  EXPECT_EQ(g_calls, 3);
}

TEST(Evaluation, FilterWithoutElementsKeepsEveryRecord) {
  PlanBuilder plan("EMPTY");
  BuiltFilter built(plan, PoolBuilder());
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.filter().elementCount, 0);
  EXPECT_EQ(built.Evaluate({1, 2, 3}), 0);
}

TEST(Evaluation, MissingFilterOrRecordIsRefused) {
  BuiltFilter built(PlanOf(1), PoolBuilder());
  EXPECT_EQ(FLT1_FilterRecord(built.handle(), 0, nullptr), 1);
  EXPECT_EQ(FLT1_FilterRecord(FilterHandle{}, 0, "x"), 1);
}

}  // namespace
}  // namespace vexfilt
