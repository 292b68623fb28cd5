// Builds Filter Plans (and, through pool_builder.h, their Literal Pools) in the local byte order.
//
//   PoolBuilder pool;
//   PlanBuilder plan("PROCESS");
//   plan.RecordLength(64).Compare(Column::Long("CPU", 8), op::kGT, pool.Long(90));
//   auto planBytes = plan.Build(); auto poolBytes = pool.Build();
//
// Every element field has a setter on the Element handle that adding an element returns; what is not set
// is computed at Build(): element ids 1..n, skips by the plan's wiring, target ids from the skips.
#ifndef VEXFILT_PLAN_PLAN_BUILDER_H_
#define VEXFILT_PLAN_PLAN_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/filter.h"
#include "core/plan_format.h"
#include "plan/column.h"
#include "plan/pool_builder.h"

namespace vexfilt::plan {

class PlanBuilder;

namespace detail {

// Where an element's evaluation goes next: a skip as given, an element by index, or past the last element.
struct Jump {
  enum class Kind : std::uint8_t { kSkip, kTo, kEnd };
  Kind kind = Kind::kSkip;
  std::int32_t value = 1;
};

struct ElementState {
  VxpElement record{};
  std::optional<Jump> onTrue;
  std::optional<Jump> onFalse;
  bool idSet = false;
  bool trueTargetSet = false;
  bool falseTargetSet = false;
  bool logicalSet = false;
};

}  // namespace detail

// A handle on one element of a PlanBuilder; stays valid while elements are added.
class Element {
 public:
  Element& Tag(std::string_view tag);
  Element& Operator(std::int32_t code);
  Element& LogicalOperator(std::int32_t code);
  Element& ConditionCode(std::int32_t value);
  Element& ColumnOffset(std::int32_t offset);
  Element& RightColumnOffset(std::int32_t offset);
  Element& LeftResult(std::int32_t value);
  Element& RightResult(std::int32_t value);
  Element& SubstringOffset(std::int32_t offset);
  Element& Slot(std::int16_t slot);
  Element& Id(std::uint16_t id);
  Element& TrueTargetId(std::uint16_t id);
  Element& FalseTargetId(std::uint16_t id);
  Element& ColumnLength(std::int16_t length);
  Element& DataType(std::int16_t code);
  Element& TrueSkip(std::int16_t skip);
  Element& FalseSkip(std::int16_t skip);
  Element& Skips(std::int16_t onTrue, std::int16_t onFalse);
  // Skips expressed by destination: the element at `index`, or past the last element.
  Element& TrueTo(std::size_t index);
  Element& FalseTo(std::size_t index);
  Element& TrueToEnd();
  Element& FalseToEnd();
  Element& ResultTarget(std::int16_t relative);
  Element& ResultOperand(std::int16_t operand);
  Element& LeftScale(std::int16_t scale);
  Element& RightScale(std::int16_t scale);
  Element& LeftFlags(std::uint16_t flags);
  Element& RightFlags(std::uint16_t flags);
  Element& LeftLiteralLength(std::int16_t length);
  Element& RightLiteralLength(std::int16_t length);
  Element& LeftLiteralId(std::int16_t id);
  Element& RightLiteralId(std::int16_t id);
  Element& AlternateOperator(std::uint16_t code);
  Element& RightDataType(std::int16_t code);
  Element& Function(std::uint32_t code);
  Element& ColumnName(std::string_view name);  // blank padded to 11
  Element& ReferenceWord(std::size_t index, std::uint32_t value);
  // Bytes written over the record at `offset` (within its 192 bytes), for layouts no setter makes, such as
  // a one-byte function code followed by the name.
  Element& Bytes(std::size_t offset, std::string_view bytes);

  // Offset, length, type, name and, for a scaled number, the left scale.
  Element& Column(const plan::Column& column);
  // The second column of a column-against-column element: its offset, type, and declared length (character)
  // or scale (number) as the right scale; marks the right operand as a column.
  Element& RightColumn(const plan::Column& column);
  Element& LeftLiteral(const Literal& literal);   // id and length
  Element& RightLiteral(const Literal& literal);  // id and length
  // A LIKE pattern length given by the plan rather than derived at creation.
  Element& PatternLength(std::int16_t length);

  std::size_t index() const { return index_; }
  // The plan the element belongs to; an element converts to it, so PlanBuilder("T").Always() is a plan.
  PlanBuilder& plan() const { return *plan_; }
  operator PlanBuilder&() const { return *plan_; }  // NOLINT(google-explicit-constructor)
  // The record as it stands, for reading back or for fields without a setter. Element ids, skips, target
  // ids and the wiring's connective are computed at Build() unless set through their setters.
  VxpElement& Record();

 private:
  friend class PlanBuilder;
  Element(PlanBuilder* plan, std::size_t index) : plan_(plan), index_(index) {}
  detail::ElementState& State();
  VxpElement& R() { return State().record; }

  PlanBuilder* plan_;
  std::size_t index_;
};

class PlanBuilder {
 public:
  explicit PlanBuilder(std::string_view tableName = "TABLE");

  PlanBuilder& Tag(std::string_view tag);
  PlanBuilder& Version(std::int16_t version);
  PlanBuilder& TableName(std::string_view name);  // blank padded to 10
  PlanBuilder& RecordLength(std::int32_t length);
  PlanBuilder& Flags(std::uint16_t planFlags);
  PlanBuilder& Reserved(std::uint32_t reserved);
  // Distance between element records; bytes after the first 192 are zero, a shorter one cuts each record.
  PlanBuilder& ElementLength(std::int16_t length);
  // Header fields written instead of the computed ones (the built length, the number of elements).
  PlanBuilder& TotalLength(std::int16_t totalLength);
  PlanBuilder& ElementCount(std::int16_t count);
  // Cuts the built plan to `length` bytes, or extends it with zero bytes; totalLength follows unless set.
  PlanBuilder& BufferLength(std::size_t length);

  // How elements whose skips are not set are wired. Sequence (the default): every skip 1. AllOf: true to the
  // next element, false past the last one. AnyOf: true past the last one, false to the next. AllOf and
  // AnyOf also make each element but the last an AND (AllOf) or an OR (AnyOf), unless its connective is set.
  PlanBuilder& Sequence();
  PlanBuilder& AllOf();
  PlanBuilder& AnyOf();

  // An element with every field zero.
  Element Add();
  // column OP literal.
  Element Compare(const Column& column, std::int32_t op, const Literal& literal);
  // left OP right, with the column descriptor that names the right column. Columns of different types are
  // compared through numeric conversion: both operands' flags are set here, as creation asks.
  Element CompareColumns(const Column& left, std::int32_t op, const Column& right, const Literal& descriptor);
  Element Like(const Column& column, const Literal& pattern);
  // The `literal`'s length of bytes from `start` in the column, OP literal.
  Element Substring(const Column& column, std::int32_t start, std::int32_t op, const Literal& literal);
  // A FUNC element of function code `code`.
  Element Function(std::uint32_t code);
  Element Always();
  // The column contains `text`; the found flag goes to the element at ResultTarget (0 unless set).
  Element StringSearch(const Column& column, const Literal& text);
  Element Search(const Column& column, const Literal& list);
  // The timestamp column moved by `increment` ("90M") in the direction of `sign` ("+" adds), handed to the
  // next element unless retargeted.
  Element MakeTime(const Column& column, const Literal& sign, const Literal& increment);
  // The change of the column since the previous sample, handed to the next element unless retargeted.
  Element Change(const Column& column, const Literal& scratch, const Literal& control,
                 std::uint32_t code = fn::kChange);

  Element At(std::size_t index);
  std::size_t size() const { return elements_.size(); }

  std::vector<std::uint8_t> Build() const;

 private:
  friend class Element;
  enum class Wiring : std::uint8_t { kSequence, kAllOf, kAnyOf };

  char tag_[4] = {'P', 'L', 'A', 'N'};
  std::int16_t version_ = VXP_VERSION_EXTENDED;
  char tableName_[sizeof(PlanHeader::tableName)];
  std::int32_t recordLength_ = 0;
  std::uint16_t planFlags_ = 0;
  std::uint32_t reserved_ = 0;
  std::int16_t elementLength_ = static_cast<std::int16_t>(kElementRecordSize);
  std::optional<std::int16_t> totalLength_;
  std::optional<std::int16_t> elementCount_;
  std::optional<std::size_t> bufferLength_;
  Wiring wiring_ = Wiring::kSequence;
  std::vector<detail::ElementState> elements_;
};

}  // namespace vexfilt::plan

#endif  // VEXFILT_PLAN_PLAN_BUILDER_H_
