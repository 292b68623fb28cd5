// Byte-string helpers of the character routines and the search list: blank-padded comparison, string
// search, and the wildcard matcher. Bytes compare unsigned, case-sensitively; lengths are byte counts.
#ifndef VEXFILT_ROUTINES_BYTE_STRINGS_H_
#define VEXFILT_ROUTINES_BYTE_STRINGS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "host/trace.h"

namespace vexfilt {

inline constexpr std::uint8_t kBlank = 0x20;

// -1, 0 or +1 as the `n` bytes at `a` sort before, equal or after those at `b`, compared unsigned: memcmp's
// answer. Inline and a word at a time, because the routines compare a few bytes per record and a call to
// memcmp there cost more than the compare.
inline std::int32_t CompareBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  // Byte-swapped, the first differing byte is the most significant one that differs.
  const auto order = [](std::uint64_t x, std::uint64_t y) { return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1; };
  for (; n >= 8; a += 8, b += 8, n -= 8) {
    const auto x = LoadUnaligned<std::uint64_t>(a), y = LoadUnaligned<std::uint64_t>(b);
    if (x != y) return order(x, y);
  }
  if (n >= 4) {
    const std::uint64_t x = LoadUnaligned<std::uint32_t>(a), y = LoadUnaligned<std::uint32_t>(b);
    if (x != y) return order(x << 32, y << 32);
    a += 4, b += 4, n -= 4;
  }
  for (; n > 0; ++a, ++b, --n) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

// Position of the first of the `n` bytes at `p` that is not `pad`, or `n`.
inline std::size_t SkipPad(const std::uint8_t* p, std::size_t n, std::uint8_t pad) {
  const std::uint64_t pads = 0x0101010101010101ull * pad;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // The lowest set byte of the difference is the first byte that is not the pad.
    if (const std::uint64_t other = LoadUnaligned<std::uint64_t>(p + i) ^ pads) return i + static_cast<std::size_t>(__builtin_ctzll(other) / 8);
  }
  for (; i < n; ++i) {
    if (p[i] != pad) return i;
  }
  return n;
}

// -1, 0 or +1 as the `n` bytes at `p` sort before, equal to or after as many pad bytes: the first byte that
// is not the pad decides.
inline std::int32_t CompareWithPad(const std::uint8_t* p, std::size_t n, std::uint8_t pad) {
  const std::size_t at = SkipPad(p, n, pad);
  if (at == n) return 0;
  return p[at] > pad ? 1 : -1;
}

// Negative, 0 or positive as `a` sorts before, equal to or after `b`, the shorter counting as padded with
// `pad` to the longer one's length.
inline std::int32_t ComparePadded(const std::uint8_t* a, const std::uint8_t* b, std::int32_t lengthA,
                                  std::int32_t lengthB, std::uint8_t pad) {
  const std::int32_t common = std::max(0, std::min(lengthA, lengthB));
  if (const std::int32_t order = CompareBytes(a, b, static_cast<std::size_t>(common))) return order;
  if (lengthA == lengthB) return 0;
  // The longer operand's remaining bytes against the pad: the first that differs decides.
  const bool aLonger = lengthA > lengthB;
  const std::uint8_t* rest = (aLonger ? a : b) + common;
  const auto restLength = static_cast<std::size_t>((aLonger ? lengthA : lengthB) - common);
  const std::int32_t order = CompareWithPad(rest, restLength, pad);
  return aLonger ? order : -order;
}

// 1 when `search` occurs in `data`, else 0. An empty search string, or one longer than the data, is not found.
std::int32_t FindString(const std::uint8_t* data, std::int32_t length, const std::uint8_t* search,
                        std::int32_t searchLength);

// 1 when `search` occurs in `data` as padded with `pad` up to `capacity` bytes, else 0.
std::int32_t FindPaddedString(const std::uint8_t* data, std::int32_t length, const std::uint8_t* search,
                              std::int32_t searchLength, std::int32_t capacity, std::uint8_t pad);

// Wildcard match: "*" any run of bytes (possibly empty), "?" exactly one byte, every other byte itself.
// 0 on a match, 207 otherwise.
//
// The value counts as padded with blanks up to the effective width E (the value length, or when `width`
// is larger, the smaller of `width` and value + pattern length); only "?" and the blank match padding.
// The pattern need not cover the whole value. A "?" right after a "*" acts as a further "*".
//
// Work is bounded by (pattern length) × (E + 1) byte steps: one restart mark after the latest "*" is
// retried one value position further at each mismatch, never recursively; patterns longer than 2E + 1
// fail at once. Thousands of "*" or "?" cost one step each.
std::int32_t ComparePattern(const std::uint8_t* value, std::int32_t valueLength, const std::uint8_t* pattern,
                            std::int32_t patternLength, std::int32_t width, std::int32_t ignored = 0);

// ComparePattern's trace block, and whether its level traces the entry and exit of its calls (bit 0x40).
// Read at every record by the routines that stand in for the matcher, so that a level raised at run time
// is seen at the next record.
inline TraceBlock g_comparePatternBlock{"ComparePattern", kRoutineUnit, __LINE__};
inline bool ComparePatternTracesCalls() { return (TraceLevelOf(g_comparePatternBlock) & trace_bit::kEvents) != 0; }

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_BYTE_STRINGS_H_
