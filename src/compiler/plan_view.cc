#include "plan_view.h"

#include <cstddef>
#include <cstring>

#include "plan/column.h"
#include "plan/pool_builder.h"
#include "routines/rows.h"

namespace vexfilt::cli {
namespace {

// Change control block: options, then key columns after the block at a stride, each naming its column.
constexpr std::size_t kChangeOptions = offsetof(VxpChangeControl, options);
constexpr std::size_t kChangeKeyCount = offsetof(VxpChangeControl, keyCount);
constexpr std::size_t kChangeKeyStride = offsetof(VxpChangeControl, keyStride);
constexpr std::size_t kChangeKeys = sizeof(VxpChangeControl);
constexpr std::size_t kChangeKeyName = offsetof(VxpChangeKey, columnName);
constexpr std::size_t kChangeKeyNameSize = sizeof(VxpChangeKey::columnName);

template <typename T>
T ReadAt(std::string_view data, std::size_t offset) {
  T value{};
  std::memcpy(&value, data.data() + offset, sizeof value);
  return value;
}

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

ChangeControlView ReadChangeControl(std::string_view control) {
  ChangeControlView view;
  if (control.size() < kChangeKeys) return view;
  view.percent = (ReadAt<std::uint32_t>(control, kChangeOptions) & plan::change_option::kPercent) != 0;
  const auto count = ReadAt<std::int16_t>(control, kChangeKeyCount);
  const auto stride = ReadAt<std::int16_t>(control, kChangeKeyStride);
  for (int i = 0; i < count && stride > 0; ++i) {
    const std::size_t at = kChangeKeys + static_cast<std::size_t>(i * stride) + kChangeKeyName;
    if (at + kChangeKeyNameSize > control.size()) break;
    view.keys.push_back(Trimmed(control.data() + at, kChangeKeyNameSize));
  }
  return view;
}

std::optional<ChangeUse> ChangeOf(const std::vector<std::uint8_t>& plan, const std::vector<std::uint8_t>& pool) {
  std::string error;
  const auto view = ReadPlan(plan, &error);
  if (!view) return std::nullopt;
  for (const PlanElementView& element : view->elements) {
    const std::uint32_t function = element.record.functionCode;
    if (function == fn::kChange || function == fn::kChangeAlt) {
      return ChangeUse{element.column, ReadChangeControl(PoolData(pool, element.record.rightLiteralId))};
    }
  }
  return std::nullopt;
}

}  // namespace vexfilt::cli
