// National-language services: locale handles, collation, substring search, character lengths and
// locale-aware number parsing of UTF-8 text, built on ICU.
//
// A language id is (territory << 16) | language: territory the ISO 3166-1 numeric country code, language
// 1 en, 2 de, 3 fr, 4 es, 5 it, 6 pt, 7 nl, 8 sv, 9 ja, 10 zh, 11 ko, 12 ru, 13 pl. Id 0 means 0x03480001
// (en_US). Only code page 1208 (UTF-8) is served.
#ifndef VEXFILT_HOST_NLS_H_
#define VEXFILT_HOST_NLS_H_

#include <cstdint>

namespace vexfilt {

struct NlsLocale;  // opaque; one per Filter, used by one thread at a time

// Statuses of the national-language services.
namespace nls_status {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kUnknownTerritory = 33;
inline constexpr std::int32_t kUnknownLanguage = 39;
inline constexpr std::int32_t kUnsupportedCodePage = 41;
inline constexpr std::int32_t kBadArgument = 42;
inline constexpr std::int32_t kServiceFailure = 43;  // ICU could not open or run a service
}  // namespace nls_status

// Flag words of LCL2_Strcoll and LCL2_Findstr.
namespace nls_flag {
inline constexpr std::uint32_t kWholeValues = 0x80020024;  // lengths in bytes, trailing blanks not significant
inline constexpr std::uint32_t kSubstrings = 0x800200A4;  // lengths in characters, trailing blanks not significant
inline constexpr std::uint32_t kSingleCharacters = 0x800000A4;  // lengths in characters
inline constexpr std::uint32_t kSearch = 0x80000024;
inline constexpr std::uint32_t kLengthsInCharacters = 0x00000080;
inline constexpr std::uint32_t kBlankPadded = 0x00020000;
}  // namespace nls_flag

// A locale for `languageId` and `codePage`; null with *status non-zero when either cannot be served
// (33 unknown territory, 39 unknown language, another value for anything else). `reserved` is ignored.
NlsLocale* LCL2_GetLocale(std::uint32_t languageId, std::uint32_t codePage, std::uint32_t reserved,
                          std::int32_t* status);

// Re-targets `locale` (collation and number parsing) to `languageId`; 0, or the status LCL2_GetLocale would
// give. On failure the locale keeps its previous language. `category` and `reserved` are ignored.
std::int32_t LCL2_SetLocaleNumInfo(NlsLocale* locale, std::int32_t category, std::uint32_t languageId,
                                   std::uint32_t reserved);

void LCL2_ReleaseLocale(NlsLocale* locale);  // null is accepted

// Collates two UTF-8 texts: negative, 0 or positive. With kLengthsInCharacters the lengths count characters,
// otherwise bytes. With kBlankPadded, trailing blanks are not significant (the shorter text counts as padded
// with blanks). Returns 0 with *status non-zero on failure (invalid UTF-8 is not a failure: it collates as
// U+FFFD).
std::int32_t LCL2_Strcoll(NlsLocale* locale, const char* text1, std::int32_t length1, const char* text2,
                          std::int32_t length2, std::uint32_t flags, std::int32_t* status);

// The first occurrence of `pattern` in `text` under the locale's collation (byte lengths), or null. An empty
// pattern is found at the start of the text.
const char* LCL2_Findstr(NlsLocale* locale, const char* text, std::int32_t textLength, const char* pattern,
                         std::int32_t patternLength, std::uint32_t flags);

// Bytes of the one UTF-8 character that starts `text`: 1 to 4, at least 1 (an invalid lead byte counts as
// one byte). *status is 0, or non-zero for an invalid sequence.
std::int32_t LCL2_ByteLength(NlsLocale* locale, const char* text, std::int32_t* status);

// Parses a number written in the locale's conventions at the start of `text` (leading blanks skipped),
// keeping its fraction; *end is set after the last byte used, or to `text` when there is no number (then
// the result is 0). `reserved` is ignored.
double LCL2_StringToDouble(NlsLocale* locale, const char* text, std::int32_t length, const char** end,
                           std::uint32_t reserved);

// Test hook: the next LCL2_GetLocale or LCL2_SetLocaleNumInfo fails with `status` (0: none fails).
void FailNextLocaleCall(std::int32_t status);

}  // namespace vexfilt

#endif  // VEXFILT_HOST_NLS_H_
