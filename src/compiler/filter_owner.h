// A Filter created from a compiled plan through the C interface, destroyed with its owner.
#ifndef VEXFILT_COMPILER_FILTER_OWNER_H_
#define VEXFILT_COMPILER_FILTER_OWNER_H_

#include <cstdint>

#include "predicate.h"
#include "vexfilt.h"

namespace vexfilt::cli {

class FilterOwner {
 public:
  explicit FilterOwner(const CompiledPlan& compiled) {
    status_ = FLT1_CreateFilter(0, compiled.plan.data(), static_cast<std::int16_t>(compiled.plan.size()),
                                compiled.pool.data(), static_cast<std::int16_t>(compiled.pool.size()), &handle_);
  }
  ~FilterOwner() {
    if (status_ == 0) FLT1_DestroyFilter(handle_);
  }
  FilterOwner(const FilterOwner&) = delete;
  FilterOwner& operator=(const FilterOwner&) = delete;

  // FLT1_CreateFilter's status; the handle is only valid when it is 0.
  std::int32_t status() const { return status_; }
  FilterHandle handle() const { return handle_; }

 private:
  FilterHandle handle_{};
  std::int32_t status_ = -1;
};

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_FILTER_OWNER_H_
