// The evaluation loop: skips, the status returned, and how many routines a record costs.
#include <gtest/gtest.h>

#include <functional>

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

// A plan of always-holding elements reading record bytes 0, 1, ..., wired by `wire`; the record gives each
// element's status.
struct Walk {
  const char* what;
  int count;
  std::function<void(PlanBuilder&)> wire;
  std::vector<std::uint8_t> record;
  std::int32_t status;
  int calls;
};

TEST(Evaluation, SkipsDecideWhichRoutinesRunAndWhichStatusIsReturned) {
  const Walk cases[] = {
      {"the first element decides, passing", 3, [](PlanBuilder& plan) { plan.At(0).Skips(3, 3); }, {0, 9, 9}, 0, 1},
      {"the first element decides, failing", 3, [](PlanBuilder& plan) { plan.At(0).Skips(3, 3); }, {1, 9, 9}, 1, 1},
      {"a lone element's own status, not folded into 1", 1, [](PlanBuilder&) {}, {207}, 207, 1},
      {"a lone element passing", 1, [](PlanBuilder&) {}, {0}, 0, 1},
      // True lands exactly on the element count.
      {"a true skip past the last element passes", 2, [](PlanBuilder& plan) { plan.At(0).Skips(2, 1); }, {0, 207}, 0,
       1},
      {"the last routine's own status is returned", 2, [](PlanBuilder& plan) { plan.At(0).Skips(2, 1); }, {1, 207},
       207, 2},
      {"a conjunction that holds", 3, [](PlanBuilder& plan) { plan.AllOf(); }, {0, 0, 0}, 0, 3},
      {"a conjunction stops at its first failure", 3, [](PlanBuilder& plan) { plan.AllOf(); }, {0, 58, 0}, 58, 2},
      {"a disjunction stops at its first success", 3, [](PlanBuilder& plan) { plan.AnyOf(); }, {1, 0, 1}, 0, 2},
      {"a disjunction that fails", 3, [](PlanBuilder& plan) { plan.AnyOf(); }, {1, 1, 200}, 200, 3},
      // 2 + 32767 does not fit a 16-bit index.
      {"a long skip from a late element ends evaluation", 3,
       [](PlanBuilder& plan) { plan.At(2).Skips(32767, 32767); }, {0, 0, 1}, 1, 3},
  };
  for (const Walk& c : cases) {
    PlanBuilder plan("EVAL");
    plan.RecordLength(8);
    for (int i = 0; i < c.count; ++i) plan.Always().ColumnOffset(i);
    c.wire(plan);
    BuiltFilter built(plan, PoolBuilder());
    ASSERT_EQ(built.status(), 0) << c.what;
    for (int i = 0; i < c.count; ++i) built.step(i).routine = StatusFromRecord;
    g_calls = 0;
    EXPECT_EQ(built.Evaluate(c.record), c.status) << c.what;
    EXPECT_EQ(g_calls, c.calls) << c.what;
  }
}

TEST(Evaluation, FilterWithoutElementsKeepsEveryRecord) {
  BuiltFilter built(PlanBuilder("EMPTY"), PoolBuilder());
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.filter().elementCount, 0);
  EXPECT_EQ(built.Evaluate({1, 2, 3}), 0);
}

TEST(Evaluation, MissingFilterOrRecordIsRefused) {
  BuiltFilter built(PlanBuilder("EVAL").Always(), PoolBuilder());
  EXPECT_EQ(FLT1_FilterRecord(built.handle(), 0, nullptr), 1);
  EXPECT_EQ(FLT1_FilterRecord(FilterHandle{}, 0, "x"), 1);
}

}  // namespace
}  // namespace vexfilt
