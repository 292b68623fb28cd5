#include "plan_view.h"

#include <cstring>

#include "plan/column.h"

namespace vexfilt::cli {
namespace {

std::string Trimmed(const char* text, std::size_t size) {
  std::string out(text, strnlen(text, size));
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The slot creation takes the routine from: a converted column-against-column element gets its left kind's
// column-against-column slot, and UTF-8 character data in a plan that enables it moves to the locale-aware one.
std::int16_t BoundSlot(const PlanHeader& header, const VxpElement& e) {
  std::uint16_t flags = e.leftFlags;
  if ((flags & 0xFF) == 0) flags = static_cast<std::uint16_t>(flags | plan::RepresentationFlags(e.dataType));
  std::int16_t slot = e.routineSlot;
  const bool converted = (flags & rep::kMixed) && (flags & rep::kColumn);
  const bool dispatched = e.functionCode != fn::kMktime && e.functionCode != fn::kSearchList &&
                          e.functionCode != fn::kAlways && e.functionCode != fn::kStringSearch &&
                          !fn::IsChange(e.functionCode) && e.functionCode != fn::kRegexp &&
                          e.functionCode != fn::kRegexpAlt;
  if (dispatched && converted) slot = static_cast<std::int16_t>(VXP_SLOT_COL_COL + plan::SlotBase(e.dataType));
  const bool localeAware = (header.planFlags & plan_flag::kUtf8Data) && (flags & rep::kUtf8);
  if (localeAware && e.functionCode != fn::kMktime && e.functionCode != fn::kSearchList) {
    slot = slot::Locale(e.routineSlot);
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
    case fn::kChangeAlt:
      return slot == slot::kLongColLit     ? "CHGLong"
             : slot == slot::kShortColLit  ? "CHGShort"
             : slot == slot::kDoubleColLit ? "CHGFloat"
                                           : "?";
    case fn::kStringSearch:
      return slot == slot::kCharColLit || slot == slot::kVarCharColLit ? "ColSTRLit"
             : slot == slot::kLocaleCharColLit                          ? "FixColStrLit"
             : slot == slot::kLocaleVarCharColLit                       ? "VarColStrLit"
                                                                        : "?";
    case fn::kAlways: return slot == slot::kFunction ? "True" : "?";
    default: break;
  }
  if (op == op::kFunc) return slot == slot::kFunction ? "True" : "?";
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
    case slot::kCharColLit:
    case slot::kVarCharColLit: return "Col" + o + "Lit";
    case slot::kCharColCol:
    case slot::kVarCharColCol:
    case slot::kLocaleCharColCol:
    case slot::kLocaleVarCharColCol: return "Col" + o + "Col";
    case slot::kCharResultLit:
    case slot::kLocaleCharResultLit: return "Func" + o + "Lit";
    case slot::kLocaleCharColLit: return "FixCol" + o + "Lit";
    case slot::kLocaleVarCharColLit: return "VarCol" + o + "Lit";
    default: break;
  }
  if (like) return "?";
  switch (slot) {
    case slot::kLongColLit:
    case slot::kShortColLit:
    case slot::kDoubleColLit: return "Col" + o + "Lit";
    case slot::kLongColCol:
    case slot::kShortColCol:
    case slot::kDoubleColCol: return "Col" + o + "Col";
    case slot::kLongColResult:
    case slot::kShortColResult:
    case slot::kDoubleColResult: return "Col" + o + "Result";
    case slot::kLongResultResult:
    case slot::kShortResultResult:
    case slot::kDoubleResultResult: return "Result" + o + "Result";
    case slot::kLongResultLit:
    case slot::kShortResultLit: return "Result" + o + "Lit";
    case slot::kDoubleResultLit: return "NeverHolds";
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
