// Byte-string helpers of the character routines and the search list: blank-padded comparison, string
// search, and the wildcard matcher. Bytes compare unsigned, case-sensitively; lengths are byte counts.
#ifndef VEXFILT_ROUTINES_BYTE_STRINGS_H_
#define VEXFILT_ROUTINES_BYTE_STRINGS_H_

#include <cstdint>

namespace vexfilt {

inline constexpr std::uint8_t kBlank = 0x20;

// Negative, 0 or positive as `a` sorts before, equal to or after `b`, the shorter counting as padded with
// `pad` to the longer one's length.
std::int32_t ComparePadded(const std::uint8_t* a, const std::uint8_t* b, std::int32_t lengthA, std::int32_t lengthB,
                           std::uint8_t pad);

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

// True while ComparePattern's level traces the entry and exit of its calls (bit 0x40).
bool ComparePatternTracesCalls();

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_BYTE_STRINGS_H_
