// A column's value in a record as text, through the compiler's C interface.
#ifndef VEXFILT_TOOLS_VEXFILT_RECORD_TEXT_H_
#define VEXFILT_TOOLS_VEXFILT_RECORD_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "vexcompile.h"

namespace vexfilt::cli {

// Empty when the value cannot be read, which a record of the plan's length never causes.
inline std::string ValueText(const VxcPlan* plan, const char* column, const std::uint8_t* record, std::size_t length) {
  char* text = nullptr;
  if (VXC_GetValue(plan, column, record, static_cast<std::int32_t>(length), &text, nullptr) != VXC_OK) return {};
  std::string value(text);
  VXC_FreeText(text);
  return value;
}

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_RECORD_TEXT_H_
