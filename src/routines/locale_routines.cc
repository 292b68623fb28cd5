// Locale-aware character routines: UTF-8 text ordered by the collation of the Filter's locale, substring
// positions counted in characters, patterns matched character by character.
#include "routines/locale_routines.h"

#include <algorithm>

#include "core/bytes.h"
#include "core/status.h"
#include "routines/character_routines.h"
#include "routines/nls_pattern.h"
#include "routines/numeric_routines.h"
#include "routines/operands.h"
#include "routines/printers.h"

namespace vexfilt::locale_aware {
namespace {

NlsLocale* LocaleOf(const FilterElement& e) { return e.filter ? e.filter->locale : nullptr; }
using namespace operands;
const char* Text(const std::uint8_t* bytes) { return reinterpret_cast<const char*>(bytes); }

constexpr std::uint8_t kOneBlank[1] = {' '};

// As for the plain routines, a right column with a length prefix is always read after it.
bool RightIsVaryingLocale(const FilterElement& e) {
  constexpr std::uint16_t kVaryingLocale = rep::kUtf8 | rep::kVarying;
  return (e.rightFlags & kVaryingLocale) == kVaryingLocale;
}

// Collation whose failure (0 with a status) puts the status in the outcome and gives 1022; a non-zero
// order is taken as the order whatever the status says.
std::int32_t Collate(FilterElement& e, const std::uint8_t* a, std::int32_t lengthA, const std::uint8_t* b,
                     std::int32_t lengthB, std::uint32_t flags) {
  std::int32_t nlsStatus = 0;
  const std::int32_t order = LCL2_Strcoll(LocaleOf(e), Text(a), lengthA, Text(b), lengthB, flags, &nlsStatus);
  if (order == 0 && nlsStatus != 0) {
    e.conditionCode = nlsStatus;
    return status::kLocaleError;
  }
  e.conditionCode = order;
  return status::kOk;
}

// The substring walk of a column against a literal: the `leftLiteralLength` characters from character
// `substringOffset` of the n bytes of data, or a single blank when the data ends before that start. Gives
// the walk's status; the outcome is left in `conditionCode`.
std::int32_t SubstringWalk(FilterElement& e, const std::uint8_t* data, std::int32_t n, bool like) {
  NlsLocale* locale = LocaleOf(e);
  std::int32_t start = 0, skipped = 0;
  while (skipped < e.substringOffset && start < n) {
    start += CharacterBytes(locale, data + start, n - start);
    ++skipped;
  }
  const std::uint8_t* part = kOneBlank;
  std::int32_t partBytes = 1, partChars = 1, width = e.leftLiteralLength;
  if (skipped == e.substringOffset && start < n) {
    partBytes = BytesOfCharacters(locale, data + start, n - start, e.leftLiteralLength, &partChars);
    part = data + start;
    width = partBytes + (e.leftLiteralLength - partChars);
    e.rightColumnOffset = start;
    KeepRightWord(e, static_cast<std::int16_t>(partBytes));
  }
  KeepLeftWord(e, static_cast<std::uint16_t>(partChars));
  if (like) {
    const std::int32_t outcome = CompareNLSPattern(part, partBytes, LiteralOf(e), RightLength(e), width, ' ', locale);
    e.conditionCode = outcome;
    return outcome == status::kNoMatch ? status::kOk : outcome;
  }
  // The literal is counted in characters too, never beyond its own bytes.
  std::int32_t literalChars = 0;
  const std::int32_t literalBytes = BytesOfCharacters(locale, LiteralOf(e), RightLength(e), e.leftLiteralLength, &literalChars);
  return Collate(e, part, partBytes, LiteralOf(e), literalBytes, InBytes(nls_flag::kSubstrings));
}

std::int32_t PatternStatus(FilterElement& e, std::int32_t outcome) {
  e.conditionCode = outcome;
  return outcome;
}

// A LIKE answers 0 or 207 itself; other statuses are reported through the family's printer.
template <Printer printer>
std::int32_t LikeResult(FilterElement& e, const std::uint8_t* record, std::int32_t outcome) {
  if (outcome != status::kOk && outcome != status::kNoMatch) return Print<printer>(e, record, outcome, nullptr);
  return outcome;
}

std::int32_t Search(FilterElement& e, const std::uint8_t* data, std::int32_t length) {
  const char* hit = LCL2_Findstr(LocaleOf(e), Text(data), length, Text(LeftDataOf(e)), e.leftScale, nls_flag::kSearch);
  DeliverFound(e, hit != nullptr ? 1 : 0);
  e.conditionCode = hit != nullptr ? status::kOk : status::kNoMatch;
  return e.conditionCode;
}

}  // namespace

std::int32_t FixedColumnLiteral(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  const std::int32_t st = e.functionCode == fn::kSubstring
                              ? SubstringWalk(e, column, e.columnLength, false)
                              : Collate(e, column, e.columnLength, LiteralOf(e), RightLength(e), nls_flag::kWholeValues);
  return st == status::kOk ? st : Print<Printer::kFix1>(e, record, st, nullptr);
}

std::int32_t FixedColumnLike(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  if (e.functionCode == fn::kSubstring) {
    const std::int32_t st = SubstringWalk(e, column, e.columnLength, true);
    return st == status::kOk ? e.conditionCode : Print<Printer::kFix1>(e, record, st, nullptr);
  }
  const std::int32_t outcome =
      CompareNLSPattern(column, e.columnLength, LiteralOf(e), RightLength(e), e.columnLength, ' ', LocaleOf(e));
  return LikeResult<Printer::kFix1>(e, record, PatternStatus(e, outcome));
}

std::int32_t FixedColumnSearch(FilterElement& e, const std::uint8_t* record) {
  return Search(e, ColumnOf(e, record), e.columnLength);
}

std::int32_t FixedColumnColumn(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint8_t* right = RightColumnOf(e, record);
  std::int32_t st;
  if (RightIsVaryingLocale(e)) {
    const std::uint16_t prefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(prefix));
    if (prefix > RightLength(e) - kLengthPrefix) return Print<Printer::kFix2>(e, record, status::kLengthOutOfRange, nullptr);
    st = Collate(e, left, e.columnLength, right + kLengthPrefix, prefix, nls_flag::kWholeValues);
  } else if (RightIsScaledNumber(e)) {
    return CompareNumeric(e, record);
  } else {
    st = Collate(e, left, e.columnLength, right, RightLength(e), nls_flag::kWholeValues);
  }
  if (st == status::kOk) return st;
  e.conditionCode = 0;  // a failed collation keeps its outcome of 0 here
  return Print<Printer::kFix2>(e, record, st, nullptr);
}

std::int32_t FixedColumnColumnLike(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint8_t* right = RightColumnOf(e, record);
  std::int32_t outcome;
  if (!RightIsVaryingLocale(e)) {
    outcome = CompareNLSPattern(left, e.columnLength, right, e.rightLiteralLength,
                                std::max<std::int32_t>(e.columnLength, RightLength(e)), ' ', LocaleOf(e));
  } else {
    const std::uint16_t prefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(prefix));
    if (prefix > RightLength(e) - kLengthPrefix) return Print<Printer::kFix2>(e, record, status::kLengthOutOfRange, nullptr);
    outcome = CompareNLSPattern(left, e.columnLength, right + kLengthPrefix, prefix, std::max<std::int32_t>(e.columnLength, prefix),
                                ' ', LocaleOf(e));
  }
  return LikeResult<Printer::kFix2>(e, record, PatternStatus(e, outcome));
}

std::int32_t ResultLiteral(FilterElement& e, const std::uint8_t* record) {
  const std::int32_t st = Collate(e, LeftDataOf(e), e.leftScale, LiteralOf(e), RightLength(e), nls_flag::kWholeValues);
  return st == status::kOk ? st : Print<Printer::kFix4>(e, record, st, nullptr);
}

std::int32_t ResultLike(FilterElement& e, const std::uint8_t*) {
  return CompareNLSPattern(LeftDataOf(e), e.leftScale, LiteralOf(e), RightLength(e), e.columnLength, ' ', LocaleOf(e));
}

std::int32_t VaryingColumnLiteral(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  const std::uint16_t prefix = PrefixAt(column);
  e.leftScale = static_cast<std::int16_t>(prefix);
  // Unlike the plain routine, an out-of-range prefix is an error, not fixed data.
  if (prefix > e.columnLength - kLengthPrefix) return Print<Printer::kVar1>(e, record, status::kLengthOutOfRange, nullptr);
  const std::int32_t st = e.functionCode == fn::kSubstring
                              ? SubstringWalk(e, column + kLengthPrefix, prefix, false)
                              : Collate(e, column + kLengthPrefix, prefix, LiteralOf(e), RightLength(e), nls_flag::kWholeValues);
  return st == status::kOk ? st : Print<Printer::kVar1>(e, record, st, nullptr);
}

std::int32_t VaryingColumnLike(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  const std::uint16_t prefix = PrefixAt(column);
  e.leftScale = static_cast<std::int16_t>(prefix);
  if (prefix > e.columnLength - kLengthPrefix) return PatternStatus(e, status::kLengthOutOfRange);
  if (e.functionCode == fn::kSubstring) {
    const std::int32_t st = SubstringWalk(e, column + kLengthPrefix, prefix, true);
    return st == status::kOk ? e.conditionCode : Print<Printer::kVar1>(e, record, st, nullptr);
  }
  const std::int32_t outcome =
      CompareNLSPattern(column + kLengthPrefix, prefix, LiteralOf(e), RightLength(e), e.columnLength - kLengthPrefix, ' ', LocaleOf(e));
  return LikeResult<Printer::kVar1>(e, record, PatternStatus(e, outcome));
}

std::int32_t VaryingColumnSearch(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  const std::uint16_t prefix = PrefixAt(column);
  e.rightScale = static_cast<std::int16_t>(prefix);
  if (prefix > e.columnLength - kLengthPrefix) {
    DeliverFound(e, 0);
    e.conditionCode = status::kLengthOutOfRange;
    return Print<Printer::kVrStr1>(e, record, status::kLengthOutOfRange, nullptr);
  }
  return Search(e, column + kLengthPrefix, prefix);
}

std::int32_t VaryingColumnColumn(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint16_t leftPrefix = PrefixAt(left);
  e.leftScale = static_cast<std::int16_t>(leftPrefix);
  const std::uint8_t* right = RightColumnOf(e, record);
  std::int32_t st;
  if (leftPrefix > e.columnLength - kLengthPrefix) {
    st = status::kLengthOutOfRange;
  } else if (RightIsVaryingLocale(e)) {
    const std::uint16_t rightPrefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(rightPrefix));
    st = rightPrefix > RightLength(e) - kLengthPrefix
             ? status::kLengthOutOfRange
             : Collate(e, left + kLengthPrefix, leftPrefix, right + kLengthPrefix, rightPrefix, nls_flag::kWholeValues);
  } else if (RightIsScaledNumber(e)) {
    st = CompareNumeric(e, record);
    if (st == status::kBadNumber) return st;  // a number that is not one is no trace-worthy error here
  } else {
    st = Collate(e, left + kLengthPrefix, leftPrefix, right, RightLength(e), nls_flag::kWholeValues);
  }
  return st == status::kOk ? st : Print<Printer::kVar2>(e, record, st, nullptr);
}

std::int32_t VaryingColumnColumnLike(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint16_t leftPrefix = PrefixAt(left);
  e.leftScale = static_cast<std::int16_t>(leftPrefix);
  if (leftPrefix > e.columnLength - kLengthPrefix) return Print<Printer::kVar2>(e, record, status::kLengthOutOfRange, nullptr);
  const std::uint8_t* right = RightColumnOf(e, record);
  std::int32_t outcome;
  if (!RightIsVaryingLocale(e)) {
    outcome = CompareNLSPattern(left + kLengthPrefix, leftPrefix, right, RightLength(e),
                                std::max<std::int32_t>(leftPrefix, RightLength(e)), ' ', LocaleOf(e));
  } else {
    const std::uint16_t rightPrefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(rightPrefix));
    if (rightPrefix > RightLength(e) - kLengthPrefix) return Print<Printer::kVar2>(e, record, status::kLengthOutOfRange, nullptr);
    outcome = CompareNLSPattern(left + kLengthPrefix, leftPrefix, right + kLengthPrefix, rightPrefix, std::max(leftPrefix, rightPrefix), ' ',
                                LocaleOf(e));
  }
  return LikeResult<Printer::kVar2>(e, record, PatternStatus(e, outcome));
}

}  // namespace vexfilt::locale_aware
