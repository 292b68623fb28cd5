#include "plan/foreign.h"

#include "translate/walk.h"

namespace vexfilt::plan {
namespace {
using ToForeign = translate::Codec<representation::Direction::kToForeign>;
}  // namespace

std::vector<std::uint8_t> ForeignPlan(std::vector<std::uint8_t> plan, std::uint32_t word) {
  translate::Plan(ToForeign{word}, plan.data());
  return plan;
}

std::vector<std::uint8_t> ForeignPool(std::vector<std::uint8_t> pool, std::uint32_t word) {
  translate::Pool(ToForeign{word}, pool.data());
  return pool;
}

}  // namespace vexfilt::plan
