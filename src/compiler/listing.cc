#include "listing.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "filter_owner.h"
#include "language.h"
#include "plan/pool_builder.h"
#include "plan_view.h"
#include "routines/rows.h"
#include "vexfilt.h"

namespace vexfilt::cli {
namespace {

constexpr std::int32_t kNoMorePredicates = VXF_STATUS_NO_MORE_ELEMENTS;

// One element as a person reads it.
struct Line {
  PlanElementView element;
  std::string operation;
  std::string column;
  std::string literal;
};

template <typename T>
T Read(const void* data, std::size_t offset = 0) {
  T value{};
  std::memcpy(&value, static_cast<const char*>(data) + offset, sizeof value);
  return value;
}

// A name or value as people write it: a text column's value ends at its zero byte, and blanks after it
// are padding.
std::string Trimmed(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// The comparison as FLT1_GetFilter reports it, in the host's codes.
std::string HostComparison(std::int16_t code) {
  switch (code) {
    case VXF_INFO_OP_EQ: return "=";
    case VXF_INFO_OP_NE: return "<>";
    case VXF_INFO_OP_GE: return ">=";
    case VXF_INFO_OP_LE: return "<=";
    case VXF_INFO_OP_LT: return "<";
    case VXF_INFO_OP_GT: return ">";
    case VXF_INFO_OP_LIKE: return "LIKE";
    default: return "";
  }
}

std::string Number(std::int32_t type, const void* value, std::int16_t length) {
  if (value == nullptr) return "-";
  switch (type) {
    case type::kLong:
      if (length >= 4) return std::to_string(Read<std::int32_t>(value));
      break;
    case type::kULong:
      if (length >= 4) return std::to_string(Read<std::uint32_t>(value));
      break;
    case type::kShort:
      if (length >= 2) return std::to_string(Read<std::int16_t>(value));
      break;
    case type::kUShort:
      if (length >= 2) return std::to_string(Read<std::uint16_t>(value));
      break;
    case type::kDouble:
    case type::kDoubleAlt:
      if (length >= 8) {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", Read<double>(value));
        return text;
      }
      break;
    default: break;
  }
  return "?";
}

std::string ChangeKeys(std::string_view control) {
  std::string names;
  for (const std::string& key : ReadChangeControl(control).keys) names += (names.empty() ? "" : ",") + key;
  return names;
}

// What the element compares with, from the predicate the library reports and, where the report leaves it
// out, from the plan and the pool.
std::string LiteralOf(const PlanElementView& element, const FilterInfo& info, const CompiledPlan& compiled,
                      const Schema& schema) {
  const VxpElement& e = element.record;
  const auto* value = static_cast<const char*>(info.value);
  switch (e.functionCode) {
    case fn::kMktime: {
      const std::string_view sign = PoolData(compiled.pool, e.leftLiteralId);
      return Quoted(std::string(sign.substr(0, 1)) + std::string(value, static_cast<std::size_t>(info.valueLen)));
    }
    case fn::kStringSearch:
      // Reported through leftData, whose length the report does not carry: the plan's left length is it.
      return Quoted(std::string(static_cast<const char*>(info.value), static_cast<std::size_t>(e.leftLiteralLength)));
    case fn::kChange:
    case fn::kChangeAlt: {
      const std::string keys = ChangeKeys(PoolData(compiled.pool, e.rightLiteralId));
      return keys.empty() ? "-" : "keyed by " + keys;
    }
    case fn::kAlways: return "-";
    default: break;
  }
  if (e.compareOperator == op::kFunc || NeverHolds(element.slot)) return "-";
  if (info.extType & VXF_INFO_EXT_NAME_GIVEN) {
    return "column " + std::string(static_cast<const char*>(info.extData), static_cast<std::size_t>(info.extLen));
  }
  const std::int32_t base = info.dataType > type::kNullableAbove ? (info.dataType & ~1) : info.dataType;
  const bool text = base == type::kChar || base == type::kVarChar || base == type::kUtf8Char ||
                    base == type::kUtf8VarChar;
  if (!text) return Number(base, value, info.valueLen);
  if (value == nullptr) return "-";
  std::string shown = Trimmed(std::string_view(value, static_cast<std::size_t>(std::max<std::int16_t>(info.valueLen, 0))));
  const Field* field = schema.Find(element.column);
  // MKTIME's result is compared as a timestamp, and so is a timestamp column.
  bool mktimeResult = false;
  ComparesHandedValue(element.slot, &mktimeResult);
  if (mktimeResult || (field != nullptr && field->kind == Kind::kTimestamp)) {
    shown = TimestampText(shown);
  }
  std::string literal = Quoted(shown);
  if (e.functionCode == fn::kSubstring) {
    const int first = e.substringOffset + 1;
    const int count = field != nullptr && field->IsUtf8() ? e.leftLiteralLength : e.rightLiteralLength;
    literal += count == 1 ? " in character " + std::to_string(first)
                          : " in characters " + std::to_string(first) + "-" + std::to_string(first + count - 1);
  }
  return literal;
}

std::string OperationOf(const PlanElementView& element, const FilterInfo& info, const CompiledPlan& compiled) {
  const VxpElement& e = element.record;
  switch (e.functionCode) {
    case fn::kSearchList: return "KEYS IN";
    case fn::kMktime: return "MKTIME";
    case fn::kStringSearch: return "CONTAINS";
    case fn::kAlways: return "TRUE";
    case fn::kChange:
    case fn::kChangeAlt: {
      return ReadChangeControl(PoolData(compiled.pool, e.rightLiteralId)).percent ? "PCTCHANGE" : "CHANGE";
    }
    default: break;
  }
  if (e.compareOperator == op::kFunc) return "TRUE";
  if (NeverHolds(element.slot)) return "NEVER";
  std::string comparison = HostComparison(info.compareOperator);
  if (e.functionCode == fn::kSubstring) comparison = "SUBSTR " + comparison;
  if (ComparesHandedValue(element.slot)) comparison = "result " + comparison;
  return comparison;
}

// Reads the plan and asks the library about each of its predicates. Returns 0, or 2 after saying why not.
int Describe(const CompiledPlan& compiled, const Schema& schema, PlanView* view, std::vector<Line>* lines,
             std::FILE* err) {
  std::string error;
  auto read = ReadPlan(compiled.plan, &error);
  if (!read) {
    std::fprintf(err, "error: %s\n", error.c_str());
    return 2;
  }
  *view = std::move(*read);
  FilterOwner filter(compiled);
  if (filter.status() != 0) {
    std::fprintf(err, "error: the library refused the plan (FLT1_CreateFilter status %d)\n", filter.status());
    return 2;
  }
  // The elements whose right operand a MKTIME overwrites with its result: they compare with that, not with
  // the literal the plan gave them.
  std::vector<const PlanElementView*> rightFromMktime(view->elements.size(), nullptr);
  for (const PlanElementView& element : view->elements) {
    const VxpElement& e = element.record;
    const long target = static_cast<long>(element.index) + e.resultTarget;
    if (e.functionCode == fn::kMktime && e.resultOperand == 1 && target >= 0 &&
        target < static_cast<long>(rightFromMktime.size())) {
      rightFromMktime[static_cast<std::size_t>(target)] = &element;
    }
  }
  for (const PlanElementView& element : view->elements) {
    FilterInfo* info = nullptr;
    if (FLT1_GetFilter(filter.handle(), &info) != 0 || info == nullptr) {
      std::fprintf(err, "error: FLT1_GetFilter reported fewer predicates than the plan has elements\n");
      return 2;
    }
    Line line{element, OperationOf(element, *info, compiled), Trimmed(std::string_view(info->columnName, sizeof(VxpElement::columnName))), {}};
    if (element.record.functionCode == fn::kSearchList) {
      // The library reports a search list one entry at a time, joined by OR.
      std::string keys;
      for (;;) {
        const std::string key = info->value == nullptr
                                    ? std::string()
                                    : Trimmed(std::string_view(static_cast<const char*>(info->value),
                                                               static_cast<std::size_t>(std::max<std::int16_t>(info->valueLen, 0))));
        keys += (keys.empty() ? "" : ", ") + Quoted(key);
        // More entries follow an entry joined by OR.
        if (info->logicalOperator != VXF_INFO_OP_OR || info->functionType != fn::kSearchList) break;
        if (FLT1_GetFilter(filter.handle(), &info) != 0 || info == nullptr) break;
      }
      line.literal = "(" + keys + ")";
    } else if (const PlanElementView* mktime = rightFromMktime[element.index]) {
      line.literal = "the result of " + std::to_string(mktime->record.elementId);
    } else {
      line.literal = LiteralOf(element, *info, compiled, schema);
    }
    lines->push_back(std::move(line));
  }
  FilterInfo* info = nullptr;
  if (FLT1_GetFilter(filter.handle(), &info) != kNoMorePredicates) {
    std::fprintf(err, "error: FLT1_GetFilter reported more predicates than the plan has elements\n");
    return 2;
  }
  return 0;
}

std::string Target(const PlanView& view, int index) {
  if (index == kPass) return "pass";
  if (index == kFail) return "fail";
  return std::to_string(view.elements[static_cast<std::size_t>(index)].record.elementId);
}

std::string Join(std::int32_t logicalOperator) {
  return logicalOperator == op::kAnd ? "AND" : logicalOperator == op::kOr ? "OR" : "";
}

std::string DotText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

int Explain(const CompiledPlan& compiled, const Schema& schema, std::FILE* out, std::FILE* err) {
  PlanView view;
  std::vector<Line> lines;
  if (const int status = Describe(compiled, schema, &view, &lines, err); status != 0) return status;
  const std::string table = Trimmed(std::string_view(view.header.tableName, sizeof view.header.tableName));
  std::fprintf(out, "table %s: %d-byte records, %zu elements; plan %zu bytes, pool %zu bytes", table.c_str(),
               view.header.recordLength, view.elements.size(), compiled.plan.size(), compiled.pool.size());
  if (view.header.planFlags & plan_flag::kUtf8Data) {
    const std::uint32_t id = PoolLanguageId(compiled.pool);
    std::fprintf(out, "; UTF-8 collated as %s", LanguageName(id == 0 ? kDefaultLanguageId : id).c_str());
  }
  std::fprintf(out, "\n%4s  %-10s %-10s %-13s %4s %5s %5s %-4s %s\n", "id", "operation", "column", "routine", "slot",
               "true", "false", "join", "literal");
  for (const Line& line : lines) {
    const PlanElementView& e = line.element;
    std::fprintf(out, "%4u  %-10s %-10s %-13s %4d %5s %5s %-4s %s\n", e.record.elementId, line.operation.c_str(),
                 line.column.empty() ? "-" : line.column.c_str(), e.routine.c_str(), e.slot,
                 Target(view, e.onTrue).c_str(), Target(view, e.onFalse).c_str(),
                 Join(e.record.logicalOperator).c_str(), line.literal.c_str());
  }
  return 0;
}

int Dot(const CompiledPlan& compiled, const Schema& schema, std::FILE* out, std::FILE* err) {
  PlanView view;
  std::vector<Line> lines;
  if (const int status = Describe(compiled, schema, &view, &lines, err); status != 0) return status;
  const std::string table = Trimmed(std::string_view(view.header.tableName, sizeof view.header.tableName));
  std::fprintf(out, "digraph \"%s\" {\n", DotText(table).c_str());
  std::fprintf(out, "  node [shape=box, fontname=\"Helvetica\"];\n");
  bool passes = false, fails = false;
  for (const Line& line : lines) {
    const PlanElementView& e = line.element;
    passes = passes || e.onTrue == kPass || e.onFalse == kPass;
    fails = fails || e.onTrue == kFail || e.onFalse == kFail;
    const std::string what = std::to_string(e.record.elementId) + ": " + (line.column.empty() ? "" : line.column + " ") +
                             line.operation + (line.literal == "-" ? "" : " " + line.literal);
    // \n is Graphviz's line break inside a label.
    std::fprintf(out, "  e%zu [label=\"%s\\n%s\"];\n", e.index, DotText(what).c_str(), DotText(e.routine).c_str());
  }
  if (passes) std::fprintf(out, "  pass [shape=oval, style=filled, fillcolor=palegreen];\n");
  if (fails) std::fprintf(out, "  fail [shape=oval, style=filled, fillcolor=lightpink];\n");
  const auto node = [](int index) {
    return index == kPass ? std::string("pass") : index == kFail ? std::string("fail") : std::string("e").append(std::to_string(index));
  };
  for (const Line& line : lines) {
    const PlanElementView& e = line.element;
    std::fprintf(out, "  e%zu -> %s [label=\"true\", color=darkgreen];\n", e.index, node(e.onTrue).c_str());
    std::fprintf(out, "  e%zu -> %s [label=\"false\", color=red, style=dashed];\n", e.index, node(e.onFalse).c_str());
  }
  std::fprintf(out, "}\n");
  return 0;
}

}  // namespace vexfilt::cli
