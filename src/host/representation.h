// Data representations of a sending machine, as the NDR format label describes them, and the conversion
// of single values between such a representation and the local one (ASCII, little-endian, IEEE).
//
// The representation word: bits 0-3 characters (0 ASCII, 1 EBCDIC code page 037), bits 4-7 integers
// (0 big-endian, 1 little-endian), bits 8-15 floating point (0 IEEE in the integers' byte order, 3 IBM
// hexadecimal, big-endian). Other values are not served.
#ifndef VEXFILT_HOST_REPRESENTATION_H_
#define VEXFILT_HOST_REPRESENTATION_H_

#include <unicode/ucnv.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vexfilt {

struct Representation {
  std::uint8_t characters;  // 0 ASCII, 1 EBCDIC
  std::uint8_t integers;  // 0 big-endian, 1 little-endian
  std::uint8_t floats;  // 0 IEEE, 3 IBM hexadecimal

  static constexpr Representation Of(std::uint32_t word) {
    return {static_cast<std::uint8_t>(word & 0x0F), static_cast<std::uint8_t>((word >> 4) & 0x0F),
            static_cast<std::uint8_t>((word >> 8) & 0xFF)};
  }
  constexpr std::uint32_t Word() const {
    return static_cast<std::uint32_t>(characters) | static_cast<std::uint32_t>(integers) << 4 |
           static_cast<std::uint32_t>(floats) << 8;
  }
  constexpr bool operator==(const Representation&) const = default;
  constexpr bool Supported() const { return characters <= 1 && integers <= 1 && (floats == 0 || floats == 3); }
  constexpr bool SwapsIntegers() const { return integers == 0; }
};

inline constexpr std::uint8_t kAscii = 0, kEbcdic = 1, kBigEndian = 0, kLittleEndian = 1, kIeee = 0, kIbmHex = 3;
inline constexpr Representation kLocalRepresentation{kAscii, kLittleEndian, kIeee};
inline constexpr Representation kBigEndianAscii{kAscii, kBigEndian, kIeee};
inline constexpr Representation kMainframe{kEbcdic, kBigEndian, kIbmHex};

namespace representation {

// Byte tables between code page 037 and ISO 8859-1, made once from ICU's converter.
struct CodePageTables {
  std::array<std::uint8_t, 256> fromEbcdic{};
  std::array<std::uint8_t, 256> toEbcdic{};
};
inline const CodePageTables& Ebcdic037() {
  static const CodePageTables tables = [] {
    CodePageTables t;
    char all[256], out[256];
    for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n = ucnv_convert("ISO-8859-1", "ibm-37", out, sizeof out, all, sizeof all, &error);
    for (int i = 0; i < 256; ++i) t.fromEbcdic[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    if (U_SUCCESS(error) && n == 256) {
      for (int i = 0; i < 256; ++i) t.fromEbcdic[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(out[i]);
    }
    for (int i = 0; i < 256; ++i) t.toEbcdic[t.fromEbcdic[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(i);
    return t;
  }();
  return tables;
}

inline void Reverse(std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n / 2; ++i) std::swap(p[i], p[n - 1 - i]);
}

// IBM hexadecimal long (sign, 7-bit exponent of 16 biased by 64, 56-bit fraction), big-endian, to a double.
inline double FromIbmHex(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = bits << 8 | p[i];
  const bool negative = bits >> 63;
  const int exponent = static_cast<int>((bits >> 56) & 0x7F) - 64;
  const std::uint64_t fraction = bits & 0x00FFFFFFFFFFFFFFull;
  const double magnitude = std::ldexp(static_cast<double>(fraction), 4 * exponent - 56);
  return negative ? -magnitude : magnitude;
}

// A double as IBM hexadecimal long, big-endian; values beyond its range saturate, NaN becomes 0.
inline void ToIbmHex(double value, std::uint8_t* p) {
  std::uint64_t bits = 0;
  if (value != 0 && !std::isnan(value)) {
    const bool negative = value < 0;
    int exponent2 = 0;
    double fraction = std::frexp(std::fabs(value), &exponent2);  // [0.5, 1) × 2^e2
    const int exponent16 = static_cast<int>(std::ceil(exponent2 / 4.0));
    fraction = std::ldexp(fraction, exponent2 - 4 * exponent16);  // [1/16, 1)
    if (exponent16 + 64 > 127) {
      bits = 0x7FFFFFFFFFFFFFFFull;
    } else if (exponent16 + 64 >= 0) {
      const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 56));
      bits = static_cast<std::uint64_t>(exponent16 + 64) << 56 | (mantissa & 0x00FFFFFFFFFFFFFFull);
    }
    if (negative && bits != 0) bits |= 1ull << 63;
  }
  for (int i = 7; i >= 0; --i) {
    p[i] = static_cast<std::uint8_t>(bits & 0xFF);
    bits >>= 8;
  }
}

}  // namespace representation

// Element types of the conversion service.
namespace element_type {
inline constexpr int kByte = 1, kCharacter = 2, kShort = 5, kLong = 7, kWord = 8, kFloat = 12, kWhole = 13;
inline constexpr int kDouble = 14;  // a whole 8-byte floating-point value
}  // namespace element_type

namespace representation {

enum class Direction { kToLocal, kToForeign };

inline std::size_t ElementSize(int elementType) {
  switch (elementType) {
    case element_type::kShort: return 2;
    case element_type::kLong:
    case element_type::kWord:
    case element_type::kFloat: return 4;
    case element_type::kDouble: return 8;
    default: return 1;
  }
}

// IBM hexadecimal short (4 bytes) to a float, and back.
inline float FromIbmHexShort(const std::uint8_t* p) {
  std::uint8_t wide[8] = {p[0], p[1], p[2], p[3], 0, 0, 0, 0};
  return static_cast<float>(FromIbmHex(wide));
}

// One element converted between `word`'s representation and the local one, in either direction.
inline void ConvertOne(Direction direction, Representation sender, int elementType, std::uint8_t* unit) {
  switch (elementType) {
    case element_type::kCharacter:
    case element_type::kWhole:
      if (sender.characters == kEbcdic) {
        const auto& tables = Ebcdic037();
        *unit = (direction == Direction::kToLocal ? tables.fromEbcdic : tables.toEbcdic)[*unit];
      }
      return;
    case element_type::kShort:
    case element_type::kLong:
    case element_type::kWord:
      if (sender.SwapsIntegers()) Reverse(unit, ElementSize(elementType));
      return;
    case element_type::kFloat:
    case element_type::kDouble: {
      const std::size_t size = ElementSize(elementType);
      if (sender.floats == kIbmHex) {
        if (direction == Direction::kToLocal) {
          if (size == 8) {
            const double value = FromIbmHex(unit);
            std::memcpy(unit, &value, 8);
          } else {
            const float value = FromIbmHexShort(unit);
            std::memcpy(unit, &value, 4);
          }
        } else {
          double value;
          if (size == 8) {
            std::memcpy(&value, unit, 8);
          } else {
            float single;
            std::memcpy(&single, unit, 4);
            value = single;
          }
          std::uint8_t wide[8];
          ToIbmHex(value, wide);
          std::memcpy(unit, wide, size);
        }
      } else if (sender.SwapsIntegers()) {
        Reverse(unit, size);
      }
      return;
    }
    default: return;  // single bytes stay as they are
  }
}

// `count` elements from `source` to `destination` (which may be the same); the address after the last.
inline std::uint8_t* Convert(Direction direction, std::uint32_t word, int elementType, const std::uint8_t* source,
                             std::uint8_t* destination, std::int32_t count) {
  const Representation sender = Representation::Of(word);
  const std::size_t size = ElementSize(elementType);
  for (std::int32_t i = 0; i < count; ++i) {
    if (destination != source) std::memmove(destination, source, size);
    ConvertOne(direction, sender, elementType, destination);
    source += size;
    destination += size;
  }
  return destination;
}

}  // namespace representation

}  // namespace vexfilt

#endif  // VEXFILT_HOST_REPRESENTATION_H_
