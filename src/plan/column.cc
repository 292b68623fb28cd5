#include "plan/column.h"

#include "core/data_types.h"
#include "core/plan_format.h"

namespace vexfilt::plan {
namespace {

Column Make(std::string_view name, std::int32_t offset, std::int16_t length, std::int16_t dataType) {
  Column column;
  column.name = std::string(name);
  column.offset = offset;
  column.length = length;
  column.dataType = dataType;
  return column;
}

}  // namespace

// The builder writes what creation will read, so it derives flags and slots with creation's own rules.
std::uint16_t RepresentationFlags(std::int16_t dataType) { return FlagsOfType(dataType); }

std::int16_t SlotBase(std::int16_t dataType) { return SlotOffsetOf(FlagsOfType(dataType)); }

Column Column::Long(std::string_view name, std::int32_t offset) { return Make(name, offset, 4, type::kLong); }
Column Column::ULong(std::string_view name, std::int32_t offset) { return Make(name, offset, 4, type::kULong); }
Column Column::Short(std::string_view name, std::int32_t offset) { return Make(name, offset, 2, type::kShort); }
Column Column::UShort(std::string_view name, std::int32_t offset) { return Make(name, offset, 2, type::kUShort); }
Column Column::Double(std::string_view name, std::int32_t offset) { return Make(name, offset, 8, type::kDouble); }
Column Column::Char(std::string_view name, std::int32_t offset, std::int16_t length) {
  return Make(name, offset, length, type::kChar);
}
Column Column::VarChar(std::string_view name, std::int32_t offset, std::int16_t length) {
  return Make(name, offset, length, type::kVarChar);
}
Column Column::Utf8Char(std::string_view name, std::int32_t offset, std::int16_t length) {
  return Make(name, offset, length, type::kUtf8Char);
}
Column Column::Utf8VarChar(std::string_view name, std::int32_t offset, std::int16_t length) {
  return Make(name, offset, length, type::kUtf8VarChar);
}

Column Column::Nullable() const {
  Column column = *this;
  // Codes above kNullableAbove pair up: the odd one is the nullable form.
  if (dataType > type::kNullableAbove) column.dataType = static_cast<std::int16_t>(dataType | 1);
  return column;
}

Column Column::Scaled(std::int16_t decimals) const {
  Column column = *this;
  column.scale = decimals;
  return column;
}

std::int16_t Column::BaseType() const { return vexfilt::BaseType(dataType); }

bool Column::IsCharacter() const { return (Flags() & rep::kAnyChar) != 0; }
bool Column::IsNumeric() const { return (Flags() & rep::kNumeric) != 0; }

}  // namespace vexfilt::plan
