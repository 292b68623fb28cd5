// Plain character routines: bytes compare unsigned, case-sensitively, the shorter operand blank padded.
#include "routines/character_routines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#include "core/bytes.h"
#include "core/status.h"
#include "routines/byte_strings.h"
#include "routines/numeric_routines.h"
#include "routines/operands.h"
#include "routines/printers.h"

namespace vexfilt::character {
namespace {

using namespace operands;

std::int32_t Compare(const std::uint8_t* a, const std::uint8_t* b, std::int32_t length) {
  return length <= 0 ? 0 : CompareBytes(a, b, static_cast<std::size_t>(length));
}

std::int32_t MatchStatus(std::int32_t patternResult) { return patternResult == status::kOk ? 0 : 1; }

// A right column with a length prefix is read after it, whether or not the operands' types differ: two
// varying columns of one type must not compare the right prefix's bytes as text.
bool RightIsVarying(const FilterElement& e) {
  constexpr std::uint16_t kVaryingChar = rep::kChar | rep::kVarying;
  return (e.rightFlags & kVaryingChar) == kVaryingChar;
}

// The data of a varying column against a literal: after the prefix when it is within the capacity,
// otherwise the whole column, prefix bytes included.
struct VaryingData {
  const std::uint8_t* data;
  std::int32_t length;
  bool inRange;
};
VaryingData ReadVarying(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  const std::uint16_t prefix = PrefixAt(column);
  e.leftScale = static_cast<std::int16_t>(prefix);
  if (prefix <= e.columnLength - kLengthPrefix) {
    KeepLeftWord(e, kLengthPrefix);
    return {column + kLengthPrefix, prefix, true};
  }
  KeepLeftWord(e, 0);
  return {column, e.columnLength, false};
}

constexpr std::uint8_t kOneBlank[1] = {kBlank};

// ComparePadded of a value against a literal whose bytes after the first `significant` are all blanks. Those
// blanks cannot decide, so a value at least that long compares its first `significant` bytes, a compare of
// a known size, and then its own remaining bytes against the blank.
template <int significant>
std::int32_t CompareWithSignificant(const std::uint8_t* value, std::int32_t length, const std::uint8_t* literal,
                                    std::int32_t literalLength) {
  if (length < significant) return ComparePadded(value, literal, length, literalLength, kBlank);
  if (const std::int32_t order = CompareBytes(value, literal, significant)) return order;
  return CompareWithPad(value + significant, static_cast<std::size_t>(length - significant), kBlank);
}

// The same for a literal of at most eight significant bytes, where the value has at least eight bytes to
// read: its first eight, blank past its length, against the literal's as one word each. Compared byte by
// byte, a branch on the length and one on the first difference went wrong on most records, since which
// names match, and their lengths, vary; the word leaves a branch only for values longer than eight bytes
// that equal the literal over the first eight. Byte-swapped, the first differing byte is the most
// significant one; little-endian hosts only, where the value's first bytes are the word's low ones.
template <int significant>
std::int32_t CompareFirstWord(const std::uint8_t* value, std::int32_t length, const std::uint8_t* literal) {
  static_assert(significant <= 8);
  constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
  std::uint64_t padded = kBlanks;
  // An empty literal may have no bytes to point at.
  if constexpr (significant > 0) std::memcpy(&padded, literal, significant);
  const std::uint64_t kept = length >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
  const std::uint64_t word = (LoadUnaligned<std::uint64_t>(value) & kept) | (kBlanks & ~kept);
  if (word != padded) return __builtin_bswap64(word) < __builtin_bswap64(padded) ? -1 : 1;
  if (length <= 8) return 0;
  return CompareWithPad(value + 8, static_cast<std::size_t>(length - 8), kBlank);
}

// A varying column, not a substring of it, equal or not equal to a literal of `significant` bytes and then
// blanks: what VaryingColumnLiteral answers, with the same work fields written. `byWord` when the column
// holds at least eight bytes and the literal at most eight significant ones.
template <Op op, int significant, bool byWord>
[[gnu::flatten]] std::int32_t VaryingColumnShortLiteral(FilterElement& e, const std::uint8_t* record) {
  const VaryingData value = ReadVarying(e, record);
  if constexpr (byWord) {
    e.conditionCode = CompareFirstWord<significant>(value.data, value.length, LiteralOf(e));
  } else {
    e.conditionCode = CompareWithSignificant<significant>(value.data, value.length, LiteralOf(e), e.rightLiteralLength);
  }
  return StatusOf(OutcomeHolds<op>(e.conditionCode));
}

template <Op op, bool byWord, std::size_t... significant>
constexpr std::array<BoundRoutine, sizeof...(significant)> ShortLiteralForms(std::index_sequence<significant...>) {
  return {kBound<&VaryingColumnShortLiteral<op, static_cast<int>(significant), byWord>>...};
}

// Host-written literals are padded to the column's width ('root' and 22 blanks); names and codes are short.
constexpr int kLongestSignificant = 16;
constexpr int kLongestByWord = 8;
constexpr auto kEqualForms = ShortLiteralForms<Op::kEQ, false>(std::make_index_sequence<kLongestSignificant + 1>());
constexpr auto kNotEqualForms = ShortLiteralForms<Op::kNE, false>(std::make_index_sequence<kLongestSignificant + 1>());
constexpr auto kEqualWordForms = ShortLiteralForms<Op::kEQ, true>(std::make_index_sequence<kLongestByWord + 1>());
constexpr auto kNotEqualWordForms = ShortLiteralForms<Op::kNE, true>(std::make_index_sequence<kLongestByWord + 1>());

}  // namespace

std::int32_t FixedColumnLiteral(FilterElement& e, const std::uint8_t* record) {
  e.conditionCode = Compare(ColumnOf(e, record) + e.substringOffset, LiteralOf(e), e.rightLiteralLength);
  return status::kOk;
}

std::int32_t FixedColumnLike(FilterElement& e, const std::uint8_t* record) {
  return MatchStatus(ComparePattern(ColumnOf(e, record) + e.substringOffset, e.columnLength - e.substringOffset,
                                    LiteralOf(e), RightLength(e), 0));
}

std::int32_t FixedColumnSearch(FilterElement& e, const std::uint8_t* record) {
  const std::int32_t found = FindString(ColumnOf(e, record), e.columnLength, LeftDataOf(e), e.leftLiteralLength);
  DeliverFound(e, found);
  e.conditionCode = found ? status::kOk : status::kNoMatch;
  return e.conditionCode;
}

std::int32_t FixedColumnColumn(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint8_t* right = RightColumnOf(e, record);
  if (!(e.leftFlags & rep::kMixed)) {
    e.conditionCode = Compare(left, right, e.leftLiteralLength);
    return status::kOk;
  }
  if (RightIsVarying(e)) {
    const std::uint16_t prefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(prefix));
    if (prefix > RightLength(e) - kLengthPrefix) return Print<Printer::kFix2>(e, record, status::kLengthOutOfRange, nullptr);
    e.conditionCode = ComparePadded(left, right + kLengthPrefix, e.columnLength, prefix, kBlank);
    return status::kOk;
  }
  if (RightIsScaledNumber(e)) return CompareNumeric(e, record);
  e.conditionCode = ComparePadded(left, right, e.columnLength, RightLength(e), kBlank);
  return status::kOk;
}

std::int32_t FixedColumnColumnLike(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint8_t* right = RightColumnOf(e, record);
  std::int32_t match;
  if (RightIsVarying(e)) {
    const std::uint16_t prefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(prefix));
    if (prefix > RightLength(e) - kLengthPrefix) return Print<Printer::kFix2>(e, record, status::kLengthOutOfRange, nullptr);
    match = ComparePattern(left, e.columnLength, right + kLengthPrefix, prefix, std::max<std::int32_t>(e.columnLength, prefix));
  } else {
    const std::int32_t n = (e.rightFlags & rep::kColumn) ? RightLength(e) : e.rightLiteralLength;
    match = ComparePattern(left, e.columnLength, right, n, std::max<std::int32_t>(e.columnLength, n));
  }
  e.conditionCode = MatchStatus(match);
  return e.conditionCode;
}

std::int32_t ResultLiteral(FilterElement& e, const std::uint8_t*) {
  e.conditionCode = Compare(LeftDataOf(e), LiteralOf(e), e.rightLiteralLength);
  return status::kOk;
}

std::int32_t ResultLike(FilterElement& e, const std::uint8_t*) {
  return MatchStatus(ComparePattern(LeftDataOf(e), e.leftLiteralLength, LiteralOf(e), e.rightLiteralLength, 0));
}

std::int32_t VaryingColumnLiteral(FilterElement& e, const std::uint8_t* record) {
  const VaryingData value = ReadVarying(e, record);
  const std::uint8_t* literal = LiteralOf(e);
  const std::int32_t literalLength = e.rightLiteralLength;
  if (e.functionCode != fn::kSubstring) {
    e.conditionCode = ComparePadded(value.data, literal, value.length, literalLength, kBlank);
    return status::kOk;
  }
  const std::int32_t offset = e.substringOffset;
  if (!(e.rightFlags & rep::kPatternLengthGiven) && offset + literalLength > e.columnLength - LeftWordKept(e)) {
    return Print<Printer::kVar1>(e, record, status::kSubstringBeyondData, nullptr);
  }
  if (value.length <= offset) {
    e.conditionCode = ComparePadded(kOneBlank, literal, 1, literalLength, kBlank);
  } else if (value.length - offset < literalLength) {
    e.conditionCode = ComparePadded(value.data + offset, literal, value.length - offset, literalLength, kBlank);
  } else {
    e.conditionCode = Compare(value.data + offset, literal, literalLength);
  }
  return status::kOk;
}

std::int32_t VaryingColumnLike(FilterElement& e, const std::uint8_t* record) {
  const VaryingData value = ReadVarying(e, record);
  if (!value.inRange) return FixedColumnLike(e, record);
  const std::int32_t offset = e.substringOffset;
  const std::int32_t width = e.columnLength - kLengthPrefix - offset;
  if (value.length <= offset) return MatchStatus(ComparePattern(kOneBlank, 1, LiteralOf(e), RightLength(e), width));
  return MatchStatus(ComparePattern(value.data + offset, value.length - offset, LiteralOf(e), RightLength(e), width));
}

std::int32_t VaryingColumnSearch(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* column = ColumnOf(e, record);
  const std::uint16_t prefix = PrefixAt(column);
  e.rightScale = static_cast<std::int16_t>(prefix);
  const std::int32_t capacity = e.columnLength - kLengthPrefix;
  if (prefix > capacity) return FixedColumnSearch(e, record);
  const std::int32_t found = FindPaddedString(column + kLengthPrefix, prefix, LeftDataOf(e), e.leftLiteralLength, capacity, kBlank);
  DeliverFound(e, found);
  e.conditionCode = found ? status::kOk : status::kNoMatch;
  return e.conditionCode;
}

std::int32_t VaryingColumnColumn(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint16_t leftPrefix = PrefixAt(left);
  e.leftScale = static_cast<std::int16_t>(leftPrefix);
  if (leftPrefix > e.columnLength - kLengthPrefix) return Print<Printer::kVar2>(e, record, status::kLengthOutOfRange, nullptr);
  const std::uint8_t* right = RightColumnOf(e, record);
  if (RightIsVarying(e)) {
    const std::uint16_t rightPrefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(rightPrefix));
    if (rightPrefix > RightLength(e) - kLengthPrefix) return Print<Printer::kVar2>(e, record, status::kLengthOutOfRange, nullptr);
    e.conditionCode = ComparePadded(left + kLengthPrefix, right + kLengthPrefix, leftPrefix, rightPrefix, kBlank);
    return status::kOk;
  }
  if (RightIsScaledNumber(e)) return CompareNumeric(e, record);
  e.conditionCode = ComparePadded(left + kLengthPrefix, right, leftPrefix, RightLength(e), kBlank);
  return status::kOk;
}

std::int32_t VaryingColumnColumnLike(FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* left = ColumnOf(e, record);
  const std::uint16_t leftPrefix = PrefixAt(left);
  e.leftScale = static_cast<std::int16_t>(leftPrefix);
  if (leftPrefix > e.columnLength - kLengthPrefix) return Print<Printer::kVar2>(e, record, status::kLengthOutOfRange, nullptr);
  const std::uint8_t* right = RightColumnOf(e, record);
  std::int32_t match;
  if (!RightIsVarying(e)) {
    match = ComparePattern(left + kLengthPrefix, leftPrefix, right, RightLength(e), std::max<std::int32_t>(leftPrefix, RightLength(e)));
  } else {
    const std::uint16_t rightPrefix = PrefixAt(right);
    KeepRightWord(e, static_cast<std::int16_t>(rightPrefix));
    if (rightPrefix > RightLength(e) - kLengthPrefix) return Print<Printer::kVar2>(e, record, status::kLengthOutOfRange, nullptr);
    match = ComparePattern(left + kLengthPrefix, leftPrefix, right + kLengthPrefix, rightPrefix, std::max(leftPrefix, rightPrefix));
  }
  return MatchStatus(match);
}

// Flattened: the outcome functions are too large for the compiler to inline into six operators unasked.
template <Op op>
[[gnu::flatten]] std::int32_t OperatorRoutines<op>::FixedColumnLiteral(FilterElement& e, const std::uint8_t* record) {
  return ByOutcome<op, character::FixedColumnLiteral>(e, record);
}
template <Op op>
[[gnu::flatten]] std::int32_t OperatorRoutines<op>::FixedColumnColumn(FilterElement& e, const std::uint8_t* record) {
  return ByOutcome<op, character::FixedColumnColumn>(e, record);
}
template <Op op>
[[gnu::flatten]] std::int32_t OperatorRoutines<op>::ResultLiteral(FilterElement& e, const std::uint8_t* record) {
  return ByOutcome<op, character::ResultLiteral>(e, record);
}
template <Op op>
[[gnu::flatten]] std::int32_t OperatorRoutines<op>::VaryingColumnLiteral(FilterElement& e, const std::uint8_t* record) {
  return ByOutcome<op, character::VaryingColumnLiteral>(e, record);
}
template <Op op>
[[gnu::flatten]] std::int32_t OperatorRoutines<op>::VaryingColumnColumn(FilterElement& e, const std::uint8_t* record) {
  return ByOutcome<op, character::VaryingColumnColumn>(e, record);
}

template struct OperatorRoutines<Op::kEQ>;
template struct OperatorRoutines<Op::kNE>;
template struct OperatorRoutines<Op::kGT>;
template struct OperatorRoutines<Op::kLT>;
template struct OperatorRoutines<Op::kGE>;
template struct OperatorRoutines<Op::kLE>;

// Made here, where each operator's routine is defined, so that its loop over a batch may inline it. By
// operator: EQ NE GT LT GE LE.
namespace {

using OperatorForms = std::array<BoundRoutine, 6>;
template <Op... ops>
constexpr OperatorForms kFixedLiteralForms = {kBound<OperatorRoutines<ops>::FixedColumnLiteral>...};
template <Op... ops>
constexpr OperatorForms kVaryingLiteralForms = {kBound<OperatorRoutines<ops>::VaryingColumnLiteral>...};
constexpr auto& kFixedLiteralByOperator = kFixedLiteralForms<Op::kEQ, Op::kNE, Op::kGT, Op::kLT, Op::kGE, Op::kLE>;
constexpr auto& kVaryingLiteralByOperator = kVaryingLiteralForms<Op::kEQ, Op::kNE, Op::kGT, Op::kLT, Op::kGE, Op::kLE>;

BoundRoutine FormFor(const OperatorForms& forms, Op op) {
  return op <= Op::kLE ? forms[static_cast<std::size_t>(op)] : BoundRoutine{};
}

}  // namespace

BoundRoutine FixedColumnLiteralForm(Op op) { return FormFor(kFixedLiteralByOperator, op); }

BoundRoutine VaryingColumnLiteralForm(const FilterElement& e, Op op) {
  // A substring may report that it lies beyond the data: a routine that prints has no loop over a batch.
  if (e.functionCode == fn::kSubstring) return {};
  if ((op == Op::kEQ || op == Op::kNE) && e.rightLiteralLength >= 0) {
    const std::uint8_t* literal = LiteralOf(e);
    int significant = e.rightLiteralLength;
    while (significant > 0 && literal[significant - 1] == kBlank) --significant;
    const auto at = static_cast<std::size_t>(significant);
    const bool wordFits = e.columnLength - kLengthPrefix >= 8 && std::endian::native == std::endian::little;
    if (significant <= kLongestByWord && wordFits) return (op == Op::kEQ ? kEqualWordForms : kNotEqualWordForms)[at];
    if (significant <= kLongestSignificant) return (op == Op::kEQ ? kEqualForms : kNotEqualForms)[at];
  }
  return FormFor(kVaryingLiteralByOperator, op);
}

}  // namespace vexfilt::character
