// Locale-aware text helpers: character lengths bounded by the text, and the wildcard matcher that walks
// whole characters and compares them by collation.
#ifndef VEXFILT_ROUTINES_NLS_PATTERN_H_
#define VEXFILT_ROUTINES_NLS_PATTERN_H_

#include <cstdint>

#include "host/nls.h"

namespace vexfilt {

// Bytes of the character starting at `text`, at least 1 and at most `remaining` (> 0): a character cut off
// by the end of its column is never read past that end.
std::int32_t CharacterBytes(NlsLocale* locale, const std::uint8_t* text, std::int32_t remaining);

// Bytes taken by the first `characters` characters of `text` (at most `length` bytes); *counted receives
// how many characters fitted.
std::int32_t BytesOfCharacters(NlsLocale* locale, const std::uint8_t* text, std::int32_t length,
                               std::int32_t characters, std::int32_t* counted);

// A collation flag word with its lengths in bytes. The routines count characters themselves, within the
// bytes each operand has, and hand the service byte lengths: counted by the service, a character cut off by
// the end of its column would be read past that end.
constexpr std::uint32_t InBytes(std::uint32_t flags) { return flags & ~nls_flag::kLengthsInCharacters; }

// ComparePattern on characters: 0 match, 207 no match, 1022 when the national-language service fails. An
// empty pattern or an empty value matches. The value counts as padded with `pad` up to the effective width;
// patterns longer than E + 3(E + 1) bytes do not match. Work is bounded as ComparePattern's.
std::int32_t CompareNLSPattern(const std::uint8_t* value, std::int32_t valueLength, const std::uint8_t* pattern,
                               std::int32_t patternLength, std::int32_t width, std::uint8_t pad, NlsLocale* locale);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_NLS_PATTERN_H_
