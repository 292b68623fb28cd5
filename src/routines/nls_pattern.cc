#include "routines/nls_pattern.h"

#include <algorithm>
#include <cstring>

#include "core/status.h"
#include "host/trace.h"

namespace vexfilt {

std::int32_t CharacterBytes(NlsLocale* locale, const std::uint8_t* text, std::int32_t remaining) {
  std::int32_t ignored = 0;
  if (remaining >= 4) return LCL2_ByteLength(locale, reinterpret_cast<const char*>(text), &ignored);
  char copy[4] = {};
  std::memcpy(copy, text, static_cast<std::size_t>(remaining));
  return std::min(remaining, LCL2_ByteLength(locale, copy, &ignored));
}

std::int32_t BytesOfCharacters(NlsLocale* locale, const std::uint8_t* text, std::int32_t length,
                               std::int32_t characters, std::int32_t* counted) {
  std::int32_t bytes = 0, count = 0;
  while (count < characters && bytes < length) {
    bytes += CharacterBytes(locale, text + bytes, length - bytes);
    ++count;
  }
  *counted = count;
  return bytes;
}

namespace {

constexpr std::int32_t kMatch = status::kOk, kNoMatch = status::kNoMatch, kFailed = status::kLocaleError;

// Single characters compared by collation: 0 equal, 1 different, or kFailed. Each is given by its bytes,
// counted within what remains of its text.
struct Collator {
  NlsLocale* locale;
  std::int32_t nlsStatus = 0;

  std::int32_t Same(const std::uint8_t* a, std::int32_t aBytes, const std::uint8_t* b, std::int32_t bBytes) {
    std::int32_t st = 0;
    const std::int32_t order = LCL2_Strcoll(locale, reinterpret_cast<const char*>(a), aBytes,
                                            reinterpret_cast<const char*>(b), bBytes,
                                            InBytes(nls_flag::kSingleCharacters), &st);
    if (order == 0 && st != 0) {
      nlsStatus = st;
      return kFailed;
    }
    return order == 0 ? 0 : 1;
  }
};

constexpr std::uint8_t kQuestion[1] = {'?'};
constexpr std::uint8_t kStar[1] = {'*'};

}  // namespace

std::int32_t CompareNLSPattern(const std::uint8_t* value, std::int32_t valueLength, const std::uint8_t* pattern,
                               std::int32_t patternLength, std::int32_t width, std::uint8_t pad, NlsLocale* locale) {
  static TraceBlock block{"CompareNLSPattern", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (patternLength <= 0 || valueLength <= 0) return trace.Exit(kMatch, __LINE__);
  const std::int32_t e = valueLength >= width ? valueLength : std::min(width, valueLength + patternLength);
  if (patternLength > e + 3 * (e + 1)) return trace.Exit(kNoMatch, __LINE__);

  Collator collate{locale};
  const std::uint8_t padByte[1] = {pad};
  std::int32_t p = 0, v = 0, markP = 0, markV = 0;
  bool starSeen = false, markPending = false, questionIsStar = false;
  // The value character at v: one byte of padding beyond the value.
  auto valueStep = [&](std::int32_t at) { return at < valueLength ? CharacterBytes(locale, value + at, valueLength - at) : 1; };
  auto valueChar = [&](std::int32_t at) { return at < valueLength ? value + at : padByte; };
  std::int32_t result = kMatch;

  while (p < patternLength) {
    const std::uint8_t* c = pattern + p;
    const std::int32_t cBytes = CharacterBytes(locale, c, patternLength - p);
    std::int32_t isStar = questionIsStar ? 0 : collate.Same(c, cBytes, kStar, 1);
    questionIsStar = false;
    if (isStar == kFailed) { result = kFailed; break; }
    if (isStar == 0) {
      starSeen = true;
      markPending = true;
      p += cBytes;
      if (p >= patternLength) break;
      const std::uint8_t* d = pattern + p;
      const std::int32_t dBytes = CharacterBytes(locale, d, patternLength - p);
      const std::int32_t dQuestion = collate.Same(d, dBytes, kQuestion, 1);
      const std::int32_t dStar = dQuestion == 0 ? 1 : collate.Same(d, dBytes, kStar, 1);
      if (dQuestion == kFailed || dStar == kFailed) { result = kFailed; break; }
      if (dQuestion == 0) {
        if (v >= e) { result = kNoMatch; break; }
        questionIsStar = true;
      } else if (dStar != 0) {
        // Scan the value for a character that collates equal to d.
        std::int32_t same = 1;
        while (v < valueLength) {
          const std::int32_t step = valueStep(v);
          if ((same = collate.Same(value + v, step, d, dBytes)) != 1) break;
          v += step;
        }
        if (same == kFailed) { result = kFailed; break; }
        if (v >= e) { result = kNoMatch; break; }
        if (v >= valueLength) {
          const std::int32_t blank = collate.Same(d, dBytes, padByte, 1);
          if (blank != 0) { result = blank == kFailed ? kFailed : kNoMatch; break; }
          ++v;
        }
      }
      continue;
    }
    const std::int32_t isQuestion = collate.Same(c, cBytes, kQuestion, 1);
    if (isQuestion == kFailed) { result = kFailed; break; }
    if (starSeen && markPending) {
      markP = p;
      markV = v;
      markPending = false;
    }
    if (v >= e) { result = kNoMatch; break; }
    const std::int32_t vBytes = valueStep(v);
    std::int32_t matches = isQuestion == 0 ? 0 : collate.Same(valueChar(v), vBytes, c, cBytes);
    if (matches == kFailed) { result = kFailed; break; }
    if (matches == 0) {
      p += cBytes;
      v += vBytes;
    } else if (starSeen) {
      p = markP;
      v = markV + valueStep(markV);
      markPending = true;
    } else {
      result = kNoMatch;
      break;
    }
  }
  if (result == kFailed && trace.HasAny(trace_bit::k80)) {
    TracePrintf(block, __LINE__, "Like LCL1 Error rc=%d status=%d len=%d/%d patlen=%d at offset %d patoffs %d ",
                collate.nlsStatus, kFailed, valueLength, e, patternLength, v, p);
    TraceDump(block, __LINE__, value, static_cast<std::size_t>(valueLength));
    TraceDump(block, __LINE__, pattern, static_cast<std::size_t>(patternLength));
  }
  return trace.Exit(result, __LINE__);
}

}  // namespace vexfilt
