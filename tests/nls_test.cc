// National-language services: locale handles, collation, search, character lengths, number parsing.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "host/nls.h"

namespace vexfilt {
namespace {

constexpr std::uint32_t kEnUs = (840u << 16) | 1;
constexpr std::uint32_t kDeDe = (276u << 16) | 2;

struct LocaleDeleter {
  void operator()(NlsLocale* locale) const { LCL2_ReleaseLocale(locale); }
};
using Locale = std::unique_ptr<NlsLocale, LocaleDeleter>;

Locale Open(std::uint32_t languageId, std::int32_t* status = nullptr) {
  std::int32_t ignored = -1;
  return Locale(LCL2_GetLocale(languageId, 1208, 0, status ? status : &ignored));
}

std::int32_t Collate(NlsLocale* locale, const std::string& a, const std::string& b, std::uint32_t flags,
                     std::int32_t* status = nullptr) {
  std::int32_t ignored = -1;
  return LCL2_Strcoll(locale, a.data(), static_cast<std::int32_t>(a.size()), b.data(),
                      static_cast<std::int32_t>(b.size()), flags, status ? status : &ignored);
}

double Parse(NlsLocale* locale, const char* text, const char** end) {
  return LCL2_StringToDouble(locale, text, static_cast<std::int32_t>(std::strlen(text)), end, 0);
}

TEST(NlsLocale, ZeroMeansUsEnglishAndGermanOpens) {
  std::int32_t status = -1;
  Locale zero = Open(0, &status);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(status, 0);
  // Only US English reads "1,234.5" as a grouped number with a fraction.
  EXPECT_DOUBLE_EQ(Parse(zero.get(), "1,234.5", nullptr), 1234.5);
  status = -1;
  Locale german = Open(kDeDe, &status);
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(Parse(german.get(), "1.234,5", nullptr), 1234.5);
}

TEST(NlsLocale, RefusesUnknownLanguageTerritoryAndCodePage) {
  std::int32_t status = 0;
  EXPECT_EQ(LCL2_GetLocale(0x03480063, 1208, 0, &status), nullptr);
  EXPECT_EQ(status, nls_status::kUnknownLanguage);
  EXPECT_EQ(LCL2_GetLocale((999u << 16) | 1, 1208, 0, &status), nullptr);
  EXPECT_EQ(status, nls_status::kUnknownTerritory);
  // A known region that is not a country (150 = Europe) is no territory either.
  EXPECT_EQ(LCL2_GetLocale((150u << 16) | 1, 1208, 0, &status), nullptr);
  EXPECT_EQ(status, nls_status::kUnknownTerritory);
  // The language is judged before the territory.
  EXPECT_EQ(LCL2_GetLocale((999u << 16) | 99, 1208, 0, &status), nullptr);
  EXPECT_EQ(status, nls_status::kUnknownLanguage);
  status = 0;
  EXPECT_EQ(LCL2_GetLocale(kEnUs, 1252, 0, &status), nullptr);
  EXPECT_NE(status, 0);
  LCL2_ReleaseLocale(nullptr);
}

TEST(NlsLocale, SetLocaleNumInfoRetargetsOrKeepsTheOldLanguage) {
  Locale locale = Open(kEnUs);
  ASSERT_NE(locale, nullptr);
  EXPECT_DOUBLE_EQ(Parse(locale.get(), "1,234.5", nullptr), 1234.5);
  EXPECT_EQ(LCL2_SetLocaleNumInfo(locale.get(), 1, kDeDe, 0), 0);
  EXPECT_DOUBLE_EQ(Parse(locale.get(), "1.234,5", nullptr), 1234.5);
  EXPECT_EQ(LCL2_SetLocaleNumInfo(locale.get(), 1, 0x03480063, 0), nls_status::kUnknownLanguage);
  EXPECT_EQ(LCL2_SetLocaleNumInfo(locale.get(), 1, (999u << 16) | 1, 0), nls_status::kUnknownTerritory);
  EXPECT_DOUBLE_EQ(Parse(locale.get(), "1.234,5", nullptr), 1234.5);
  EXPECT_EQ(Collate(locale.get(), "a", "B", nls_flag::kWholeValues), -1);
  EXPECT_STREQ(LCL2_Findstr(locale.get(), "xyz", 3, "y", 1, nls_flag::kSearch), "yz");
  EXPECT_EQ(LCL2_SetLocaleNumInfo(nullptr, 1, kEnUs, 0), nls_status::kBadArgument);
}

TEST(NlsStrcoll, OrdersByLanguageNotByBytes) {
  Locale locale = Open(kEnUs);
  ASSERT_NE(locale, nullptr);
  std::int32_t status = -1;
  EXPECT_EQ(Collate(locale.get(), "a", "B", nls_flag::kWholeValues, &status), -1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Collate(locale.get(), "B", "a", nls_flag::kWholeValues), 1);
  EXPECT_EQ(Collate(locale.get(), "ä", "b", nls_flag::kWholeValues), -1);
  // Case still counts at full strength.
  EXPECT_NE(Collate(locale.get(), "abc", "ABC", nls_flag::kWholeValues), 0);
  status = -1;
  EXPECT_EQ(Collate(locale.get(), "straße", "straße", nls_flag::kWholeValues, &status), 0);
  EXPECT_EQ(status, 0);
}

TEST(NlsStrcoll, TrailingBlanksCountOnlyWithoutPadding) {
  Locale locale = Open(kEnUs);
  ASSERT_NE(locale, nullptr);
  EXPECT_EQ(Collate(locale.get(), "abc", "abc  ", nls_flag::kWholeValues), 0);
  EXPECT_EQ(Collate(locale.get(), "abc   ", "abc", nls_flag::kWholeValues), 0);
  EXPECT_EQ(Collate(locale.get(), "abc", "abc  ", nls_flag::kSearch), -1);
  EXPECT_EQ(Collate(locale.get(), "", "   ", nls_flag::kWholeValues), 0);
}

TEST(NlsStrcoll, CharacterLengthsCoverWholeMultiByteCharacters) {
  Locale locale = Open(kEnUs);
  ASSERT_NE(locale, nullptr);
  std::int32_t status = -1;
  // Two characters of "äöx" are four bytes; a byte count would split them.
  EXPECT_EQ(LCL2_Strcoll(locale.get(), "äöx", 2, "äö", 2, nls_flag::kSubstrings, &status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(LCL2_Strcoll(locale.get(), "äöx", 3, "äö", 2, nls_flag::kSubstrings, &status), 1);
  EXPECT_EQ(LCL2_Strcoll(locale.get(), "é", 1, "?", 1, nls_flag::kSingleCharacters, &status), 1);
}

TEST(NlsStrcoll, BadArgumentsFailWithAStatus) {
  Locale locale = Open(kEnUs);
  std::int32_t status = 0;
  EXPECT_EQ(LCL2_Strcoll(nullptr, "a", 1, "b", 1, nls_flag::kWholeValues, &status), 0);
  EXPECT_EQ(status, nls_status::kBadArgument);
  status = 0;
  EXPECT_EQ(LCL2_Strcoll(locale.get(), "a", -1, "b", 1, nls_flag::kWholeValues, &status), 0);
  EXPECT_EQ(status, nls_status::kBadArgument);
}

TEST(NlsFindstr, FindsByCollationAndReportsTheBytePosition) {
  Locale locale = Open(kEnUs);
  ASSERT_NE(locale, nullptr);
  const std::string text = "Grüße aus Köln";
  const char* found = LCL2_Findstr(locale.get(), text.data(), static_cast<std::int32_t>(text.size()), "Köln", 5,
                                   nls_flag::kSearch);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - text.data(), 12);  // "Grüße aus " is 12 bytes
  EXPECT_EQ(LCL2_Findstr(locale.get(), text.data(), static_cast<std::int32_t>(text.size()), "Koln", 4,
                         nls_flag::kSearch),
            nullptr);
  const char* abc = "abc";
  EXPECT_EQ(LCL2_Findstr(locale.get(), abc, 3, "", 0, nls_flag::kSearch), abc);
  EXPECT_EQ(LCL2_Findstr(nullptr, abc, 3, "b", 1, nls_flag::kSearch), nullptr);
  // Beyond the stack buffer the text goes to the heap; the position must still be right.
  const std::string longText = std::string(300, 'x') + "ä" + std::string(40, 'y') + "ßz";
  found = LCL2_Findstr(locale.get(), longText.data(), static_cast<std::int32_t>(longText.size()), "ßz", 3,
                       nls_flag::kSearch);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found - longText.data(), 342);
}

TEST(NlsByteLength, CountsTheBytesOfOneCharacter) {
  std::int32_t status = -1;
  EXPECT_EQ(LCL2_ByteLength(nullptr, "a", &status), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(LCL2_ByteLength(nullptr, "ä!", &status), 2);
  EXPECT_EQ(LCL2_ByteLength(nullptr, "€", &status), 3);
  EXPECT_EQ(LCL2_ByteLength(nullptr, "😀", &status), 4);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(LCL2_ByteLength(nullptr, "\x80", &status), 1);
  EXPECT_NE(status, 0);
  // A truncated sequence stops at the first byte that cannot continue it.
  status = 0;
  EXPECT_EQ(LCL2_ByteLength(nullptr, "\xE2\x82", &status), 1);
  EXPECT_NE(status, 0);
  status = 0;
  EXPECT_EQ(LCL2_ByteLength(nullptr, "\xED\xA0\x80", &status), 1);  // a surrogate
  EXPECT_NE(status, 0);
}

TEST(NlsStringToDouble, KeepsTheFractionAndReportsTheEnd) {
  Locale locale = Open(kEnUs);
  ASSERT_NE(locale, nullptr);
  const char* end = nullptr;
  const char* text = "12.75";
  EXPECT_DOUBLE_EQ(Parse(locale.get(), text, &end), 12.75);
  EXPECT_EQ(end, text + 5);
  text = "  -3.5 rest";
  EXPECT_DOUBLE_EQ(Parse(locale.get(), text, &end), -3.5);
  EXPECT_EQ(end, text + 6);
  text = "abc";
  EXPECT_EQ(Parse(locale.get(), text, &end), 0);
  EXPECT_EQ(end, text);
  // Only `length` bytes belong to the number.
  text = "12345";
  EXPECT_DOUBLE_EQ(LCL2_StringToDouble(locale.get(), text, 3, &end, 0), 123);
  EXPECT_EQ(end, text + 3);
  EXPECT_EQ(LCL2_StringToDouble(nullptr, text, 5, &end, 0), 0);
  EXPECT_EQ(end, text);
}

}  // namespace
}  // namespace vexfilt
