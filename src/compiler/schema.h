// A table's columns in declared order and the fixed record layout they give.
#ifndef VEXFILT_COMPILER_SCHEMA_H_
#define VEXFILT_COMPILER_SCHEMA_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plan/column.h"

namespace vexfilt::cli {

inline constexpr int kTimestampLength = 16;
// Ends a UTF-8 value in its record: U+FFFF, a noncharacter, which collates equal to no other character.
inline constexpr std::string_view kUtf8EndMark = "\xEF\xBF\xBF";

// Character kinds follow the numeric ones; a timestamp is a char(16) holding the library's 16-digit form.
enum class Kind { kInt16, kUInt16, kInt32, kUInt32, kDouble, kChar, kVarChar, kUtf8Char, kUtf8VarChar, kTimestamp };

struct Field {
  std::string name;
  Kind kind = Kind::kInt32;
  int capacity = 0;  // N of a character type
  // What the comparisons read. A UTF-8 column, fixed or varying, is laid out as a varying one: its length,
  // then N+3 bytes holding the value, kUtf8EndMark and blanks.
  plan::Column column;
  // A UTF-8 column's value and end mark read as fixed text, so that a pattern can ask for the value's end.
  plan::Column marked;

  // Text of bytes or of UTF-8; a timestamp is held as characters but is no text to the language.
  bool IsText() const { return kind >= Kind::kChar && kind != Kind::kTimestamp; }
  bool IsVarying() const { return kind == Kind::kVarChar || kind == Kind::kUtf8VarChar; }
  bool IsUtf8() const { return kind == Kind::kUtf8Char || kind == Kind::kUtf8VarChar; }
  bool IsInteger() const { return kind <= Kind::kUInt32; }
  // A char(N) or varchar(N) column: its N+1 bytes hold the value, a zero byte and then bytes 0x01, so
  // that the library's routines see where the value ends (see TerminatedText).
  bool IsTerminated() const { return kind == Kind::kChar || kind == Kind::kVarChar; }
  // A fixed column's trailing blanks are its padding, not part of its value.
  bool DropsTrailingBlanks() const { return kind == Kind::kChar || kind == Kind::kUtf8Char; }
  std::string TypeName() const;
  // Bytes the column takes in the record.
  int Bytes() const;
};

class Schema {
 public:
  // Parses "CPU int32, NAME char(16)"; on failure returns nullopt and sets `error`. A column follows the
  // one before it unless "at OFFSET" places it ("NAME char(16) at 8"); "record N" gives records longer than
  // their columns. Columns may not overlap.
  static std::optional<Schema> Parse(std::string_view text, std::string* error);

  const std::vector<Field>& fields() const { return fields_; }
  // The columns as Parse reads them back: "PID int32, NAME char(16)", with their offsets and the record
  // length when any column was placed.
  std::string Text() const;
  // Column names match whatever their case.
  const Field* Find(std::string_view name) const;
  int recordLength() const { return recordLength_; }
  // A record whose numbers are 0 and whose text is blank (a varying column's length 0).
  std::vector<std::uint8_t> EmptyRecord() const;

  // Writes the text `value` of `field` into `record`, which holds at least recordLength() bytes; returns an
  // empty string, or what is wrong with the value, having written nothing.
  std::string Encode(const Field& field, std::string_view value, std::span<std::uint8_t> record) const;
  // The field as CSV text, read back from a record.
  std::string Decode(const Field& field, const std::uint8_t* record) const;

 private:
  std::vector<Field> fields_;
  int recordLength_ = 0;
  bool placed_ = false;  // some column placed, or the record longer than its columns
};

bool SameName(std::string_view a, std::string_view b);

// The bytes a terminated column of `width` bytes holds for `value` (which fits it): the value, a zero
// byte, then bytes 0x01. The zero byte sorts below every character, so that a shorter value sorts first;
// the 0x01 fill is no blank, so that neither a pattern nor a search finds blanks after the value.
std::string TerminatedText(std::string_view value, int width);
// Whether `text` holds a byte 0x00 or 0x01, which a terminated column keeps for the end of its value.
bool HoldsEndBytes(std::string_view text);
// The value `text` makes in a text column: a char(N) or utf8char(N) value ends at its last non-blank
// character, the blanks after it being padding; a varying one keeps them.
std::string_view TextValue(const Field& field, std::string_view text);
// What is wrong with `text` as UTF-8 for a UTF-8 column: not UTF-8, or holding its end mark; empty if nothing.
std::string Utf8Fault(std::string_view text);

// The library's timestamp is 16 digits, YYYMMDDhhmmssmmm with the years counted from 1900. People write
// "2024-01-15 12:30:00.250" (the T separator, no seconds or no time at all are fine too); the digits are
// accepted as they are. Returns the 16 digits, or an empty string when the text is neither form.
std::string TimestampDigits(std::string_view text);
// The 16 digits as "2024-01-15 12:30:00.250"; anything else comes back unchanged.
std::string TimestampText(std::string_view digits);

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_SCHEMA_H_
