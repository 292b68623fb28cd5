// Building Filters from PlanBuilder plans in tests.
#ifndef VEXFILT_TESTS_FILTER_FIXTURE_H_
#define VEXFILT_TESTS_FILTER_FIXTURE_H_

#include <cstdint>
#include <memory>
#include <string>
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
  BuiltFilter(const plan::PlanBuilder& plan, const plan::PoolBuilder& pool)
      : planBytes_(plan.Build()), poolBytes_(pool.Build()) {
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
  std::int32_t Evaluate(const std::vector<std::uint8_t>& record) const {
    return FLT1_FilterRecord(handle_, 0, record.data());
  }

 private:
  std::vector<std::uint8_t> planBytes_;
  std::vector<std::uint8_t> poolBytes_;
  FilterHandle handle_{};
  std::int32_t status_ = -1;
};

// The same plan bound element by element, as the reference a fused binding must agree with: a Filter
// tracing its table keeps every cell's traced routine, and so walks every element the plan visits.
// `table` is the plan's table name.
class ElementByElement {
 public:
  ElementByElement(const plan::PlanBuilder& plan, const plan::PoolBuilder& pool, const std::string& table = "RUNS")
      : traceFilter_("VEX_TRACEFILTER", table) {
    ForgetTraceFilterSetting();
    VEXH_SetTraceLevel(nullptr, 0x01);
    built_ = std::make_unique<BuiltFilter>(plan, pool);
    VEXH_ResetTraceLevels();
    ForgetTraceFilterSetting();
  }
  const BuiltFilter& built() const { return *built_; }

 private:
  CapturedTrace trace_;
  ScopedEnv traceFilter_;
  std::unique_ptr<BuiltFilter> built_;
};

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_FILTER_FIXTURE_H_
