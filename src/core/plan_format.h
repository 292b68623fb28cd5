// Byte layout of the Filter Plan and the Literal Pool, and the codes they carry, under the library's C++
// names. The layouts and the numbers are those of the public vexplan.h, which hosts write plans with: this
// file only names them, so the library and its hosts cannot disagree.
//
// A plan is a 32-byte PlanHeader followed by `elementCount` element records, `elementLength` bytes apart, of
// which the first 192 bytes are used (FilterElement in filter.h is that record plus the library's references).
// A pool is a 16-byte PoolHeader followed by `entryCount` literal entries, each a 16-byte LiteralEntry header
// and its data, chained by their entry lengths. All integers are in the local byte order.
#ifndef VEXFILT_CORE_PLAN_FORMAT_H_
#define VEXFILT_CORE_PLAN_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "vexplan.h"

namespace vexfilt {

using PlanHeader = ::VxpPlanHeader;
using PoolHeader = ::VxpPoolHeader;
using LiteralEntry = ::VxpLiteralEntry;

inline constexpr std::size_t kPlanHeaderSize = sizeof(PlanHeader);
inline constexpr std::size_t kPoolHeaderSize = sizeof(PoolHeader);
inline constexpr std::size_t kEntryHeaderSize = sizeof(LiteralEntry);
inline constexpr std::size_t kElementRecordSize = sizeof(::VxpElement);
// A varying value's length, before its characters; a varying column's declared length counts it.
inline constexpr std::int32_t kLengthPrefix = VXP_LENGTH_PREFIX_BYTES;
inline constexpr std::size_t kColumnNameSize = sizeof(::VxpElement::columnName);  // blank padded, no terminator
inline constexpr std::size_t kTableNameSize = sizeof(PlanHeader::tableName);  // blank padded, no terminator

inline constexpr std::int16_t kOldestVersion = VXP_VERSION_OLDEST;
inline constexpr std::int16_t kNewestVersion = VXP_VERSION_NEWEST;
inline constexpr std::int16_t kChangeControlVersion = VXP_VERSION_CHANGE_CONTROL;  // pools that may carry one
inline constexpr std::uint32_t kDefaultLanguageId = VXP_DEFAULT_LANGUAGE_ID;  // en_US
inline constexpr std::uint32_t kUtf8CodePage = 1208;

// Literal kinds.
inline constexpr std::int16_t kKindSearchList = VXP_ENTRY_SEARCH_LIST;
inline constexpr std::int16_t kKindChangeControl = VXP_ENTRY_CHANGE_CONTROL;

// Plan flags.
namespace plan_flag {
inline constexpr std::uint16_t kReportedFeatures = VXP_PLAN_FLAG_REPORTED_FEATURES;  // handed to the host as they are
inline constexpr std::uint16_t kLocaleSetup = VXP_PLAN_FLAG_LOCALE_SETUP;  // with kUtf8Data: a locale for the pool's language id
inline constexpr std::uint16_t kUtf8Data = VXP_PLAN_FLAG_UTF8_DATA;  // elements flagged kUtf8 get the locale-aware routines
}  // namespace plan_flag

// Operator codes.
namespace op {
inline constexpr std::int32_t kNot = VXP_OP_NOT, kOr = VXP_OP_OR, kAnd = VXP_OP_AND;
inline constexpr std::int32_t kEQ = VXP_OP_EQ, kNE = VXP_OP_NE, kLT = VXP_OP_LT, kGT = VXP_OP_GT, kLE = VXP_OP_LE,
                              kGE = VXP_OP_GE;
inline constexpr std::int32_t kAdd = VXP_OP_ADD, kSub = VXP_OP_SUB, kMul = VXP_OP_MUL, kDiv = VXP_OP_DIV;
inline constexpr std::int32_t kFunc = VXP_OP_FUNC, kLike = VXP_OP_LIKE;
}  // namespace op

// Function codes.
namespace fn {
inline constexpr std::uint32_t kNone = VXP_FN_NONE;
inline constexpr std::uint32_t kAlways = VXP_FN_ALWAYS;
inline constexpr std::uint32_t kStringSearch = VXP_FN_STRING_SEARCH;
inline constexpr std::uint32_t kSubstring = VXP_FN_SUBSTRING;
inline constexpr std::uint32_t kMktime = VXP_FN_MKTIME;
inline constexpr std::uint32_t kSearchList = VXP_FN_SEARCH_LIST;
inline constexpr std::uint32_t kRegexp = VXP_FN_REGEXP, kRegexpAlt = VXP_FN_REGEXP_ALT;
inline constexpr std::uint32_t kChange = VXP_FN_CHANGE, kChangeAlt = VXP_FN_CHANGE_ALT;
constexpr bool IsChange(std::uint32_t code) { return code == kChange || code == kChangeAlt; }
}  // namespace fn

// Data type codes; an odd code above kNullableAbove is the nullable form of the even one below it.
namespace type {
inline constexpr std::int16_t kNullableAbove = VXP_TYPE_NULLABLE_ABOVE;
inline constexpr std::int16_t kVarChar = VXP_TYPE_VARCHAR, kChar = VXP_TYPE_CHAR, kUtf8VarChar = VXP_TYPE_UTF8_VARCHAR,
                              kUtf8Char = VXP_TYPE_UTF8_CHAR;
inline constexpr std::int16_t kUShort = VXP_TYPE_USHORT, kShort = VXP_TYPE_SHORT, kULong = VXP_TYPE_ULONG,
                              kLong = VXP_TYPE_LONG;
inline constexpr std::int16_t kDouble = VXP_TYPE_DOUBLE, kDoubleAlt = VXP_TYPE_DOUBLE_ALT;
}  // namespace type

// Representation flags of an operand (leftFlags, rightFlags).
namespace rep {
inline constexpr std::uint16_t kNullable = VXP_REP_NULLABLE;
inline constexpr std::uint16_t kShort = VXP_REP_SHORT;
inline constexpr std::uint16_t kLong = VXP_REP_LONG;
inline constexpr std::uint16_t kDouble = VXP_REP_DOUBLE;
inline constexpr std::uint16_t kUtf8 = VXP_REP_UTF8;
inline constexpr std::uint16_t kChar = VXP_REP_CHAR;
inline constexpr std::uint16_t kVarying = VXP_REP_VARYING;
inline constexpr std::uint16_t kUnsigned = VXP_REP_UNSIGNED;
inline constexpr std::uint16_t kMixed = VXP_REP_MIXED;
inline constexpr std::uint16_t kColumn = VXP_REP_COLUMN;
inline constexpr std::uint16_t kScaled = VXP_REP_SCALED;
inline constexpr std::uint16_t kPatternLengthGiven = VXP_REP_PATTERN_LENGTH_GIVEN;
inline constexpr std::uint16_t kOwnedLiteral = VXP_REP_OWNED_LITERAL;
inline constexpr std::uint16_t kNameNormalised = VXP_REP_NAME_NORMALISED;  // left
inline constexpr std::uint16_t kSubstitution = VXP_REP_SUBSTITUTION;  // right
inline constexpr std::uint16_t kAlternateLength = VXP_REP_ALTERNATE_LENGTH;  // right
inline constexpr std::uint16_t kNumeric = kShort | kLong | kDouble;
inline constexpr std::uint16_t kAnyChar = kUtf8 | kChar;
inline constexpr std::uint16_t kScaledMixed = kScaled | kMixed;  // operands of different scales, read as doubles
}  // namespace rep

// Routine slots by name: a kind of data plus what is compared, as vexplan.h composes them, and the
// locale-aware slots kLocaleShift further that the library moves UTF-8 character elements to.
namespace slot {
inline constexpr std::int16_t kLocaleShift = VXP_SLOT_LOCALE_SHIFT;
inline constexpr std::int16_t kFunction = VXP_SLOT_FUNCTION;  // the one routine of a FUNC, always, MKTIME or search table

inline constexpr std::int16_t kCharColLit = VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_LIT;
inline constexpr std::int16_t kCharColCol = VXP_SLOT_KIND_CHAR + VXP_SLOT_COL_COL;
inline constexpr std::int16_t kCharResultLit = VXP_SLOT_KIND_CHAR + VXP_SLOT_CHAR_RESULT_LIT;  // MKTIME's result
inline constexpr std::int16_t kVarCharColLit = VXP_SLOT_KIND_VARCHAR + VXP_SLOT_COL_LIT;
inline constexpr std::int16_t kVarCharColCol = VXP_SLOT_KIND_VARCHAR + VXP_SLOT_COL_COL;

inline constexpr std::int16_t kLongColLit = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT;
inline constexpr std::int16_t kLongColCol = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_COL;
inline constexpr std::int16_t kLongColResult = VXP_SLOT_KIND_LONG + VXP_SLOT_COL_RESULT;
inline constexpr std::int16_t kLongResultResult = VXP_SLOT_KIND_LONG + VXP_SLOT_RESULT_RESULT;
inline constexpr std::int16_t kLongResultLit = VXP_SLOT_KIND_LONG + VXP_SLOT_RESULT_LIT;

inline constexpr std::int16_t kShortColLit = VXP_SLOT_KIND_SHORT + VXP_SLOT_COL_LIT;
inline constexpr std::int16_t kShortColCol = VXP_SLOT_KIND_SHORT + VXP_SLOT_COL_COL;
inline constexpr std::int16_t kShortColResult = VXP_SLOT_KIND_SHORT + VXP_SLOT_COL_RESULT;
inline constexpr std::int16_t kShortResultResult = VXP_SLOT_KIND_SHORT + VXP_SLOT_RESULT_RESULT;
inline constexpr std::int16_t kShortResultLit = VXP_SLOT_KIND_SHORT + VXP_SLOT_RESULT_LIT;

inline constexpr std::int16_t kDoubleColLit = VXP_SLOT_KIND_DOUBLE + VXP_SLOT_COL_LIT;
inline constexpr std::int16_t kDoubleColCol = VXP_SLOT_KIND_DOUBLE + VXP_SLOT_COL_COL;
inline constexpr std::int16_t kDoubleColResult = VXP_SLOT_KIND_DOUBLE + VXP_SLOT_COL_RESULT;
inline constexpr std::int16_t kDoubleResultResult = VXP_SLOT_KIND_DOUBLE + VXP_SLOT_RESULT_RESULT;
inline constexpr std::int16_t kDoubleResultLit = VXP_SLOT_DOUBLE_RESULT_LIT;  // never holds
static_assert(kDoubleResultLit == VXP_SLOT_KIND_DOUBLE + VXP_SLOT_RESULT_LIT);

constexpr std::int16_t Locale(std::int16_t plain) { return static_cast<std::int16_t>(plain + kLocaleShift); }
inline constexpr std::int16_t kLocaleCharColLit = Locale(kCharColLit);
inline constexpr std::int16_t kLocaleCharColCol = Locale(kCharColCol);
inline constexpr std::int16_t kLocaleCharResultLit = Locale(kCharResultLit);
inline constexpr std::int16_t kLocaleVarCharColLit = Locale(kVarCharColLit);
inline constexpr std::int16_t kLocaleVarCharColCol = Locale(kVarCharColCol);
}  // namespace slot

}  // namespace vexfilt

#endif  // VEXFILT_CORE_PLAN_FORMAT_H_
