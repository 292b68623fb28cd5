// CompareNumeric and ConvertNumericText: numbers of different representations, and numbers written as text.
#include "routines/numeric_routines.h"
#include "routines/operands.h"

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "core/status.h"
#include "host/nls.h"

namespace vexfilt {
namespace {

using namespace operands;

constexpr std::size_t kTextLimit = 311;  // characters of a number's text that are parsed

// An operand's value area: its converted value, then its divisor (10 to the power of its scale).
struct ValueArea {
  void* base;
  double value() const { return LoadUnaligned<double>(base); }
  void set_value(double v) const { StoreUnaligned(base, v); }
  double divisor() const { return LoadUnaligned<double>(BytesAt(base, 8)); }
};

// One side of the element: where its column is and how it is represented.
struct Side {
  std::int32_t offset;
  std::uint16_t flags;
  ValueArea area;
};

Side LeftOf(FilterElement& e) { return {e.columnOffset, e.leftFlags, {e.leftData}}; }
Side RightOf(FilterElement& e) { return {e.rightColumnOffset, e.rightFlags, {e.rightData}}; }

// Scaled mode: the operand as a double divided by its divisor, or its text read as a number.
std::int32_t ReadScaled(FilterElement& e, const std::uint8_t* record, int operand) {
  const Side side = operand == 0 ? LeftOf(e) : RightOf(e);
  const bool isUnsigned = (side.flags & rep::kUnsigned) != 0;
  double value;
  if (side.flags & rep::kShort) {
    const std::int16_t raw = numeric::Short(record, side.offset);
    value = isUnsigned ? static_cast<double>(static_cast<std::uint16_t>(raw)) : raw;
  } else if (side.flags & rep::kLong) {
    const std::int32_t raw = numeric::Long(record, side.offset);
    value = isUnsigned ? static_cast<double>(static_cast<std::uint32_t>(raw)) : raw;
  } else if (side.flags & rep::kDouble) {
    value = numeric::Double(record, side.offset);
  } else if (side.flags & rep::kAnyChar) {
    return ConvertNumericText(e, record, operand);
  } else {
    return status::kUnreadableOperand;
  }
  side.area.set_value(value / side.area.divisor());
  return status::kOk;
}

// Unscaled mode: the operand in its own type, kept in the element's work words as the routines' traces
// expect to find it.
struct Number {
  enum class Kind { kSigned, kUnsigned32, kDouble } kind;
  std::int64_t integer;
  double real;
};

std::int32_t ReadLeftUnscaled(FilterElement& e, const std::uint8_t* record, Number* out) {
  const bool isUnsigned = (e.leftFlags & rep::kUnsigned) != 0;
  if (e.leftFlags & rep::kShort) {
    const std::int16_t raw = numeric::Short(record, e.columnOffset);
    KeepLeftWord(e, static_cast<std::uint16_t>(raw));
    *out = {Number::Kind::kSigned, numeric::Widen(raw, isUnsigned), 0};
  } else if (e.leftFlags & rep::kLong) {
    e.leftResult = numeric::Long(record, e.columnOffset);
    *out = isUnsigned ? Number{Number::Kind::kUnsigned32, static_cast<std::uint32_t>(e.leftResult), 0}
                      : Number{Number::Kind::kSigned, e.leftResult, 0};
  } else if (e.leftFlags & rep::kDouble) {
    *out = {Number::Kind::kDouble, 0, numeric::Double(record, e.columnOffset)};
  } else {
    return status::kUnreadableOperand;
  }
  return status::kOk;
}

// A right operand flagged unsigned or varying is read unsigned, and may then not be a double.
std::int32_t ReadRightUnscaled(FilterElement& e, const std::uint8_t* record, Number* out) {
  const bool isUnsigned = (e.rightFlags & (rep::kUnsigned | rep::kVarying)) != 0;
  if (e.rightFlags & rep::kShort) {
    const std::int16_t raw = numeric::Short(record, e.rightColumnOffset);
    KeepRightWord(e, raw);
    *out = {Number::Kind::kSigned, numeric::Widen(raw, isUnsigned), 0};
  } else if (e.rightFlags & rep::kLong) {
    e.rightResult = numeric::Long(record, e.rightColumnOffset);
    *out = isUnsigned ? Number{Number::Kind::kUnsigned32, static_cast<std::uint32_t>(e.rightResult), 0}
                      : Number{Number::Kind::kSigned, e.rightResult, 0};
  } else if ((e.rightFlags & rep::kDouble) && !isUnsigned) {
    *out = {Number::Kind::kDouble, 0, numeric::Double(record, e.rightColumnOffset)};
  } else {
    return status::kUnreadableOperand;
  }
  return status::kOk;
}

double AsDouble(const Number& n) { return n.kind == Number::Kind::kDouble ? n.real : static_cast<double>(n.integer); }

// Doubles win; otherwise an unsigned 4-byte operand makes the comparison unsigned on 32 bits.
std::int32_t CompareUnscaled(const Number& left, const Number& right) {
  if (left.kind == Number::Kind::kDouble || right.kind == Number::Kind::kDouble) {
    return ThreeWay(AsDouble(left), AsDouble(right));
  }
  if (left.kind == Number::Kind::kUnsigned32 || right.kind == Number::Kind::kUnsigned32) {
    return ThreeWay(static_cast<std::uint32_t>(left.integer), static_cast<std::uint32_t>(right.integer));
  }
  return ThreeWay(static_cast<std::int32_t>(left.integer), static_cast<std::int32_t>(right.integer));
}

// A number in decimal: its digits without leading zeros, and how many of them stand before the decimal
// point (fewer than none, or more than there are, when an exponent moves the point).
struct Decimal {
  bool negative = false;
  int count = 0;
  int point = 0;
  char digits[kTextLimit + 1];
};

// Reads [text, end) when it is [blanks][sign]digits[.digits][e[sign]digits]: the decimal forms strtod
// reads. Hexadecimal, infinity and not-a-number are other forms, and give false.
bool ReadDecimal(const char* text, const char* end, Decimal* out) {
  const char localePoint = *std::localeconv()->decimal_point;  // strtod reads the current C locale's point
  const char* p = text;
  while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
  out->negative = p < end && *p == '-';
  if (p < end && (*p == '-' || *p == '+')) ++p;
  out->count = 0;
  out->point = 0;
  bool anyDigit = false, afterPoint = false;
  for (; p < end; ++p) {
    if (*p >= '0' && *p <= '9') {
      anyDigit = true;
      if (out->count == 0 && *p == '0') {
        if (afterPoint) --out->point;  // a leading zero after the point moves it
        continue;
      }
      if (out->count == static_cast<int>(kTextLimit)) return false;
      out->digits[out->count++] = *p;
      if (!afterPoint) ++out->point;
    } else if (!afterPoint && (*p == '.' || *p == localePoint)) {
      afterPoint = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negativeExponent = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end || *p < '0' || *p > '9') return false;
    int exponent = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) exponent = std::min(exponent * 10 + (*p - '0'), 100000);
    out->point += negativeExponent ? -exponent : exponent;
  }
  return p == end;
}

// The decimal a double stands for: the digits it was read from when they were at most 15 significant
// digits, since no other decimal that short leads to the same double; else its 17-digit expansion.
bool DecimalOf(double value, Decimal* out) {
  char text[48];
  std::snprintf(text, sizeof text, "%.14e", value);
  if (std::strtod(text, nullptr) != value) std::snprintf(text, sizeof text, "%.16e", value);
  return ReadDecimal(text, text + std::strlen(text), out);
}

// Rounds `number` to `scale` decimals; halves go towards positive infinity. Decided on the decimal digits
// alone: a digit short of a half, however far down the text, keeps the number below it. `value` is the
// number as parsed, kept when no digit lies beyond the scale.
double RoundDecimal(const Decimal& number, int scale, double value) {
  const int kept = number.point + scale;  // digits up to the last decimal kept
  if (number.count == 0 || kept >= number.count) return value;
  // The first digit beyond the scale, a zero when the digits start further down; the digits start non-zero.
  const char first = kept < 0 ? '0' : number.digits[kept];
  bool restNonZero = kept < 0;
  for (int i = std::max(kept + 1, 0); i < number.count && !restNonZero; ++i) restNonZero = number.digits[i] != '0';
  const bool half = first == '5' && !restNonZero;
  const bool exact = first == '0' && !restNonZero;
  const bool away = first > '5' || (first == '5' && restNonZero) || (half && !number.negative);
  if (exact) return value;

  // sign, a digit for the carry, the kept digits, "e-", the scale (at most 127), terminator
  char text[1 + 1 + kTextLimit + 2 + 3 + 1];
  char* digits = text + 1;
  int length = std::max(kept, 0);
  std::memcpy(digits + 1, number.digits, static_cast<std::size_t>(length));
  digits[0] = '0';
  if (length == 0) digits[++length] = '0';
  if (away) {
    int i = length;
    while (digits[i] == '9') digits[i--] = '0';
    ++digits[i];  // stops at the leading '0' at the latest
  }
  text[0] = number.negative ? '-' : '+';
  std::snprintf(digits + 1 + length, sizeof text - static_cast<std::size_t>(2 + length), "e-%d", scale);
  return std::strtod(text, nullptr);
}

// When the decimal cannot be known (infinity, not-a-number, a point this reader does not know), the
// double's own fraction decides.
double RoundDouble(double value, double divisor) {
  const double scaled = divisor * value;
  double whole;
  const double fraction = std::modf(scaled, &whole);
  const bool up = fraction >= 0.5 || (fraction >= -0.5 && fraction < 0);
  return (up ? std::ceil(scaled) : std::floor(scaled)) / divisor;
}

// `text` is what strtod read the value from, or null when the value came from elsewhere.
double RoundToScale(double value, int scale, double divisor, const char* text, const char* end) {
  Decimal number;
  if ((text != nullptr && ReadDecimal(text, end, &number)) || DecimalOf(value, &number)) {
    return RoundDecimal(number, scale, value);
  }
  return RoundDouble(value, divisor);
}

}  // namespace

std::int32_t ConvertNumericText(FilterElement& e, const std::uint8_t* record, int operand) {
  const bool left = operand == 0;
  const std::int32_t offset = left ? e.columnOffset : e.rightColumnOffset;
  const std::int32_t declared = left ? e.columnLength : e.rightScale;
  const std::uint16_t flags = left ? e.leftFlags : e.rightFlags;
  const auto roundingScale = static_cast<std::int8_t>((left ? e.rightScale : e.leftScale) & 0xFF);
  const ValueArea area{left ? e.leftData : e.rightData};
  const ValueArea other{left ? e.rightData : e.leftData};

  const std::uint8_t* text = record + offset;
  std::int32_t length = declared;
  if (flags & rep::kVarying) {
    const std::uint16_t prefix = LoadUnaligned<std::uint16_t>(text);
    if (left) {
      KeepLeftWord(e, prefix);
    } else {
      KeepRightWord(e, static_cast<std::int16_t>(prefix));
    }
    if (prefix > declared - kLengthPrefix) return status::kLengthOutOfRange;
    text += kLengthPrefix;
    length = prefix;
  }
  if (length < 0) length = 0;

  double value;
  const char* start;
  const char* end;
  char buffer[kTextLimit + 1];
  if (flags & rep::kChar) {
    const std::size_t copied = std::min(static_cast<std::size_t>(length), kTextLimit);
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    char* parsedEnd = nullptr;
    value = std::strtod(buffer, &parsedEnd);
    start = buffer;
    end = parsedEnd;
  } else if (flags & rep::kUtf8) {
    // The locale service keeps the fraction, and so does this library.
    start = reinterpret_cast<const char*>(text);
    value = LCL2_StringToDouble(e.filter ? e.filter->locale : nullptr, start, length, &end, 0);
  } else {
    return status::kBadNumber;
  }
  area.set_value(value);
  if (value == 0.0 && end == start) return status::kBadNumber;
  if (roundingScale > 0) {
    const bool fromText = (flags & rep::kChar) != 0;  // the locale service's text may group digits
    area.set_value(RoundToScale(value, roundingScale, other.divisor(), fromText ? start : nullptr, end));
  }
  return status::kOk;
}

std::int32_t CompareNumeric(FilterElement& e, const std::uint8_t* record) {
  if (e.leftFlags & rep::kScaled) {
    std::int32_t st = ReadScaled(e, record, 0);
    const std::int32_t rightStatus = ReadScaled(e, record, 1);
    if (st == status::kOk) st = rightStatus;
    if (st != status::kOk) {
      e.conditionCode = st;
      return st;
    }
    e.conditionCode = ThreeWay(ValueArea{e.leftData}.value(), ValueArea{e.rightData}.value());
    return status::kOk;
  }
  Number left, right;
  if (std::int32_t st = ReadLeftUnscaled(e, record, &left)) return st;
  if (std::int32_t st = ReadRightUnscaled(e, record, &right)) return st;
  e.conditionCode = CompareUnscaled(left, right);
  return status::kOk;
}

}  // namespace vexfilt
