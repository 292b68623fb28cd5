// National-language services on ICU.
#include "host/nls.h"

#include <unicode/ucol.h>
#include <unicode/unum.h>
#include <unicode/uregion.h>
#include <unicode/usearch.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>

namespace vexfilt {

struct NlsLocale {
  std::uint32_t languageId = 0;
  UCollator* collator = nullptr;
  UNumberFormat* numberFormat = nullptr;
  // Opened on the first search and kept: opening one costs far more than re-aiming it. It refers to
  // `collator`, so it must go whenever the collator does.
  UStringSearch* search = nullptr;
};

namespace {

constexpr std::uint32_t kDefaultLanguageId = 0x03480001;  // en_US
constexpr std::uint32_t kUtf8CodePage = 1208;

const char* const kLanguages[] = {nullptr, "en", "de", "fr", "es", "it", "pt",
                                  "nl",    "sv", "ja", "zh", "ko", "ru", "pl"};
constexpr std::uint32_t kLanguageCount = sizeof(kLanguages) / sizeof(kLanguages[0]);

// The ICU objects of one language; owns them until handed over to a locale.
struct Services {
  UCollator* collator = nullptr;
  UNumberFormat* numberFormat = nullptr;

  Services() = default;
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;
  ~Services() {
    if (numberFormat) unum_close(numberFormat);
    if (collator) ucol_close(collator);
  }
};

std::uint32_t EffectiveId(std::uint32_t languageId) { return languageId == 0 ? kDefaultLanguageId : languageId; }

// Opens the collator and number format for `languageId` (already made effective); 0 or a status.
std::int32_t OpenServices(std::uint32_t languageId, Services& out) {
  const std::uint32_t language = languageId & 0xFFFF;
  const std::uint32_t territory = languageId >> 16;
  if (language == 0 || language >= kLanguageCount) return nls_status::kUnknownLanguage;

  UErrorCode error = U_ZERO_ERROR;
  const URegion* region = uregion_getRegionFromNumericCode(static_cast<std::int32_t>(territory), &error);
  // Continents, groupings and retired codes are not places a language can be written in.
  if (U_FAILURE(error) || region == nullptr || uregion_getType(region) != URGN_TERRITORY) {
    return nls_status::kUnknownTerritory;
  }
  const char* regionCode = uregion_getRegionCode(region);
  char localeId[32];
  const int written = std::snprintf(localeId, sizeof localeId, "%s_%s", kLanguages[language], regionCode);
  if (written < 0 || static_cast<std::size_t>(written) >= sizeof localeId) return nls_status::kUnknownTerritory;

  error = U_ZERO_ERROR;
  out.collator = ucol_open(localeId, &error);
  if (U_FAILURE(error)) {
    out.collator = nullptr;
    return nls_status::kServiceFailure;
  }
  error = U_ZERO_ERROR;
  out.numberFormat = unum_open(UNUM_DECIMAL, nullptr, 0, localeId, nullptr, &error);
  if (U_FAILURE(error)) {
    out.numberFormat = nullptr;
    return nls_status::kServiceFailure;
  }
  return nls_status::kOk;
}

void CloseServices(NlsLocale& locale) {
  if (locale.search) usearch_close(locale.search);
  if (locale.numberFormat) unum_close(locale.numberFormat);
  if (locale.collator) ucol_close(locale.collator);
  locale.search = nullptr;
  locale.numberFormat = nullptr;
  locale.collator = nullptr;
}

// Length of the UTF-8 character at `text`, reading no byte beyond the first one that cannot belong to it.
// Returns 1 with `valid` false for an invalid or truncated sequence.
std::int32_t CharacterLength(const unsigned char* text, bool& valid) {
  const unsigned char lead = text[0];
  valid = true;
  if (lead < 0x80) return 1;
  std::int32_t length;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    if (!U8_IS_VALID_LEAD3_AND_T1(lead, text[1])) {
      valid = false;
      return 1;
    }
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    if (!U8_IS_VALID_LEAD4_AND_T1(lead, text[1])) {
      valid = false;
      return 1;
    }
    length = 4;
  } else {
    valid = false;
    return 1;
  }
  for (std::int32_t i = 1; i < length; ++i) {
    if (!U8_IS_TRAIL(text[i])) {
      valid = false;
      return 1;
    }
  }
  return length;
}

// Bytes taken by the first `characters` characters of `text`.
std::int32_t BytesOfCharacters(const char* text, std::int32_t characters) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::int32_t offset = 0;
  bool valid;
  for (std::int32_t i = 0; i < characters; ++i) offset += CharacterLength(bytes + offset, valid);
  return offset;
}

std::int32_t WithoutTrailingBlanks(const char* text, std::int32_t length) {
  while (length > 0 && text[length - 1] == ' ') --length;
  return length;
}

// UTF-16 form of a UTF-8 text, optionally with the byte offset of each UTF-16 unit. Short texts stay on the
// stack; evaluation calls this per record.
class Utf16Text {
 public:
  Utf16Text() = default;
  Utf16Text(const Utf16Text&) = delete;
  Utf16Text& operator=(const Utf16Text&) = delete;

  // False only when the heap cannot supply room for a long text.
  bool Assign(const char* utf8, std::int32_t byteLength, bool withOffsets) {
    // Every UTF-8 sequence, valid or not, yields no more UTF-16 units than it has bytes.
    units_ = inlineUnits_;
    offsets_ = withOffsets ? inlineOffsets_ : nullptr;
    if (byteLength > kInlineUnits) {
      heapUnits_.reset(new (std::nothrow) UChar[byteLength]);
      if (!heapUnits_) return false;
      units_ = heapUnits_.get();
      if (withOffsets) {
        heapOffsets_.reset(new (std::nothrow) std::int32_t[byteLength + 1]);
        if (!heapOffsets_) return false;
        offsets_ = heapOffsets_.get();
      }
    }
    std::int32_t byte = 0;
    std::int32_t unit = 0;
    while (byte < byteLength) {
      const std::int32_t start = byte;
      UChar32 c;
      U8_NEXT_OR_FFFD(utf8, byte, byteLength, c);
      if (offsets_) offsets_[unit] = start;
      if (U_IS_BMP(c)) {
        units_[unit++] = static_cast<UChar>(c);
      } else {
        units_[unit++] = U16_LEAD(c);
        if (offsets_) offsets_[unit] = start;
        units_[unit++] = U16_TRAIL(c);
      }
    }
    if (offsets_) offsets_[unit] = byteLength;
    length_ = unit;
    return true;
  }

  const UChar* units() const { return units_; }
  std::int32_t length() const { return length_; }
  // Byte offset of the character holding UTF-16 unit `index`; the byte length for index == length().
  std::int32_t ByteOffset(std::int32_t index) const { return offsets_[index]; }

 private:
  static constexpr std::int32_t kInlineUnits = 256;
  UChar inlineUnits_[kInlineUnits];
  std::int32_t inlineOffsets_[kInlineUnits + 1];
  std::unique_ptr<UChar[]> heapUnits_;
  std::unique_ptr<std::int32_t[]> heapOffsets_;
  UChar* units_ = inlineUnits_;
  std::int32_t* offsets_ = nullptr;
  std::int32_t length_ = 0;
};

}  // namespace

namespace {
std::atomic<std::int32_t> g_failNextLocaleCall{0};
std::int32_t TakeInjectedFailure() { return g_failNextLocaleCall.exchange(0, std::memory_order_relaxed); }
}  // namespace

void FailNextLocaleCall(std::int32_t status) { g_failNextLocaleCall.store(status, std::memory_order_relaxed); }

NlsLocale* LCL2_GetLocale(std::uint32_t languageId, std::uint32_t codePage, std::uint32_t /*reserved*/,
                          std::int32_t* status) {
  std::int32_t ignored;
  if (status == nullptr) status = &ignored;
  if (const std::int32_t injected = TakeInjectedFailure()) {
    *status = injected;
    return nullptr;
  }
  if (codePage != kUtf8CodePage) {
    *status = nls_status::kUnsupportedCodePage;
    return nullptr;
  }
  const std::uint32_t id = EffectiveId(languageId);
  Services services;
  *status = OpenServices(id, services);
  if (*status != nls_status::kOk) return nullptr;
  auto* locale = new (std::nothrow) NlsLocale;
  if (locale == nullptr) {
    *status = nls_status::kServiceFailure;
    return nullptr;
  }
  locale->languageId = id;
  locale->collator = services.collator;
  locale->numberFormat = services.numberFormat;
  services.collator = nullptr;
  services.numberFormat = nullptr;
  return locale;
}

std::int32_t LCL2_SetLocaleNumInfo(NlsLocale* locale, std::int32_t /*category*/, std::uint32_t languageId,
                                   std::uint32_t /*reserved*/) {
  if (const std::int32_t injected = TakeInjectedFailure()) return injected;
  if (locale == nullptr) return nls_status::kBadArgument;
  const std::uint32_t id = EffectiveId(languageId);
  // Called at every sample; an unchanged language keeps what is open.
  if (id == locale->languageId) return nls_status::kOk;
  Services services;
  const std::int32_t status = OpenServices(id, services);
  if (status != nls_status::kOk) return status;
  CloseServices(*locale);
  locale->languageId = id;
  locale->collator = services.collator;
  locale->numberFormat = services.numberFormat;
  services.collator = nullptr;
  services.numberFormat = nullptr;
  return nls_status::kOk;
}

void LCL2_ReleaseLocale(NlsLocale* locale) {
  if (locale == nullptr) return;
  CloseServices(*locale);
  delete locale;
}

std::int32_t LCL2_Strcoll(NlsLocale* locale, const char* text1, std::int32_t length1, const char* text2,
                          std::int32_t length2, std::uint32_t flags, std::int32_t* status) {
  std::int32_t ignored;
  if (status == nullptr) status = &ignored;
  if (locale == nullptr || length1 < 0 || length2 < 0 || (text1 == nullptr && length1 != 0) ||
      (text2 == nullptr && length2 != 0)) {
    *status = nls_status::kBadArgument;
    return 0;
  }
  if (flags & nls_flag::kLengthsInCharacters) {
    length1 = BytesOfCharacters(text1, length1);
    length2 = BytesOfCharacters(text2, length2);
  }
  if (flags & nls_flag::kBlankPadded) {
    length1 = WithoutTrailingBlanks(text1, length1);
    length2 = WithoutTrailingBlanks(text2, length2);
  }
  UErrorCode error = U_ZERO_ERROR;
  const UCollationResult result = ucol_strcollUTF8(locale->collator, text1, length1, text2, length2, &error);
  if (U_FAILURE(error)) {
    *status = nls_status::kServiceFailure;
    return 0;
  }
  *status = nls_status::kOk;
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

const char* LCL2_Findstr(NlsLocale* locale, const char* text, std::int32_t textLength, const char* pattern,
                         std::int32_t patternLength, std::uint32_t /*flags*/) {
  if (locale == nullptr || textLength < 0 || patternLength < 0 || (text == nullptr && textLength != 0) ||
      (pattern == nullptr && patternLength != 0)) {
    return nullptr;
  }
  if (patternLength == 0) return text;
  if (textLength == 0) return nullptr;

  Utf16Text text16;
  Utf16Text pattern16;
  if (!text16.Assign(text, textLength, true) || !pattern16.Assign(pattern, patternLength, false)) return nullptr;

  UErrorCode error = U_ZERO_ERROR;
  if (locale->search == nullptr) {
    locale->search = usearch_openFromCollator(pattern16.units(), pattern16.length(), text16.units(),
                                              text16.length(), locale->collator, nullptr, &error);
    if (U_FAILURE(error)) {
      locale->search = nullptr;
      return nullptr;
    }
  } else {
    // The search keeps pointing at this call's buffers afterwards, but only ever reads them here.
    usearch_setText(locale->search, text16.units(), text16.length(), &error);
    usearch_setPattern(locale->search, pattern16.units(), pattern16.length(), &error);
    if (U_FAILURE(error)) return nullptr;
  }
  const std::int32_t index = usearch_first(locale->search, &error);
  if (U_FAILURE(error) || index == USEARCH_DONE) return nullptr;
  return text + text16.ByteOffset(index);
}

std::int32_t LCL2_ByteLength(NlsLocale* /*locale*/, const char* text, std::int32_t* status) {
  std::int32_t ignored;
  if (status == nullptr) status = &ignored;
  if (text == nullptr) {
    *status = nls_status::kBadArgument;
    return 1;
  }
  bool valid;
  const std::int32_t length = CharacterLength(reinterpret_cast<const unsigned char*>(text), valid);
  *status = valid ? nls_status::kOk : nls_status::kBadArgument;
  return length;
}

double LCL2_StringToDouble(NlsLocale* locale, const char* text, std::int32_t length, const char** end,
                           std::uint32_t /*reserved*/) {
  if (end) *end = text;
  if (locale == nullptr || text == nullptr || length <= 0) return 0;
  std::int32_t start = 0;
  while (start < length && text[start] == ' ') ++start;
  if (start == length) return 0;

  Utf16Text text16;
  if (!text16.Assign(text + start, length - start, true)) return 0;
  UErrorCode error = U_ZERO_ERROR;
  std::int32_t position = 0;
  const double value = unum_parseDouble(locale->numberFormat, text16.units(), text16.length(), &position, &error);
  if (U_FAILURE(error) || position <= 0) return 0;
  if (end) *end = text + start + text16.ByteOffset(position);
  return value;
}

}  // namespace vexfilt
