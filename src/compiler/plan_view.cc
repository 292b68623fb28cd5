#include "plan_view.h"

#include <cstring>

#include "plan/column.h"
#include "routines/rows.h"

namespace vexfilt::cli {
namespace {

std::string Trimmed(const char* text, std::size_t size) {
  std::string out(text, strnlen(text, size));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The row creation takes the routine from, with the flags creation reads: the data type's when the plan
// gives none.
std::int16_t BoundSlot(const PlanHeader& header, const VxpElement& e) {
  std::uint16_t flags = e.leftFlags;
  if ((flags & 0xFF) == 0) flags = static_cast<std::uint16_t>(flags | plan::RepresentationFlags(e.dataType));
  const bool localeAware = (header.planFlags & plan_flag::kUtf8Data) && (flags & rep::kUtf8);
  return static_cast<std::int16_t>(RowOf(e.routineSlot, e.functionCode, flags, localeAware));
}

}  // namespace

std::string RoutineName(std::int32_t op, std::uint32_t function, std::int16_t slot) {
  return CellName(op, function, slot);
}

std::optional<PlanView> ReadPlan(const std::vector<std::uint8_t>& plan, std::string* error) {
  PlanView view;
  if (plan.size() < kPlanHeaderSize) {
    *error = "the plan is " + std::to_string(plan.size()) + " bytes, shorter than its 32-byte header";
    return std::nullopt;
  }
  std::memcpy(&view.header, plan.data(), kPlanHeaderSize);
  const int count = view.header.elementCount;
  const int stride = view.header.elementLength;
  if (count < 0 || stride < static_cast<int>(kElementRecordSize) ||
      kPlanHeaderSize + static_cast<std::size_t>(count) * static_cast<std::size_t>(stride) > plan.size()) {
    *error = "the plan's " + std::to_string(count) + " elements of " + std::to_string(stride) +
             " bytes do not fit in its " + std::to_string(plan.size()) + " bytes";
    return std::nullopt;
  }
  for (int i = 0; i < count; ++i) {
    PlanElementView element;
    element.index = static_cast<std::size_t>(i);
    std::memcpy(&element.record, plan.data() + kPlanHeaderSize + static_cast<std::size_t>(i * stride),
                kElementRecordSize);
    const VxpElement& e = element.record;
    element.column = Trimmed(e.columnName, sizeof e.columnName);
    element.slot = BoundSlot(view.header, e);
    element.routine = RoutineName(e.compareOperator, e.functionCode, element.slot);
    const auto target = [&](std::int16_t skip, int leaving) {
      const int to = i + skip;
      return to >= count ? leaving : to;
    };
    element.onTrue = target(e.trueSkip, kPass);
    element.onFalse = target(e.falseSkip, kFail);
    view.elements.push_back(std::move(element));
  }
  return view;
}

std::string_view PoolData(const std::vector<std::uint8_t>& pool, std::int16_t id) {
  if (pool.size() < kPoolHeaderSize) return {};
  PoolHeader header;
  std::memcpy(&header, pool.data(), sizeof header);
  std::string_view found;
  std::size_t at = kPoolHeaderSize;
  for (int n = 0; n < header.entryCount && at + kEntryHeaderSize <= pool.size(); ++n) {
    LiteralEntry entry;
    std::memcpy(&entry, pool.data() + at, sizeof entry);
    const std::size_t data = at + kEntryHeaderSize;
    if (entry.id == id && entry.dataLength >= 0 && data + static_cast<std::size_t>(entry.dataLength) <= pool.size()) {
      found = std::string_view(reinterpret_cast<const char*>(pool.data()) + data,
                               static_cast<std::size_t>(entry.dataLength));
    }
    if (entry.entryLength <= 0) break;
    at += static_cast<std::size_t>(entry.entryLength);
  }
  return found;
}

std::uint32_t PoolLanguageId(const std::vector<std::uint8_t>& pool) {
  PoolHeader header{};
  if (pool.size() >= kPoolHeaderSize) std::memcpy(&header, pool.data(), sizeof header);
  return header.languageId;
}

}  // namespace vexfilt::cli
