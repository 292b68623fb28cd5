#include "schema.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>

#include "vexplan.h"

namespace vexfilt::cli {
namespace {

// The C locale's white space, tested without a call: every field of every row read passes through here.
constexpr bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// 'value', for messages about a field's text; control bytes show as \xNN, as a zero byte would end the
// message where it stands.
std::string Quoted(std::string_view value) {
  std::string text(1, '\'');
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      text.push_back(c);
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    text.append(escaped);
  }
  text.push_back('\'');
  return text;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ValidName(std::string_view name) {
  if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
  }
  return true;
}

template <typename T>
bool ParseInteger(std::string_view text, T* out) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Plain decimals take from_chars, which needs no terminated copy; what it does not take whole (a sign '+',
// hexadecimal, a value out of range) goes to strtod, whose reading is the one predicates use. A number too
// small for a normal double reads as its nearest value, as a predicate's literal does; only one too large
// for any double is refused.
bool ParseDouble(std::string_view text, double* out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  if (ec == std::errc() && end == text.data() + text.size()) return std::isfinite(*out);
  const std::string copy(text);
  char* stop = nullptr;
  *out = std::strtod(copy.c_str(), &stop);
  return stop == copy.c_str() + copy.size() && std::isfinite(*out);
}

template <typename T>
void Put(std::span<std::uint8_t> record, int offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

template <typename T>
T Get(const std::uint8_t* record, int offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

}  // namespace

// Names are letters, digits and _, so ASCII folding is all there is; no call per byte, as a program that
// prints rows looks columns up by name for every value.
bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string TimestampDigits(std::string_view text) {
  text = Trim(text);
  const auto allDigits = [](std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (text.size() == kTimestampLength && allDigits(text)) return std::string(text);
  // YYYY-MM-DD, then optionally [ T]hh:mm, :ss and .mmm; each part is a fixed number of digits.
  struct Part {
    std::size_t at, width;
    char before;
    int low, high;
  };
  static constexpr Part kParts[] = {{0, 4, 0, 1900, 2899}, {5, 2, '-', 1, 12}, {8, 2, '-', 1, 31}, {11, 2, ' ', 0, 23},
                                    {14, 2, ':', 0, 59},   {17, 2, ':', 0, 60}, {20, 3, '.', 0, 999}};
  int values[7] = {0, 0, 0, 0, 0, 0, 0};
  std::size_t used = 0;
  for (std::size_t i = 0; i < std::size(kParts); ++i) {
    const Part& part = kParts[i];
    if (part.at >= text.size() && i >= 3) break;  // the time, seconds and milliseconds may be left out
    if (part.at + part.width > text.size()) return {};
    if (part.before != 0) {
      const char separator = text[part.at - 1];
      if (separator != part.before && !(part.before == ' ' && separator == 'T')) return {};
    }
    const std::string_view digits = text.substr(part.at, part.width);
    if (!allDigits(digits) || !ParseInteger(digits, &values[i]) || values[i] < part.low || values[i] > part.high) {
      return {};
    }
    used = part.at + part.width;
  }
  if (used != text.size() || used == 13) return {};  // an hour needs its minutes
  char digits[64];  // room for any int, though each value was checked to fit its width
  std::snprintf(digits, sizeof digits, "%03d%02d%02d%02d%02d%02d%03d", values[0] - 1900, values[1], values[2],
                values[3], values[4], values[5], values[6]);
  return std::string(digits, kTimestampLength);
}

std::string TimestampText(std::string_view digits) {
  if (digits.size() != kTimestampLength ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    std::string text(digits);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
  const auto number = [&](std::size_t at, std::size_t width) {
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) value = value * 10 + (digits[i] - '0');
    return value;
  };
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", 1900 + number(0, 3), number(3, 2),
                number(5, 2), number(7, 2), number(9, 2), number(11, 2), number(13, 3));
  return text;
}

std::string Field::TypeName() const {
  switch (kind) {
    case Kind::kInt16: return "int16";
    case Kind::kUInt16: return "uint16";
    case Kind::kInt32: return "int32";
    case Kind::kUInt32: return "uint32";
    case Kind::kDouble: return "double";
    case Kind::kChar: return "char(" + std::to_string(capacity) + ")";
    case Kind::kVarChar: return "varchar(" + std::to_string(capacity) + ")";
    case Kind::kUtf8Char: return "utf8char(" + std::to_string(capacity) + ")";
    case Kind::kUtf8VarChar: return "utf8varchar(" + std::to_string(capacity) + ")";
    case Kind::kTimestamp: return "timestamp";
  }
  return "?";
}

namespace {

constexpr int kLongestRecord = 30000;

// The kind and capacity of `field` from its type text ("char(16)"); false with `error` set when it is none.
bool ReadType(std::string type, Field& field, std::string* error) {
  type = Lower(type);
  type.erase(std::remove_if(type.begin(), type.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
             type.end());
  const std::size_t paren = type.find('(');
  const std::string base = type.substr(0, paren);
  if (paren != std::string::npos) {
    int n = 0;
    if (type.back() != ')' || !ParseInteger(std::string_view(type).substr(paren + 1, type.size() - paren - 2), &n) ||
        n < 1 || n > 4000) {
      *error = "schema column '" + field.name + "': bad length in '" + type + "' (expected 1 to 4000)";
      return false;
    }
    field.capacity = n;
  }
  static const struct {
    const char* name;
    Kind kind;
    bool sized;
  } kTypes[] = {{"int16", Kind::kInt16, false},       {"uint16", Kind::kUInt16, false},
                {"int32", Kind::kInt32, false},       {"uint32", Kind::kUInt32, false},
                {"double", Kind::kDouble, false},     {"char", Kind::kChar, true},
                {"varchar", Kind::kVarChar, true},    {"utf8char", Kind::kUtf8Char, true},
                {"utf8varchar", Kind::kUtf8VarChar, true}, {"timestamp", Kind::kTimestamp, false}};
  for (const auto& t : kTypes) {
    if (base != t.name) continue;
    if (t.sized != (paren != std::string::npos)) {
      *error = "schema column '" + field.name + "': type " + base + (t.sized ? " needs a length, e.g. " + base + "(16)"
                                                                             : " takes no length");
      return false;
    }
    field.kind = t.kind;
    if (field.kind == Kind::kTimestamp) field.capacity = kTimestampLength;
    return true;
  }
  *error = "schema column '" + field.name + "': unknown type '" + type +
           "' (int16 uint16 int32 uint32 double char(N) varchar(N) utf8char(N) utf8varchar(N) timestamp)";
  return false;
}

// Places `field` at `offset`: the columns the routines read there.
void LayOut(Field& field, int offset) {
  const auto n = static_cast<std::int16_t>(field.capacity);
  switch (field.kind) {
    case Kind::kInt16: field.column = plan::Column::Short(field.name, offset); break;
    case Kind::kUInt16: field.column = plan::Column::UShort(field.name, offset); break;
    case Kind::kInt32: field.column = plan::Column::Long(field.name, offset); break;
    case Kind::kUInt32: field.column = plan::Column::ULong(field.name, offset); break;
    case Kind::kDouble: field.column = plan::Column::Double(field.name, offset); break;
    case Kind::kChar:
    case Kind::kVarChar: field.column = plan::Column::Char(field.name, offset, static_cast<std::int16_t>(n + 1)); break;
    case Kind::kTimestamp: field.column = plan::Column::Char(field.name, offset, n); break;
    case Kind::kUtf8Char:
    case Kind::kUtf8VarChar:
      field.column = plan::Column::Utf8VarChar(field.name, offset, static_cast<std::int16_t>(VXP_LENGTH_PREFIX_BYTES + n));
      field.marked = plan::Column::Utf8Char(field.name, offset + VXP_LENGTH_PREFIX_BYTES, static_cast<std::int16_t>(n + kUtf8EndMark.size()));
      break;
  }
}

// The words of a schema entry.
std::vector<std::string_view> Words(std::string_view item) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < item.size()) {
    while (i < item.size() && std::isspace(static_cast<unsigned char>(item[i]))) ++i;
    const std::size_t begin = i;
    while (i < item.size() && !std::isspace(static_cast<unsigned char>(item[i]))) ++i;
    if (i > begin) words.push_back(item.substr(begin, i - begin));
  }
  return words;
}

}  // namespace

int Field::Bytes() const { return IsUtf8() ? 2 + marked.length : column.length; }

std::optional<Schema> Schema::Parse(std::string_view text, std::string* error) {
  Schema schema;
  int offset = 0;  // where a column without "at" goes: after the one before it
  int declaredLength = -1;
  std::size_t start = 0;
  int position = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view item = Trim(text.substr(start, comma - start));
    start = comma + 1;
    ++position;
    if (item.empty()) {
      if (comma == text.size() && position > 1) break;  // a trailing comma is harmless
      *error = "column " + std::to_string(position) + " of the schema is empty";
      return std::nullopt;
    }
    std::vector<std::string_view> words = Words(item);
    // "record N": the records' length, when they hold more than the columns.
    if (words.size() == 2 && Lower(words[0]) == "record" && std::isdigit(static_cast<unsigned char>(words[1][0]))) {
      if (!ParseInteger(words[1], &declaredLength) || declaredLength < 1 || declaredLength > kLongestRecord) {
        *error = "schema: bad record length '" + std::string(words[1]) + "' (expected 1 to 30000)";
        return std::nullopt;
      }
      continue;
    }
    const std::string_view name = words[0];
    if (!ValidName(name)) {
      *error = "schema column " + std::to_string(position) + ": '" + std::string(name) +
               "' is not a column name (letters, digits and _)";
      return std::nullopt;
    }
    if (schema.Find(name) != nullptr) {
      *error = "schema column '" + std::string(name) + "' is declared twice";
      return std::nullopt;
    }
    Field field;
    field.name = std::string(name);
    // "NAME TYPE at OFFSET" places the column; without it the column follows the one before.
    bool placed = false;
    if (words.size() >= 4 && Lower(words[words.size() - 2]) == "at") {
      if (!ParseInteger(words.back(), &offset) || offset < 0 || offset >= kLongestRecord) {
        *error = "schema column '" + field.name + "': bad offset '" + std::string(words.back()) + "'";
        return std::nullopt;
      }
      placed = true;
      words.resize(words.size() - 2);
    }
    std::string type;
    for (std::size_t w = 1; w < words.size(); ++w) type += words[w];
    if (!ReadType(type, field, error)) return std::nullopt;
    LayOut(field, offset);
    const int end = offset + field.Bytes();
    if (end > kLongestRecord) {
      *error = "the schema's records are longer than 30000 bytes";
      return std::nullopt;
    }
    for (const Field& other : schema.fields_) {
      const int otherEnd = other.column.offset + other.Bytes();
      if (offset < otherEnd && other.column.offset < end) {
        *error = "schema column '" + field.name + "' (bytes " + std::to_string(offset) + " to " + std::to_string(end - 1) +
                 ") overlaps '" + other.name + "' (bytes " + std::to_string(other.column.offset) + " to " +
                 std::to_string(otherEnd - 1) + ")";
        return std::nullopt;
      }
    }
    schema.placed_ = schema.placed_ || placed;
    schema.recordLength_ = std::max(schema.recordLength_, end);
    offset = end;
    schema.fields_.push_back(std::move(field));
    if (comma == text.size()) break;
  }
  if (schema.fields_.empty()) {
    *error = "the schema declares no columns";
    return std::nullopt;
  }
  if (declaredLength >= 0) {
    if (declaredLength < schema.recordLength_) {
      *error = "schema: the records are " + std::to_string(declaredLength) + " bytes, but the columns take " +
               std::to_string(schema.recordLength_);
      return std::nullopt;
    }
    schema.placed_ = schema.placed_ || declaredLength != schema.recordLength_;
    schema.recordLength_ = declaredLength;
  }
  return schema;
}

std::string TerminatedText(std::string_view value, int width) {
  std::string bytes(value);
  bytes += '\0';
  bytes.resize(std::max<std::size_t>(bytes.size(), static_cast<std::size_t>(width)), '\x01');
  return bytes;
}

bool HoldsEndBytes(std::string_view text) {
  // A loop, not find_first_of, which searches the two bytes once for every byte of the text.
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= 1; });
}

std::string_view TextValue(const Field& field, std::string_view text) {
  while (field.DropsTrailingBlanks() && !text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string Utf8Fault(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size;) {
    const unsigned lead = bytes[i];
    std::size_t length = 1;
    std::uint32_t code = lead;
    std::uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, least = 0x10000;
    } else if (lead >= 0x80) {
      return "is not valid UTF-8";
    }
    if (i + length > size) return "is not valid UTF-8";
    for (std::size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return "is not valid UTF-8";
      code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
    if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return "is not valid UTF-8";
    if (code == 0xFFFF) return "holds U+FFFF, which ends text values in records";
    i += length;
  }
  return {};
}

std::string Schema::Text() const {
  std::string text;
  for (const Field& field : fields_) {
    text += (text.empty() ? "" : ", ") + field.name + " " + field.TypeName();
    if (placed_) text += " at " + std::to_string(field.column.offset);
  }
  if (placed_) text += ", record " + std::to_string(recordLength_);
  return text;
}

std::vector<std::uint8_t> Schema::EmptyRecord() const {
  std::vector<std::uint8_t> record(static_cast<std::size_t>(recordLength_), 0);
  for (const Field& field : fields_) {
    if (field.IsText() || field.kind == Kind::kTimestamp) Encode(field, "", record);
  }
  return record;
}

const Field* Schema::Find(std::string_view name) const {
  for (const Field& field : fields_) {
    if (SameName(field.name, name)) return &field;
  }
  return nullptr;
}

std::string Schema::Encode(const Field& field, std::string_view value, std::span<std::uint8_t> record) const {
  const int at = field.column.offset;
  // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string temporaries.
  const auto bad = [&](const std::string& why) { return Quoted(value).append(" is not ").append(why); };
  switch (field.kind) {
    case Kind::kInt16: {
      std::int16_t v;
      if (!ParseInteger(value, &v)) return bad("an int16 (-32768 to 32767)");
      Put(record, at, v);
      return {};
    }
    case Kind::kUInt16: {
      std::uint16_t v;
      if (!ParseInteger(value, &v)) return bad("a uint16 (0 to 65535)");
      Put(record, at, v);
      return {};
    }
    case Kind::kInt32: {
      std::int32_t v;
      if (!ParseInteger(value, &v)) return bad("an int32");
      Put(record, at, v);
      return {};
    }
    case Kind::kUInt32: {
      std::uint32_t v;
      if (!ParseInteger(value, &v)) return bad("a uint32");
      Put(record, at, v);
      return {};
    }
    case Kind::kDouble: {
      double v = 0;
      if (!ParseDouble(Trim(value), &v)) return bad("a finite number");
      Put(record, at, v);
      return {};
    }
    case Kind::kTimestamp: {
      if (Trim(value).empty()) {  // no time: blanks, which MKTIME refuses and every timestamp sorts after
        std::memset(record.data() + at, ' ', kTimestampLength);
        return {};
      }
      const std::string digits = TimestampDigits(value);
      if (digits.empty()) return bad("a timestamp (2024-01-15 12:30:00.250, or 16 digits YYYMMDDhhmmssmmm)");
      std::memcpy(record.data() + at, digits.data(), digits.size());
      return {};
    }
    default: break;
  }
  if (field.IsTerminated()) {
    const std::string_view text = TextValue(field, value);
    if (text.size() > static_cast<std::size_t>(field.capacity)) {
      return Quoted(value).append(" is ").append(std::to_string(text.size())).append(" bytes, longer than ").append(field.TypeName());
    }
    if (HoldsEndBytes(text)) {
      return Quoted(value).append(" holds a byte 0x00 or 0x01, which end text values in records");
    }
    // Written in place: this runs for every field of every row the program reads.
    std::uint8_t* bytes = record.data() + at;
    std::memcpy(bytes, text.data(), text.size());
    bytes[text.size()] = 0;
    std::memset(bytes + text.size() + 1, 1, static_cast<std::size_t>(field.column.length) - text.size() - 1);
    return {};
  }
  // A UTF-8 column: its length, the value, the end mark, blanks.
  const std::string_view text = TextValue(field, value);
  if (text.size() > static_cast<std::size_t>(field.capacity)) {
    return Quoted(value).append(" is ").append(std::to_string(text.size())).append(" bytes, longer than ").append(field.TypeName());
  }
  if (const std::string fault = Utf8Fault(text); !fault.empty()) return Quoted(value).append(" ").append(fault);
  Put(record, at, static_cast<std::uint16_t>(text.size()));
  std::uint8_t* data = record.data() + at + VXP_LENGTH_PREFIX_BYTES;
  std::memset(data, ' ', static_cast<std::size_t>(field.marked.length));
  std::memcpy(data, text.data(), text.size());
  std::memcpy(data + text.size(), kUtf8EndMark.data(), kUtf8EndMark.size());
  return {};
}

std::string Schema::Decode(const Field& field, const std::uint8_t* record) const {
  const int at = field.column.offset;
  switch (field.kind) {
    case Kind::kInt16: return std::to_string(Get<std::int16_t>(record, at));
    case Kind::kUInt16: return std::to_string(Get<std::uint16_t>(record, at));
    case Kind::kInt32: return std::to_string(Get<std::int32_t>(record, at));
    case Kind::kUInt32: return std::to_string(Get<std::uint32_t>(record, at));
    case Kind::kDouble: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15g", Get<double>(record, at));
      return buffer;
    }
    case Kind::kTimestamp:
      return TimestampText(std::string_view(reinterpret_cast<const char*>(record) + at, kTimestampLength));
    default: break;
  }
  if (field.IsTerminated()) {
    const auto* bytes = reinterpret_cast<const char*>(record) + at;
    return std::string(bytes, strnlen(bytes, static_cast<std::size_t>(field.column.length)));
  }
  const std::size_t length = std::min<std::size_t>(Get<std::uint16_t>(record, at), static_cast<std::size_t>(field.capacity));
  return std::string(reinterpret_cast<const char*>(record) + at + VXP_LENGTH_PREFIX_BYTES, length);
}

}  // namespace vexfilt::cli
