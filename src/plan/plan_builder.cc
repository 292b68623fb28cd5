#include "plan/plan_builder.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/bytes.h"

namespace vexfilt::plan {
namespace {

template <std::size_t N>
void CopyPadded(char (&field)[N], std::string_view text, char pad) {
  std::memset(field, pad, N);
  std::memcpy(field, text.data(), std::min(text.size(), N));
}

detail::Jump Skip(std::int32_t skip) { return {detail::Jump::Kind::kSkip, skip}; }
detail::Jump To(std::size_t index) { return {detail::Jump::Kind::kTo, static_cast<std::int32_t>(index)}; }
detail::Jump End() { return {detail::Jump::Kind::kEnd, 0}; }

std::int32_t Resolve(const detail::Jump& jump, std::size_t index, std::size_t count) {
  switch (jump.kind) {
    case detail::Jump::Kind::kTo: return jump.value - static_cast<std::int32_t>(index);
    case detail::Jump::Kind::kEnd: return static_cast<std::int32_t>(count - index);
    case detail::Jump::Kind::kSkip: break;
  }
  return jump.value;
}

}  // namespace

// Element

detail::ElementState& Element::State() { return plan_->elements_[index_]; }
VxpElement& Element::Record() { return R(); }

Element& Element::Tag(std::string_view tag) {
  CopyPadded(R().tag, tag, '\0');
  return *this;
}
Element& Element::Operator(std::int32_t code) {
  R().compareOperator = code;
  return *this;
}
Element& Element::LogicalOperator(std::int32_t code) {
  R().logicalOperator = code;
  State().logicalSet = true;
  return *this;
}
Element& Element::ConditionCode(std::int32_t value) {
  R().conditionCode = value;
  return *this;
}
Element& Element::ColumnOffset(std::int32_t offset) {
  R().columnOffset = offset;
  return *this;
}
Element& Element::RightColumnOffset(std::int32_t offset) {
  R().rightColumnOffset = offset;
  return *this;
}
Element& Element::LeftResult(std::int32_t value) {
  R().leftResult = value;
  return *this;
}
Element& Element::RightResult(std::int32_t value) {
  R().rightResult = value;
  return *this;
}
Element& Element::SubstringOffset(std::int32_t offset) {
  R().substringOffset = offset;
  return *this;
}
Element& Element::Slot(std::int16_t slot) {
  R().routineSlot = slot;
  return *this;
}
Element& Element::Id(std::uint16_t id) {
  R().elementId = id;
  State().idSet = true;
  return *this;
}
Element& Element::TrueTargetId(std::uint16_t id) {
  R().trueTargetId = id;
  State().trueTargetSet = true;
  return *this;
}
Element& Element::FalseTargetId(std::uint16_t id) {
  R().falseTargetId = id;
  State().falseTargetSet = true;
  return *this;
}
Element& Element::ColumnLength(std::int16_t length) {
  R().columnLength = length;
  return *this;
}
Element& Element::DataType(std::int16_t code) {
  R().dataType = code;
  return *this;
}
Element& Element::TrueSkip(std::int16_t skip) {
  State().onTrue = Skip(skip);
  return *this;
}
Element& Element::FalseSkip(std::int16_t skip) {
  State().onFalse = Skip(skip);
  return *this;
}
Element& Element::Skips(std::int16_t onTrue, std::int16_t onFalse) { return TrueSkip(onTrue).FalseSkip(onFalse); }
Element& Element::TrueTo(std::size_t index) {
  State().onTrue = To(index);
  return *this;
}
Element& Element::FalseTo(std::size_t index) {
  State().onFalse = To(index);
  return *this;
}
Element& Element::TrueToEnd() {
  State().onTrue = End();
  return *this;
}
Element& Element::FalseToEnd() {
  State().onFalse = End();
  return *this;
}
Element& Element::ResultTarget(std::int16_t relative) {
  R().resultTarget = relative;
  return *this;
}
Element& Element::ResultOperand(std::int16_t operand) {
  R().resultOperand = operand;
  return *this;
}
Element& Element::LeftScale(std::int16_t scale) {
  R().leftScale = scale;
  return *this;
}
Element& Element::RightScale(std::int16_t scale) {
  R().rightScale = scale;
  return *this;
}
Element& Element::LeftFlags(std::uint16_t flags) {
  R().leftFlags = flags;
  return *this;
}
Element& Element::RightFlags(std::uint16_t flags) {
  R().rightFlags = flags;
  return *this;
}
Element& Element::LeftLiteralLength(std::int16_t length) {
  R().leftLiteralLength = length;
  return *this;
}
Element& Element::RightLiteralLength(std::int16_t length) {
  R().rightLiteralLength = length;
  return *this;
}
Element& Element::LeftLiteralId(std::int16_t id) {
  R().leftLiteralId = id;
  return *this;
}
Element& Element::RightLiteralId(std::int16_t id) {
  R().rightLiteralId = id;
  return *this;
}
Element& Element::AlternateOperator(std::uint16_t code) {
  R().alternateOperator = code;
  return *this;
}
Element& Element::RightDataType(std::int16_t code) {
  R().rightDataType = code;
  return *this;
}
Element& Element::Function(std::uint32_t code) {
  R().functionCode = code;
  return *this;
}
Element& Element::ColumnName(std::string_view name) {
  CopyPadded(R().columnName, name, ' ');
  return *this;
}
Element& Element::ReferenceWord(std::size_t index, std::uint32_t value) {
  if (index < std::size(R().referenceWords)) R().referenceWords[index] = value;
  return *this;
}
Element& Element::Bytes(std::size_t offset, std::string_view bytes) {
  if (offset < kElementRecordSize) {
    // The record is trivially copyable and its first 192 bytes have no padding, so its bytes may be written.
    auto* record = reinterpret_cast<unsigned char*>(&R());
    std::memcpy(record + offset, bytes.data(), std::min(bytes.size(), kElementRecordSize - offset));
  }
  return *this;
}

Element& Element::Column(const plan::Column& column) {
  ColumnOffset(column.offset).ColumnLength(column.length).DataType(column.dataType).ColumnName(column.name);
  if (column.scale != 0) LeftScale(column.scale);
  return *this;
}
Element& Element::RightColumn(const plan::Column& column) {
  RightColumnOffset(column.offset).RightDataType(column.dataType);
  RightScale(column.IsCharacter() ? column.length : column.scale);
  return RightFlags(static_cast<std::uint16_t>(R().rightFlags | rep::kColumn));
}
Element& Element::LeftLiteral(const Literal& literal) {
  return LeftLiteralId(literal.id).LeftLiteralLength(literal.length);
}
Element& Element::RightLiteral(const Literal& literal) {
  return RightLiteralId(literal.id).RightLiteralLength(literal.length);
}
Element& Element::PatternLength(std::int16_t length) {
  return RightScale(length).RightFlags(static_cast<std::uint16_t>(R().rightFlags | rep::kPatternLengthGiven));
}

// PlanBuilder

PlanBuilder::PlanBuilder(std::string_view tableName) { TableName(tableName); }

PlanBuilder& PlanBuilder::Tag(std::string_view tag) {
  CopyPadded(tag_, tag, '\0');
  return *this;
}
PlanBuilder& PlanBuilder::Version(std::int16_t version) {
  version_ = version;
  return *this;
}
PlanBuilder& PlanBuilder::TableName(std::string_view name) {
  CopyPadded(tableName_, name, ' ');
  return *this;
}
PlanBuilder& PlanBuilder::RecordLength(std::int32_t length) {
  recordLength_ = length;
  return *this;
}
PlanBuilder& PlanBuilder::Flags(std::uint16_t planFlags) {
  planFlags_ = planFlags;
  return *this;
}
PlanBuilder& PlanBuilder::Reserved(std::uint32_t reserved) {
  reserved_ = reserved;
  return *this;
}
PlanBuilder& PlanBuilder::ElementLength(std::int16_t length) {
  elementLength_ = length;
  return *this;
}
PlanBuilder& PlanBuilder::TotalLength(std::int16_t totalLength) {
  totalLength_ = totalLength;
  return *this;
}
PlanBuilder& PlanBuilder::ElementCount(std::int16_t count) {
  elementCount_ = count;
  return *this;
}
PlanBuilder& PlanBuilder::BufferLength(std::size_t length) {
  bufferLength_ = length;
  return *this;
}
PlanBuilder& PlanBuilder::Sequence() {
  wiring_ = Wiring::kSequence;
  return *this;
}
PlanBuilder& PlanBuilder::AllOf() {
  wiring_ = Wiring::kAllOf;
  return *this;
}
PlanBuilder& PlanBuilder::AnyOf() {
  wiring_ = Wiring::kAnyOf;
  return *this;
}

Element PlanBuilder::Add() {
  elements_.emplace_back();
  return Element(this, elements_.size() - 1);
}

Element PlanBuilder::At(std::size_t index) { return Element(this, index); }

Element PlanBuilder::Compare(const Column& column, std::int32_t op, const Literal& literal) {
  Element element = Add();
  element.Operator(op).Column(column).Slot(column.Slot()).RightLiteral(literal);
  // Locale-aware routines take the literal's length from rightScale.
  if (column.Flags() & rep::kUtf8) element.RightScale(literal.length);
  return element;
}

Element PlanBuilder::CompareColumns(const Column& left, std::int32_t op, const Column& right,
                                    const Literal& descriptor) {
  Element element = Add();
  element.Operator(op).Column(left).RightColumn(right).RightLiteral(descriptor);
  element.Slot(static_cast<std::int16_t>(left.Slot() + VXP_SLOT_COL_COL));
  if (left.IsCharacter()) element.LeftLiteralLength(std::min(left.length, right.length));
  if (left.BaseType() != right.BaseType()) {
    // Creation swaps in the alternate operator and derives no flags for operands of different types.
    constexpr std::uint16_t kMixedColumn = rep::kMixed | rep::kColumn;
    element.AlternateOperator(static_cast<std::uint16_t>(op))
        .LeftFlags(static_cast<std::uint16_t>(left.Flags() | kMixedColumn))
        .RightFlags(static_cast<std::uint16_t>(right.Flags() | kMixedColumn));
  }
  return element;
}

Element PlanBuilder::Like(const Column& column, const Literal& pattern) { return Compare(column, op::kLike, pattern); }

Element PlanBuilder::Substring(const Column& column, std::int32_t start, std::int32_t op, const Literal& literal) {
  Element element = Compare(column, op, literal);
  element.Function(fn::kSubstring).SubstringOffset(start);
  return element;
}

Element PlanBuilder::Function(std::uint32_t code) {
  Element element = Add();
  element.Operator(op::kFunc).Function(code);
  return element;
}

Element PlanBuilder::Always() { return Function(fn::kAlways); }

Element PlanBuilder::StringSearch(const Column& column, const Literal& text) {
  Element element = Function(fn::kStringSearch);
  // The plain routines read the text's length from leftLiteralLength, the locale-aware ones from leftScale.
  element.Column(column).Slot(column.Slot()).LeftLiteral(text).LeftScale(text.length);
  return element;
}

Element PlanBuilder::Search(const Column& column, const Literal& list) {
  Element element = Function(fn::kSearchList);
  element.Column(column).Slot(column.Slot()).RightLiteral(list);
  return element;
}

Element PlanBuilder::MakeTime(const Column& column, const Literal& sign, const Literal& increment) {
  Element element = Function(fn::kMktime);
  element.Column(column).LeftLiteral(sign).RightLiteral(increment).ResultTarget(1);
  return element;
}

Element PlanBuilder::Change(const Column& column, const Literal& scratch, const Literal& control, std::uint32_t code) {
  Element element = Function(code);
  element.Column(column).Slot(column.Slot()).LeftLiteral(scratch).RightLiteral(control).ResultTarget(1);
  return element;
}

std::vector<std::uint8_t> PlanBuilder::Build() const {
  const std::size_t count = elements_.size();
  const std::size_t stride = static_cast<std::size_t>(std::max<std::int16_t>(elementLength_, 0));
  std::vector<std::uint8_t> out(kPlanHeaderSize + count * stride);

  const auto idOf = [&](std::size_t i) -> std::uint16_t {
    return elements_[i].idSet ? elements_[i].record.elementId : static_cast<std::uint16_t>(i + 1);
  };
  // Leaving the plan has no element id; 0 stands for it.
  const auto targetId = [&](std::size_t i, std::int32_t skip) -> std::uint16_t {
    const std::int64_t target = static_cast<std::int64_t>(i) + skip;
    return target >= 0 && target < static_cast<std::int64_t>(count) ? idOf(static_cast<std::size_t>(target)) : 0;
  };

  for (std::size_t i = 0; i < count; ++i) {
    const detail::ElementState& state = elements_[i];
    VxpElement record = state.record;
    detail::Jump onTrue = Skip(1), onFalse = Skip(1);
    std::int32_t connective = 0;
    if (wiring_ == Wiring::kAllOf) {
      onFalse = End();
      connective = op::kAnd;
    } else if (wiring_ == Wiring::kAnyOf) {
      onTrue = End();
      connective = op::kOr;
    }
    const std::int32_t trueSkip = Resolve(state.onTrue.value_or(onTrue), i, count);
    const std::int32_t falseSkip = Resolve(state.onFalse.value_or(onFalse), i, count);
    record.trueSkip = static_cast<std::int16_t>(trueSkip);
    record.falseSkip = static_cast<std::int16_t>(falseSkip);
    record.elementId = idOf(i);
    if (!state.trueTargetSet) record.trueTargetId = targetId(i, trueSkip);
    if (!state.falseTargetSet) record.falseTargetId = targetId(i, falseSkip);
    if (connective != 0 && !state.logicalSet && i + 1 < count) record.logicalOperator = connective;
    std::memcpy(out.data() + kPlanHeaderSize + i * stride, &record, std::min(stride, kElementRecordSize));
  }
  out.resize(bufferLength_.value_or(out.size()));

  PlanHeader header{};
  std::memcpy(header.tag, tag_, sizeof tag_);
  header.version = version_;
  header.totalLength = totalLength_.value_or(static_cast<std::int16_t>(out.size()));
  header.recordLength = recordLength_;
  header.elementLength = elementLength_;
  header.elementCount = elementCount_.value_or(static_cast<std::int16_t>(count));
  std::memcpy(header.tableName, tableName_, sizeof tableName_);
  header.planFlags = planFlags_;
  header.reserved = reserved_;
  if (!out.empty()) std::memcpy(out.data(), &header, std::min(sizeof header, out.size()));
  return out;
}

}  // namespace vexfilt::plan
