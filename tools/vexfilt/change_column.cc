#include "change_column.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "record_text.h"

namespace vexfilt::cli {
namespace {

// The library caps a change at the bounds of an int32, as it hands 4 bytes to the comparison.
std::int64_t Capped(std::int64_t change) {
  return std::clamp<std::int64_t>(change, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
}

}  // namespace

ChangeColumn::ChangeColumn(const VxcPlan* plan) : plan_(plan) {
  std::int32_t percent = 0;
  column_ = VXC_ChangeColumn(plan, &percent);
  if (column_ == nullptr) return;
  percent_ = percent != 0;
  for (std::int32_t i = 0; const char* key = VXC_ChangeKey(plan, i); ++i) keys_.push_back(key);
  name_ = std::string(percent_ ? "PCTCHANGE(" : "CHANGE(") + column_ + ")";
}

std::string ChangeColumn::Observe(const std::uint8_t* record, std::size_t length) {
  if (column_ == nullptr) return {};
  std::string key;
  for (const char* column : keys_) key.append(ValueText(plan_, column, record, length)).push_back('\0');
  const std::int64_t value = std::strtoll(ValueText(plan_, column_, record, length).c_str(), nullptr, 10);
  Previous& previous = previous_[key];
  const bool seen = previous.sample + 1 >= sample_ && previous.sample != 0;
  const std::int64_t before = previous.value;
  previous = {value, sample_};
  if (!seen) return {};
  // Percent of the previous value, truncated towards zero; 0 when that was 0.
  const std::int64_t change = !percent_ ? value - before : before == 0 ? 0 : (value - before) * 100 / before;
  return std::to_string(Capped(change));
}

void ChangeColumn::EndSample() {
  std::erase_if(previous_, [&](const auto& entry) { return entry.second.sample != sample_; });
  ++sample_;
}

}  // namespace vexfilt::cli
