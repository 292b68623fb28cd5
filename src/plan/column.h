// A column of the table as plan elements and pool entries refer to it.
#ifndef VEXFILT_PLAN_COLUMN_H_
#define VEXFILT_PLAN_COLUMN_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vexfilt::plan {

// The representation flags that creation derives from a data type code, nullable bit included.
std::uint16_t RepresentationFlags(std::int16_t dataType);

// The routine slot of a column-against-literal element on data of this type: character 0, varying
// character 5, 4-byte integer 10, 2-byte integer 15, double 20. UTF-8 types take their plain counterpart's
// slot; the library moves them 25 further itself.
std::int16_t SlotBase(std::int16_t dataType);

struct Column {
  std::string name{};
  std::int32_t offset = 0;
  std::int16_t length = 0;  // declared length; a varying column's counts its 2-byte prefix
  std::int16_t dataType = 0;
  std::int16_t scale = 0;  // decimals of a scaled number, 0 for none

  static Column Long(std::string_view name, std::int32_t offset);
  static Column ULong(std::string_view name, std::int32_t offset);
  static Column Short(std::string_view name, std::int32_t offset);
  static Column UShort(std::string_view name, std::int32_t offset);
  static Column Double(std::string_view name, std::int32_t offset);
  static Column Char(std::string_view name, std::int32_t offset, std::int16_t length);
  static Column VarChar(std::string_view name, std::int32_t offset, std::int16_t length);
  static Column Utf8Char(std::string_view name, std::int32_t offset, std::int16_t length);
  static Column Utf8VarChar(std::string_view name, std::int32_t offset, std::int16_t length);

  // The same column with null values allowed (the odd type code).
  Column Nullable() const;
  // The same column holding a number with `decimals` decimal places.
  Column Scaled(std::int16_t decimals) const;

  // The type code without its nullable bit.
  std::int16_t BaseType() const;
  std::uint16_t Flags() const { return RepresentationFlags(dataType); }
  std::int16_t Slot() const { return SlotBase(dataType); }
  bool IsCharacter() const;
  bool IsNumeric() const;
};

}  // namespace vexfilt::plan

#endif  // VEXFILT_PLAN_COLUMN_H_
