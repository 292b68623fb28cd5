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
constexpr std::uint32_t kUsLanguage99 = (840u << 16) | 99;

struct LocaleDeleter {
  void operator()(NlsLocale* locale) const { LCL2_ReleaseLocale(locale); }
};
using Locale = std::unique_ptr<NlsLocale, LocaleDeleter>;

Locale Open(std::uint32_t languageId, std::int32_t* status) {
  return Locale(LCL2_GetLocale(languageId, 1208, 0, status));
}

double Parse(NlsLocale* locale, const char* text) {
  return LCL2_StringToDouble(locale, text, static_cast<std::int32_t>(std::strlen(text)), nullptr, 0);
}

TEST(NlsLocale, OpensByLanguageAndTerritoryAndRetargetsNumbers) {
  std::int32_t status = -1;
  Locale zero = Open(0, &status);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(status, 0);
  // Only US English reads "1,234.5" as a grouped number with a fraction; zero means US English.
  EXPECT_DOUBLE_EQ(Parse(zero.get(), "1,234.5"), 1234.5);
  status = -1;
  Locale german = Open(kDeDe, &status);
  ASSERT_NE(german, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(Parse(german.get(), "1.234,5"), 1234.5);
  // Retargeted to German, or kept German when the new language is unknown; collation and search stay.
  EXPECT_EQ(LCL2_SetLocaleNumInfo(zero.get(), 1, kDeDe, 0), 0);
  EXPECT_DOUBLE_EQ(Parse(zero.get(), "1.234,5"), 1234.5);
  EXPECT_EQ(LCL2_SetLocaleNumInfo(zero.get(), 1, kUsLanguage99, 0), nls_status::kUnknownLanguage);
  EXPECT_EQ(LCL2_SetLocaleNumInfo(zero.get(), 1, (999u << 16) | 1, 0), nls_status::kUnknownTerritory);
  EXPECT_DOUBLE_EQ(Parse(zero.get(), "1.234,5"), 1234.5);
  EXPECT_EQ(LCL2_Strcoll(zero.get(), "a", 1, "B", 1, nls_flag::kWholeValues, &status), -1);
  EXPECT_STREQ(LCL2_Findstr(zero.get(), "xyz", 3, "y", 1, nls_flag::kSearch), "yz");
  EXPECT_EQ(LCL2_SetLocaleNumInfo(nullptr, 1, kEnUs, 0), nls_status::kBadArgument);
}

TEST(NlsLocale, RefusesUnknownLanguageTerritoryAndCodePage) {
  const struct {
    std::uint32_t languageId, codePage;
    std::int32_t status;
    const char* why = "";
  } cases[] = {{kUsLanguage99, 1208, nls_status::kUnknownLanguage},
               {(999u << 16) | 1, 1208, nls_status::kUnknownTerritory},
               {(150u << 16) | 1, 1208, nls_status::kUnknownTerritory, "150, Europe, is a region, not a country"},
               {(999u << 16) | 99, 1208, nls_status::kUnknownLanguage, "the language is judged first"},
               {kEnUs, 1252, nls_status::kUnsupportedCodePage}};
  for (const auto& c : cases) {
    std::int32_t status = 0;
    EXPECT_EQ(LCL2_GetLocale(c.languageId, c.codePage, 0, &status), nullptr) << c.languageId;
    EXPECT_EQ(status, c.status) << std::hex << c.languageId << " " << c.why;
  }
  LCL2_ReleaseLocale(nullptr);
}

// US English, open for the life of a test.
class Nls : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(locale_, nullptr); }
  std::int32_t status_ = -1;
  Locale locale_ = Open(kEnUs, &status_);
};

TEST_F(Nls, StrcollOrdersByLanguageWithTrailingBlanksAndLengthsAsTheFlagsSay) {
  constexpr std::uint32_t kWhole = nls_flag::kWholeValues;
  const struct {
    std::string a, b;
    std::uint32_t flags;
    std::int32_t order;
    std::int32_t aLength = 0, bLength = 0;  // 0: the text's size
  } cases[] = {// Not by bytes; case counts at full strength.
               {"a", "B", kWhole, -1}, {"B", "a", kWhole, 1}, {"ä", "b", kWhole, -1}, {"abc", "ABC", kWhole, -1},
               {"straße", "straße", kWhole, 0},
               // Trailing blanks count only without padding.
               {"abc", "abc  ", kWhole, 0}, {"abc   ", "abc", kWhole, 0}, {"abc", "abc  ", nls_flag::kSearch, -1},
               {"", "   ", kWhole, 0},
               // Lengths in characters cover whole multi-byte characters: two of "äöx" are four bytes.
               {"äöx", "äö", nls_flag::kSubstrings, 0, 2, 2}, {"äöx", "äö", nls_flag::kSubstrings, 1, 3, 2},
               {"é", "?", nls_flag::kSingleCharacters, 1, 1, 1}};
  for (const auto& c : cases) {
    status_ = -1;
    EXPECT_EQ(LCL2_Strcoll(locale_.get(), c.a.data(), c.aLength != 0 ? c.aLength : std::int32_t(c.a.size()),
                           c.b.data(), c.bLength != 0 ? c.bLength : std::int32_t(c.b.size()), c.flags, &status_),
              c.order)
        << c.a << " " << c.b;
    EXPECT_EQ(status_, 0) << c.a << " " << c.b;
  }
  for (NlsLocale* in : {static_cast<NlsLocale*>(nullptr), locale_.get()}) {
    status_ = 0;
    EXPECT_EQ(LCL2_Strcoll(in, "a", in == nullptr ? 1 : -1, "b", 1, kWhole, &status_), 0);
    EXPECT_EQ(status_, nls_status::kBadArgument) << "no locale, or a negative length";
  }
}

TEST_F(Nls, FindstrFindsByCollationAndReportsTheBytePosition) {
  const auto find = [&](const std::string& text, const char* pattern, std::int32_t length, NlsLocale* in) {
    const char* found = LCL2_Findstr(in, text.data(), std::int32_t(text.size()), pattern, length, nls_flag::kSearch);
    return found == nullptr ? -1 : found - text.data();
  };
  EXPECT_EQ(find("Grüße aus Köln", "Köln", 5, locale_.get()), 12);  // "Grüße aus " is 12 bytes
  EXPECT_EQ(find("Grüße aus Köln", "Koln", 4, locale_.get()), -1);
  EXPECT_EQ(find("abc", "", 0, locale_.get()), 0);
  EXPECT_EQ(find("abc", "b", 1, nullptr), -1);
  // Beyond the stack buffer the text goes to the heap; the position must still be right.
  EXPECT_EQ(find(std::string(300, 'x') + "ä" + std::string(40, 'y') + "ßz", "ßz", 3, locale_.get()), 342);
}

TEST(NlsByteLength, CountsTheBytesOfOneCharacter) {
  const struct {
    std::string text;
    std::int32_t length;
    bool valid;
  } cases[] = {{"a", 1, true}, {"ä!", 2, true}, {"€", 3, true}, {"😀", 4, true}, {"\x80", 1, false},
               // A truncated sequence, or a surrogate, stops at the first byte that cannot continue it.
               {"\xE2\x82", 1, false}, {"\xED\xA0\x80", 1, false}};
  for (const auto& c : cases) {
    std::int32_t status = c.valid ? -1 : 0;
    EXPECT_EQ(LCL2_ByteLength(nullptr, c.text.c_str(), &status), c.length) << c.text;
    EXPECT_EQ(status == 0, c.valid) << c.text;
  }
}

TEST_F(Nls, StringToDoubleKeepsTheFractionAndReportsTheEnd) {
  const struct {
    const char* text;
    std::int32_t length;  // only these bytes belong to the number
    double value;
    std::int32_t end;
    NlsLocale* locale;
  } cases[] = {{"12.75", 5, 12.75, 5, locale_.get()}, {"  -3.5 rest", 11, -3.5, 6, locale_.get()},
               {"abc", 3, 0, 0, locale_.get()},       {"12345", 3, 123, 3, locale_.get()},
               {"12345", 5, 0, 0, nullptr}};
  for (const auto& c : cases) {
    const char* end = nullptr;
    EXPECT_DOUBLE_EQ(LCL2_StringToDouble(c.locale, c.text, c.length, &end, 0), c.value) << c.text;
    EXPECT_EQ(end, c.text + c.end) << c.text;
  }
}

}  // namespace
}  // namespace vexfilt
