#include "language.h"

#include <unicode/uregion.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace vexfilt::cli {
namespace {

// The library's language numbers, with the country a bare language code stands for.
struct Language {
  const char* code;
  std::uint32_t number;
  const char* country;
};
constexpr Language kLanguages[] = {
    {"en", 1, "US"},  {"de", 2, "DE"},  {"fr", 3, "FR"},  {"es", 4, "ES"}, {"it", 5, "IT"},
    {"pt", 6, "PT"},  {"nl", 7, "NL"},  {"sv", 8, "SE"},  {"ja", 9, "JP"}, {"zh", 10, "CN"},
    {"ko", 11, "KR"}, {"ru", 12, "RU"}, {"pl", 13, "PL"},
};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string KnownLanguages() {
  std::string codes;
  for (const Language& language : kLanguages) {
    if (!codes.empty()) codes += ' ';
    codes += language.code;
  }
  return codes;
}

}  // namespace

bool ParseLanguage(std::string_view text, std::uint32_t* languageId, std::string* error) {
  if (!text.empty() && std::isdigit(static_cast<unsigned char>(text.front()))) {
    const std::string number(text);
    char* end = nullptr;
    const unsigned long value = std::strtoul(number.c_str(), &end, 0);
    if (*end != '\0' || value > 0xFFFFFFFFul) {
      *error = "--language '" + number + "' is not a language id";
      return false;
    }
    *languageId = static_cast<std::uint32_t>(value);
    return true;
  }
  const std::size_t separator = text.find_first_of("_-");
  const std::string code = Lower(text.substr(0, separator));
  const Language* language = nullptr;
  for (const Language& candidate : kLanguages) {
    if (code == candidate.code) language = &candidate;
  }
  if (language == nullptr) {
    *error = "--language '" + std::string(text) + "': unknown language '" + code + "' (" + KnownLanguages() + ")";
    return false;
  }
  const std::string country = separator == std::string_view::npos ? language->country : Upper(text.substr(separator + 1));
  UErrorCode status = U_ZERO_ERROR;
  const URegion* region = uregion_getRegionFromCode(country.c_str(), &status);
  // Only countries carry a number the library accepts; continents and groupings do not.
  if (U_FAILURE(status) || region == nullptr || uregion_getType(region) != URGN_TERRITORY ||
      uregion_getNumericCode(region) <= 0) {
    *error = "--language '" + std::string(text) + "': unknown country '" + country + "' (ISO 3166 codes: SE, CH, ...)";
    return false;
  }
  *languageId = (static_cast<std::uint32_t>(uregion_getNumericCode(region)) << 16) | language->number;
  return true;
}

std::string LanguageName(std::uint32_t languageId) {
  const std::uint32_t number = languageId & 0xFFFF;
  for (const Language& language : kLanguages) {
    if (language.number != number) continue;
    UErrorCode status = U_ZERO_ERROR;
    const URegion* region = uregion_getRegionFromNumericCode(static_cast<std::int32_t>(languageId >> 16), &status);
    if (U_FAILURE(status) || region == nullptr) break;
    return std::string(language.code) + "_" + uregion_getRegionCode(region);
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", languageId);
  return hex;
}

}  // namespace vexfilt::cli
