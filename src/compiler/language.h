// Language ids for locale-aware comparison: (territory << 16) | language, the territory an ISO 3166-1
// numeric code and the language a number from the library's table (1 en ... 13 pl).
#ifndef VEXFILT_COMPILER_LANGUAGE_H_
#define VEXFILT_COMPILER_LANGUAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vexfilt::cli {

// Reads "sv_SE", "de-CH", "fr" (the language's own country) or a number such as 0x02F40002. Returns false
// and sets `error` when the language or the territory is not one the library knows.
bool ParseLanguage(std::string_view text, std::uint32_t* languageId, std::string* error);

// "sv_SE" for a known id, otherwise the id in hexadecimal.
std::string LanguageName(std::uint32_t languageId);

}  // namespace vexfilt::cli

#endif  // VEXFILT_COMPILER_LANGUAGE_H_
