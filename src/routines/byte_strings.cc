#include "routines/byte_strings.h"

#include <algorithm>
#include <cstring>

#include "core/status.h"
#include "host/trace.h"

namespace vexfilt {

std::int32_t FindString(const std::uint8_t* data, std::int32_t length, const std::uint8_t* search,
                        std::int32_t searchLength) {
  if (searchLength <= 0 || searchLength > length) return 0;
  const std::uint8_t* const last = data + (length - searchLength);
  for (const std::uint8_t* p = data; p <= last;) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, search[0], static_cast<std::size_t>(last - p + 1)));
    if (p == nullptr) return 0;
    if (std::memcmp(p + 1, search + 1, static_cast<std::size_t>(searchLength - 1)) == 0) return 1;
    ++p;
  }
  return 0;
}

std::int32_t FindPaddedString(const std::uint8_t* data, std::int32_t length, const std::uint8_t* search,
                              std::int32_t searchLength, std::int32_t capacity, std::uint8_t pad) {
  if (capacity < searchLength || searchLength <= 0) return 0;
  for (std::int32_t p = 0; p < length;) {
    const void* hit = std::memchr(data + p, search[0], static_cast<std::size_t>(length - p));
    if (hit == nullptr) break;
    p = static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - data);
    if (p + searchLength <= length) {
      if (std::memcmp(data + p, search, static_cast<std::size_t>(searchLength)) == 0) return 1;
    } else if (p + searchLength > capacity) {
      break;
    } else if (ComparePadded(data + p, search, length - p, searchLength, pad) == 0) {
      return 1;
    }
    ++p;
  }
  // Not in the data: a string of pad bytes is still found in the padding, when it fits there.
  for (std::int32_t i = 0; i < searchLength; ++i) {
    if (search[i] != pad) return 0;
  }
  return length + searchLength <= capacity ? 1 : 0;
}

std::int32_t ComparePattern(const std::uint8_t* value, std::int32_t valueLength, const std::uint8_t* pattern,
                            std::int32_t patternLength, std::int32_t width, std::int32_t) {
  TraceScope trace(g_comparePatternBlock, __LINE__);
  constexpr std::int32_t kMatch = status::kOk, kNoMatch = status::kNoMatch;
  if (patternLength <= 0 && valueLength <= 0) return trace.Exit(kMatch, __LINE__);
  valueLength = std::max(valueLength, 0);
  patternLength = std::max(patternLength, 0);
  const std::int32_t e = valueLength >= width ? valueLength : std::min(width, valueLength + patternLength);
  if (patternLength > 2 * e + 1) return trace.Exit(kNoMatch, __LINE__);

  std::int32_t p = 0, v = 0;
  bool starSeen = false, markPending = false, questionIsStar = false;
  std::int32_t markP = 0, markV = 0;
  while (p < patternLength) {
    const std::uint8_t c = pattern[p];
    const bool star = c == '*' || questionIsStar;
    questionIsStar = false;
    if (star) {
      starSeen = true;
      markPending = true;
      if (++p == patternLength) break;
      const std::uint8_t d = pattern[p];
      if (d == '?') {
        // Taken as a further "*": it consumes no value position.
        if (v >= e) return trace.Exit(kNoMatch, __LINE__);
        questionIsStar = true;
      } else if (d != '*') {
        const void* hit = v < valueLength ? std::memchr(value + v, d, static_cast<std::size_t>(valueLength - v)) : nullptr;
        v = hit ? static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - value) : std::max(v, valueLength);
        if (v >= e) return trace.Exit(kNoMatch, __LINE__);
        if (v >= valueLength) {
          if (d != kBlank) return trace.Exit(kNoMatch, __LINE__);
          ++v;
        }
      }
      continue;
    }
    if (starSeen && markPending) {
      markP = p;
      markV = v;
      markPending = false;
    }
    if (v >= e) return trace.Exit(kNoMatch, __LINE__);
    const bool matches = c == '?' || (v < valueLength ? value[v] == c : c == kBlank);
    if (matches) {
      ++p;
      ++v;
    } else if (starSeen) {
      p = markP;
      v = markV + 1;
      markPending = true;
    } else {
      return trace.Exit(kNoMatch, __LINE__);
    }
  }
  return trace.Exit(kMatch, __LINE__);
}

}  // namespace vexfilt
