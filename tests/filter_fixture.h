// Building Filters from PlanBuilder plans in tests.
#ifndef VEXFILT_TESTS_FILTER_FIXTURE_H_
#define VEXFILT_TESTS_FILTER_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/filter.h"
#include "filter/configuration.h"
#include "plan/plan_builder.h"
#include "test_support.h"
#include "vexfilt.h"
#include "vexhost.h"

namespace vexfilt::testing {

// A Filter built from a plan and pool, destroyed with the object.
class BuiltFilter {
 public:
  BuiltFilter(const plan::PlanBuilder& plan, const plan::PoolBuilder& pool) : BuiltFilter(plan.Build(), pool.Build()) {}
  BuiltFilter(std::vector<std::uint8_t> plan, std::vector<std::uint8_t> pool)
      : planBytes_(std::move(plan)), poolBytes_(std::move(pool)) {
    status_ = FLT1_CreateFilter(0, planBytes_.data(), static_cast<std::int16_t>(planBytes_.size()), poolBytes_.data(),
                                static_cast<std::int16_t>(poolBytes_.size()), &handle_);
  }
  ~BuiltFilter() {
    if (status_ == 0) FLT1_DestroyFilter(handle_);
  }
  BuiltFilter(const BuiltFilter&) = delete;
  BuiltFilter& operator=(const BuiltFilter&) = delete;

  std::int32_t status() const { return status_; }
  FilterHandle handle() const { return handle_; }
  Filter& filter() const { return *FilterOf(handle_); }
  FilterElement& element(int i) const { return filter().elements[i]; }
  Step& step(int i) const { return filter().steps[i]; }
  std::int32_t Evaluate(const std::vector<std::uint8_t>& record) const {
    return FLT1_FilterRecord(handle_, 0, record.data());
  }

 private:
  std::vector<std::uint8_t> planBytes_;
  std::vector<std::uint8_t> poolBytes_;
  FilterHandle handle_{};
  std::int32_t status_ = -1;
};

// The Filter of the plan `write` makes in a PlanBuilder of `table`, with its pool.
template <typename Write>
std::unique_ptr<BuiltFilter> MakeFilter(Write&& write, std::string_view table = "TABLE") {
  plan::PoolBuilder pool;
  plan::PlanBuilder plan(table);
  write(plan, pool);
  return std::make_unique<BuiltFilter>(plan, pool);
}

// A change element on `value` keyed by `key` (its scratch entry first, then its control block), which hands
// the change to the element after it.
inline plan::Element AddChange(plan::PlanBuilder& plan, plan::PoolBuilder& pool, const plan::Column& value,
                               const plan::Column& key, std::uint32_t options = 0) {
  const plan::ChangeControl control{.options = options, .keys = {key}};
  const plan::Literal scratch = pool.ChangeScratch(control);
  return plan.Change(value, scratch, pool.Change(control));
}

// The same plan bound element by element, as the reference a fused binding must agree with: a Filter
// tracing its table keeps every cell's traced routine, and so walks every element the plan visits. Made
// before a test's own trace sink, which its quiet creation would replace.
class ElementByElement {
 public:
  ElementByElement(const plan::PlanBuilder& plan, const plan::PoolBuilder& pool) {
    plan::PlanBuilder traced = plan;
    traced.TableName("WALKED");
    CapturedTrace quiet;
    ForgetTraceFilterSetting();
    {
      ScopedEnv named("VEX_TRACEFILTER", "WALKED");
      VEXH_SetTraceLevel(nullptr, 0x01);
      built_ = std::make_unique<BuiltFilter>(traced, pool);
      VEXH_ResetTraceLevels();
    }
    ForgetTraceFilterSetting();
  }
  const BuiltFilter& built() const { return *built_; }

 private:
  std::unique_ptr<BuiltFilter> built_;
};

// `built` answers every record as the same plan walked element by element does; returns how many records pass.
inline int ExpectSameAsTheWalk(const plan::PlanBuilder& plan, const plan::PoolBuilder& pool, const BuiltFilter& built,
                               const std::vector<std::vector<std::uint8_t>>& records) {
  const ElementByElement walked(plan, pool);
  EXPECT_EQ(walked.built().status(), 0);
  if (walked.built().status() != 0) return 0;
  for (int i = 0; i < walked.built().filter().elementCount; ++i) {
    EXPECT_EQ(walked.built().step(i).members, 1) << "the reference fused element " << i;
  }
  int passed = 0;
  for (const auto& record : records) {
    const std::int32_t expected = walked.built().Evaluate(record);
    EXPECT_EQ(built.Evaluate(record), expected) << ::testing::PrintToString(record);
    passed += expected == 0;
  }
  return passed;
}

// What creation says of a plan: "" when it accepts it, else its status and each line it wrote, up to
// " - Table" (the table name and the address after it differ from run to run).
inline std::string CreationRefusal(const plan::PlanBuilder& plan, const plan::PoolBuilder& pool) {
  CapturedTrace trace;
  const BuiltFilter built(plan, pool);
  if (built.status() == 0) return "";
  std::string said = std::to_string(built.status());
  const char* separator = " ";
  for (const std::string& line : trace.lines()) {
    said += separator + line.substr(0, line.find(" - Table"));
    separator = "\n";
  }
  return said;
}

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_FILTER_FIXTURE_H_
