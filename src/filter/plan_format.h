// Byte layout of the Filter Plan and the Literal Pool, and the codes they carry.
//
// A plan is a 32-byte PlanHeader followed by `elementCount` element records, `elementLength` bytes apart, of
// which the first 192 bytes are used (FilterElement in filter.h is that record plus the library's references).
// A pool is a 16-byte PoolHeader followed by `entryCount` literal entries, each a 16-byte LiteralEntry header
// and its data, chained by their entry lengths. All integers are in the local byte order.
#ifndef VEXFILT_FILTER_PLAN_FORMAT_H_
#define VEXFILT_FILTER_PLAN_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace vexfilt {

struct PlanHeader {
  char tag[4];
  std::int16_t version;
  std::int16_t totalLength;   // checked against the plan length for versions above 130
  std::int32_t recordLength;  // byte length of the table's records
  std::int16_t elementLength;
  std::int16_t elementCount;
  char tableName[10];  // blank padded, no terminator
  std::uint16_t planFlags;
  std::uint32_t reserved;
};
static_assert(sizeof(PlanHeader) == 32);
static_assert(offsetof(PlanHeader, version) == 4 && offsetof(PlanHeader, totalLength) == 6);
static_assert(offsetof(PlanHeader, recordLength) == 8 && offsetof(PlanHeader, elementLength) == 12);
static_assert(offsetof(PlanHeader, elementCount) == 14 && offsetof(PlanHeader, tableName) == 16);
static_assert(offsetof(PlanHeader, planFlags) == 26);

struct PoolHeader {
  char tag[4];
  std::int16_t version;
  std::int16_t totalLength;  // not read by creation; converted by translation
  std::int16_t entryCount;
  std::uint16_t reserved;
  std::uint32_t languageId;  // 0 stands for kDefaultLanguageId
};
static_assert(sizeof(PoolHeader) == 16);
static_assert(offsetof(PoolHeader, version) == 4 && offsetof(PoolHeader, entryCount) == 8);
static_assert(offsetof(PoolHeader, languageId) == 12);

struct LiteralEntry {
  std::int16_t id;
  std::int16_t entryLength;  // from this entry's start to the next one's
  std::int16_t dataLength;   // declared length of the data
  std::int16_t dataType;
  std::int16_t valueLength;  // bytes of value actually held
  std::uint16_t reserved;
  std::int16_t kind;  // 1 search list, 2 change control block, 0 or less a plain value
  std::int16_t alternateLength;
  // the data follows
};
static_assert(sizeof(LiteralEntry) == 16);
static_assert(offsetof(LiteralEntry, valueLength) == 8 && offsetof(LiteralEntry, kind) == 12);

inline constexpr std::size_t kPlanHeaderSize = sizeof(PlanHeader);
inline constexpr std::size_t kPoolHeaderSize = sizeof(PoolHeader);
inline constexpr std::size_t kEntryHeaderSize = sizeof(LiteralEntry);
inline constexpr std::size_t kElementRecordSize = 192;

inline constexpr std::int16_t kOldestVersion = 130;
inline constexpr std::int16_t kNewestVersion = 21844;
inline constexpr std::uint32_t kDefaultLanguageId = 0x03480001;  // en_US
inline constexpr std::uint32_t kUtf8CodePage = 1208;

// Literal kinds.
inline constexpr std::int16_t kKindSearchList = 1;
inline constexpr std::int16_t kKindChangeControl = 2;

// Plan flags.
namespace plan_flag {
inline constexpr std::uint16_t kReportedFeatures = 0x0110;  // handed to the host as they are
inline constexpr std::uint16_t kLocaleSetup = 0x0200;  // with kUtf8Data: a locale for the pool's language id
inline constexpr std::uint16_t kUtf8Data = 0x0400;  // elements flagged kUtf8 get the locale-aware routines
}  // namespace plan_flag

// Operator codes.
namespace op {
inline constexpr std::int32_t kNot = 1, kOr = 2, kAnd = 3;
inline constexpr std::int32_t kEQ = 4, kNE = 5, kLT = 6, kGT = 7, kLE = 8, kGE = 9;
inline constexpr std::int32_t kAdd = 10, kSub = 11, kMul = 12, kDiv = 13;
inline constexpr std::int32_t kFunc = 33, kLike = 59;
}  // namespace op

// Function codes.
namespace fn {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kAlways = 1;
inline constexpr std::uint32_t kStringSearch = 6;
inline constexpr std::uint32_t kSubstring = 7;
inline constexpr std::uint32_t kMktime = 8;
inline constexpr std::uint32_t kSearchList = 12;
inline constexpr std::uint32_t kRegexp = 13, kRegexpAlt = 14;
inline constexpr std::uint32_t kChange = 15, kChangeAlt = 16;
constexpr bool IsChange(std::uint32_t code) { return code == kChange || code == kChangeAlt; }
}  // namespace fn

// Data type codes; an odd code above 383 is the nullable form of the even one below it.
namespace type {
inline constexpr std::int16_t kVarChar = 448, kChar = 452, kUtf8VarChar = 1018, kUtf8Char = 1022;
inline constexpr std::int16_t kUShort = 2, kShort = 500, kULong = 1006, kLong = 496;
inline constexpr std::int16_t kDouble = 480, kDoubleAlt = 1000;
}  // namespace type

// Representation flags of an operand (leftFlags, rightFlags).
namespace rep {
inline constexpr std::uint16_t kNullable = 0x0001;
inline constexpr std::uint16_t kShort = 0x0002;
inline constexpr std::uint16_t kLong = 0x0004;
inline constexpr std::uint16_t kDouble = 0x0008;
inline constexpr std::uint16_t kUtf8 = 0x0010;
inline constexpr std::uint16_t kChar = 0x0020;
inline constexpr std::uint16_t kVarying = 0x0040;
inline constexpr std::uint16_t kUnsigned = 0x0080;
inline constexpr std::uint16_t kMixed = 0x0100;
inline constexpr std::uint16_t kColumn = 0x0200;
inline constexpr std::uint16_t kScaled = 0x0400;
inline constexpr std::uint16_t kPatternLengthGiven = 0x0800;
inline constexpr std::uint16_t kOwnedLiteral = 0x1000;
inline constexpr std::uint16_t kNameNormalised = 0x2000;
inline constexpr std::uint16_t kNumeric = kShort | kLong | kDouble;
inline constexpr std::uint16_t kAnyChar = kUtf8 | kChar;
inline constexpr std::uint16_t kScaledMixed = kScaled | kMixed;  // operands of different scales, read as doubles
}  // namespace rep

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_PLAN_FORMAT_H_
