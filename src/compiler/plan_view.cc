#include "plan_view.h"

#include <cstring>

#include "plan/column.h"

namespace vexfilt::cli {
namespace {

constexpr std::int16_t kLocaleSlotShift = 25;

std::string Trimmed(const char* text, std::size_t size) {
  std::string out(text, strnlen(text, size));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The slot creation takes the routine from: a converted column-against-column element gets 1 plus its left
// kind's offset, and UTF-8 character data in a plan that enables it moves 25 further.
std::int16_t BoundSlot(const PlanHeader& header, const FilterElement& e) {
  std::uint16_t flags = e.leftFlags;
  if ((flags & 0xFF) == 0) flags = static_cast<std::uint16_t>(flags | plan::RepresentationFlags(e.dataType));
  std::int16_t slot = e.routineSlot;
  const bool converted = (flags & rep::kMixed) && (flags & rep::kColumn);
  const bool dispatched = e.functionCode != fn::kMktime && e.functionCode != fn::kSearchList &&
                          e.functionCode != fn::kAlways && e.functionCode != fn::kStringSearch &&
                          !fn::IsChange(e.functionCode) && e.functionCode != fn::kRegexp &&
                          e.functionCode != fn::kRegexpAlt;
  if (dispatched && converted) slot = static_cast<std::int16_t>(1 + plan::SlotBase(e.dataType));
  const bool localeAware = (header.planFlags & plan_flag::kUtf8Data) && (flags & rep::kUtf8);
  if (localeAware && e.functionCode != fn::kMktime && e.functionCode != fn::kSearchList) {
    slot = static_cast<std::int16_t>(e.routineSlot + kLocaleSlotShift);
  }
  return slot;
}

}  // namespace

std::string RoutineName(std::int32_t op, std::uint32_t function, std::int16_t slot) {
  switch (function) {
    case fn::kMktime: return "MKTIME";
    case fn::kSearchList: return "Search";
    case fn::kRegexp:
    case fn::kRegexpAlt: return "ColREGLit";
    case fn::kChange:
    case fn::kChangeAlt: return slot == 10 ? "CHGLong" : slot == 15 ? "CHGShort" : slot == 20 ? "CHGFloat" : "?";
    case fn::kStringSearch:
      return slot == 0 || slot == 5 ? "ColSTRLit" : slot == 25 ? "FixColStrLit" : slot == 30 ? "VarColStrLit" : "?";
    case fn::kAlways: return slot == 0 ? "True" : "?";
    default: break;
  }
  if (op == op::kFunc) return slot == 0 ? "True" : "?";
  const char* name = nullptr;
  switch (op) {
    case op::kEQ: name = "EQ"; break;
    case op::kNE: name = "NE"; break;
    case op::kGT: name = "GT"; break;
    case op::kLT: name = "LT"; break;
    case op::kGE: name = "GE"; break;
    case op::kLE: name = "LE"; break;
    case op::kLike: name = "LI"; break;
    default: return "?";
  }
  const std::string o = name;
  const bool like = op == op::kLike;
  // One row per slot of the dispatch matrix; LIKE has only the character rows.
  switch (slot) {
    case 0:
    case 5: return "Col" + o + "Lit";
    case 1:
    case 6:
    case 26:
    case 31: return "Col" + o + "Col";
    case 3:
    case 28: return "Func" + o + "Lit";
    case 25: return "FixCol" + o + "Lit";
    case 30: return "VarCol" + o + "Lit";
    default: break;
  }
  if (like) return "?";
  switch (slot) {
    case 10:
    case 15:
    case 20: return "Col" + o + "Lit";
    case 11:
    case 16:
    case 21: return "Col" + o + "Col";
    case 12:
    case 17:
    case 22: return "Col" + o + "Result";
    case 13:
    case 18:
    case 23: return "Result" + o + "Result";
    case 14:
    case 19: return "Result" + o + "Lit";
    case 24: return "NeverHolds";
    default: return "?";
  }
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
    const FilterElement& e = element.record;
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
