// The trace printers of the traced routines: one line per element (a common prefix, then the family's
// suffix), followed by dumps of the compared bytes. A printer reads only what its routine read, so that a
// traced evaluation never reaches beyond the operands that creation proved are there.
#include "routines/printers.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/change_control.h"
#include "core/memory.h"
#include "core/status.h"
#include "routines/nls_pattern.h"
#include "routines/operands.h"

namespace vexfilt {
namespace {

using operands::LeftWordKept;
using operands::RightWordKept;
using operands::ShortChangeOf;

constexpr std::uint32_t kPrintBits = trace_bit::k01 | trace_bit::k80;

// Column descriptor: the second column's name (terminated) and its type.
constexpr std::size_t kDescriptorName = 32, kDescriptorType = 44;
constexpr std::size_t kShownNameLength = 10;  // of the 12 bytes the name may take

// One trace line under construction: on the stack while it is short, in a block of its own once it grows
// longer. A line that cannot have the block is cut where the stack's room ends: a traced evaluation takes
// no memory it could fail for.
class Line {
 public:
  Line() { stack_[0] = '\0'; }
  ~Line() {
    if (text_ != stack_) ReleaseBlock(text_, "printers", __LINE__);
  }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  void Append(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (cut_) return;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(text_ + used_, room_ - used_, format, args);
    va_end(args);
    if (needed > 0) {
      const std::size_t total = used_ + static_cast<std::size_t>(needed);
      if (total < room_) {
        used_ = total;
      } else if (Grow(total + 1)) {
        std::vsnprintf(text_ + used_, room_ - used_, format, again);
        used_ = total;
      } else {
        used_ = room_ - 1;  // what fitted, terminated
        cut_ = true;
      }
    }
    va_end(again);
  }
  const char* c_str() const { return text_; }
  void Write(TraceBlock& block, int line) const { TracePrintf(block, line, "%s", text_); }

 private:
  bool Grow(std::size_t room) {
    room = std::max(room, 2 * room_);
    auto* grown = static_cast<char*>(AllocateBlock(room, "printers", __LINE__));
    if (grown == nullptr) return false;
    std::memcpy(grown, text_, used_ + 1);
    if (text_ != stack_) ReleaseBlock(text_, "printers", __LINE__);
    text_ = grown;
    room_ = room;
    return true;
  }

  char stack_[512];
  char* text_ = stack_;
  std::size_t room_ = sizeof stack_;
  std::size_t used_ = 0;
  bool cut_ = false;
};

// A dump of `length` bytes; nothing for a negative length or a missing operand.
void Dump(TraceBlock& block, int line, const void* at, std::int32_t length) {
  if (at == nullptr || length <= 0) return;
  TraceDump(block, line, at, static_cast<std::size_t>(length));
}

constexpr std::uint8_t kOneBlank[1] = {' '};

const char* OutcomeTag(std::int32_t status) {
  switch (status) {
    case status::kOk: return "True ";
    case status::kFalse:
    case status::kNoMatch: return "False";
    case status::kLocaleError: return "NLSer";
    default: return "Error";
  }
}

// The prefix every line starts with. The tag shows only when no routine name was passed.
void AppendPrefix(Line& line, const FilterElement& e, std::int32_t status, const char* name, const char* label) {
  char column[sizeof e.columnName + 1];
  std::memcpy(column, e.columnName, sizeof e.columnName);
  column[sizeof e.columnName] = '\0';
  const std::uint16_t next = status == status::kOk ? e.trueTargetId : e.falseTargetId;
  line.Append("%s%s%.4s %s id=%2hx->%4hx st=%d cc=%2d %s", name != nullptr ? name : label, "",
              name != nullptr ? "" : e.tag, OutcomeTag(status), e.elementId, next, status, e.conditionCode, column);
}

const char* NlsMark(std::uint16_t flags) { return (flags & rep::kUtf8) ? "/NLS " : " "; }

void AppendLeftGroup(Line& line, const FilterElement& e) {
  line.Append("/l%d/o%d/t%d/x%.04x%s", e.columnLength, e.columnOffset, e.dataType, e.leftFlags, NlsMark(e.leftFlags));
}

bool IsLocaleAware(const FilterElement& e) { return (e.leftFlags & rep::kUtf8) != 0; }
bool IsLike(const FilterElement& e) { return e.compareOperator == op::kLike; }
bool IsLocaleSubstring(const FilterElement& e) { return IsLocaleAware(e) && e.functionCode == fn::kSubstring; }
bool IsComparisonOutcome(std::int32_t status) {
  return status == status::kOk || status == status::kFalse || status == status::kNoMatch;
}
std::int32_t Unsigned16(std::int16_t value) { return static_cast<std::uint16_t>(value); }
const FilterElement& ResultTargetOf(const FilterElement& e) { return (&e)[e.resultTarget]; }
const std::uint8_t* ColumnOf(const FilterElement& e, const std::uint8_t* record) { return record + e.columnOffset; }
const std::uint8_t* RightColumnOf(const FilterElement& e, const std::uint8_t* record) {
  return record + e.rightColumnOffset;
}
const std::uint8_t* Bytes(const void* data) { return static_cast<const std::uint8_t*>(data); }

// Only a column-against-column element's right operand is known to be a column descriptor.
const std::uint8_t* DescriptorOf(const FilterElement& e) {
  return (e.rightData != nullptr && (e.rightFlags & rep::kColumn)) ? Bytes(e.rightData) : nullptr;
}

struct ShownName {
  char text[kShownNameLength + 1];
};

// The second column's name as the descriptor holds it, at most ten characters; "COL2" without one.
ShownName RightColumnName(const FilterElement& e) {
  const std::uint8_t* descriptor = DescriptorOf(e);
  if (descriptor == nullptr) return {"COL2"};
  const char* name = reinterpret_cast<const char*>(descriptor + kDescriptorName);
  ShownName shown{};
  std::memcpy(shown.text, name, strnlen(name, kShownNameLength));
  return shown;
}

// Whether the substring walk over `n` bytes of data found the substring's start inside them: the walk
// leaves no mark of a start beyond the data, so it is counted again.
bool SubstringStartsInside(const FilterElement& e, const std::uint8_t* data, std::int32_t n) {
  NlsLocale* locale = e.filter != nullptr ? e.filter->locale : nullptr;
  std::int32_t start = 0, skipped = 0;
  while (skipped < e.substringOffset && start < n) {
    start += CharacterBytes(locale, data + start, n - start);
    ++skipped;
  }
  return skipped == e.substringOffset && start < n;
}

// The suffix and dumps of a locale-aware substring, over the `n` bytes of data the walk went through.
void LocaleSubstring(TraceBlock& block, Line& line, const FilterElement& e, std::int32_t status,
                     const std::uint8_t* column, const std::uint8_t* data, std::int32_t n) {
  line.Append("parms off/len=%d/%d col byte off/len=%d/%d char len %d lit byte len=%d", e.substringOffset,
              e.leftLiteralLength, e.rightColumnOffset, RightWordKept(e), LeftWordKept(e), e.rightScale);
  line.Write(block, __LINE__);
  if (!IsComparisonOutcome(status) || data == nullptr) {
    Dump(block, __LINE__, column, e.columnLength);
  } else if (!SubstringStartsInside(e, data, n)) {
    Dump(block, __LINE__, kOneBlank, 1);
  } else {
    // The walk wrote where the substring lies; it stays inside the data.
    const std::int32_t offset = e.rightColumnOffset >= 0 && e.rightColumnOffset < n ? e.rightColumnOffset : 0;
    const std::int32_t length = RightWordKept(e) < n - offset ? RightWordKept(e) : n - offset;
    Dump(block, __LINE__, data + offset, length);
  }
  Dump(block, __LINE__, e.rightData, Unsigned16(e.rightScale));
}

std::int32_t PrintFix1(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"Fix1", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  const std::uint8_t* column = ColumnOf(e, record);
  Line line;
  if (IsLocaleSubstring(e)) {
    AppendPrefix(line, e, status, name, "SubColToLit ");
    AppendLeftGroup(line, e);
    LocaleSubstring(block, line, e, status, column, column, e.columnLength);
    return trace.Exit(status, __LINE__);
  }
  // LIKE and locale-aware elements compare the rest of the column with a literal of `rightScale` bytes.
  const bool wholeRest = IsLike(e) || IsLocaleAware(e);
  const std::int32_t literalLength = wholeRest ? Unsigned16(e.rightScale) : e.rightLiteralLength;
  AppendPrefix(line, e, status, name, "ColToLit");
  AppendLeftGroup(line, e);
  line.Append(" suboff=%d sub/litlen=%d", e.substringOffset, literalLength);
  line.Write(block, __LINE__);
  Dump(block, __LINE__, column + e.substringOffset, wholeRest ? e.columnLength - e.substringOffset : e.rightLiteralLength);
  Dump(block, __LINE__, e.rightData, literalLength);
  return trace.Exit(status, __LINE__);
}

// Bytes of a search string: locale-aware elements keep its length in `leftScale`.
std::int32_t SearchLength(const FilterElement& e) { return IsLocaleAware(e) ? e.leftScale : e.leftLiteralLength; }

std::int32_t PrintFxStr1(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"FxStr1", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line line;
  AppendPrefix(line, e, status, name, "ColStrLit");
  AppendLeftGroup(line, e);
  line.Append("litlen[0]=%d bool=%d", SearchLength(e), ResultTargetOf(e).leftResult);
  line.Write(block, __LINE__);
  Dump(block, __LINE__, ColumnOf(e, record), e.columnLength);
  Dump(block, __LINE__, e.leftData, SearchLength(e));
  return trace.Exit(status, __LINE__);
}

// The regular-expression routines trace by themselves; their printers only mark the call.
std::int32_t PrintFxReg1(std::int32_t status) {
  static TraceBlock block{"FxReg1", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  return trace.Exit(status, __LINE__);
}

std::int32_t PrintVrReg1(std::int32_t status) {
  static TraceBlock block{"VrReg1", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  return trace.Exit(status, __LINE__);
}

// The right column's data: after its prefix when the prefix (kept in `rightDataType`) fits the declared
// length, else the whole column from its start.
void DumpVaryingRight(TraceBlock& block, int line, const FilterElement& e, const std::uint8_t* record) {
  const std::uint8_t* right = RightColumnOf(e, record);
  if (Unsigned16(RightWordKept(e)) <= Unsigned16(e.rightScale) - kLengthPrefix) {
    Dump(block, line, right + kLengthPrefix, Unsigned16(RightWordKept(e)));
  } else {
    Dump(block, line, right, Unsigned16(e.rightScale));
  }
}

std::int32_t PrintNum(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name);

std::int32_t PrintFix2(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"Fix2", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (operands::RightIsScaledNumber(e)) return trace.Exit(PrintNum(e, record, status, name), __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line line;
  AppendPrefix(line, e, status, name, "ColToCol");
  AppendLeftGroup(line, e);
  const ShownName rightName = RightColumnName(e);
  const std::uint8_t* left = ColumnOf(e, record);
  if (e.rightFlags & rep::kVarying) {
    line.Append("%s/l%d/o%d/x%.04X%svlen=%d", rightName.text, e.rightScale, e.rightColumnOffset, e.rightFlags,
                NlsMark(e.rightFlags), RightWordKept(e));
    line.Write(block, __LINE__);
    Dump(block, __LINE__, left, e.columnLength);
    DumpVaryingRight(block, __LINE__, e, record);
    return trace.Exit(status, __LINE__);
  }
  const std::int32_t rightLength = (e.rightFlags & rep::kColumn) ? e.rightScale : e.columnLength;
  line.Append("%s/l%d/o%d/x%.04X%s", rightName.text, rightLength, e.rightColumnOffset, e.rightFlags,
              NlsMark(e.rightFlags));
  line.Write(block, __LINE__);
  Dump(block, __LINE__, left, e.columnLength);
  Dump(block, __LINE__, RightColumnOf(e, record), rightLength);
  return trace.Exit(status, __LINE__);
}

std::int32_t PrintFix4(FilterElement& e, const std::uint8_t*, std::int32_t status, const char* name) {
  static TraceBlock block{"Fix4", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  const bool localeAware = IsLocaleAware(e);
  const std::int32_t resultLength = localeAware ? e.leftScale : e.rightLiteralLength;
  const std::int32_t literalLength = localeAware ? Unsigned16(e.rightScale) : e.rightLiteralLength;
  Line line;
  AppendPrefix(line, e, status, name, "FuncLitToLit");
  AppendLeftGroup(line, e);
  line.Append("len[0/1]=%d/%d function=%d", resultLength, literalLength, static_cast<std::int32_t>(e.functionCode));
  line.Write(block, __LINE__);
  // A plain LIKE matched `leftLiteralLength` bytes of the result, all that it is known to hold.
  const bool plainLike = IsLike(e) && !localeAware;
  Dump(block, __LINE__, e.leftData, plainLike && e.leftLiteralLength < resultLength ? e.leftLiteralLength : resultLength);
  Dump(block, __LINE__, e.rightData, literalLength);
  return trace.Exit(status, __LINE__);
}

// A varying left column's prefix as the routine kept it, and whether it fits the declared length.
bool LeftPrefixInRange(const FilterElement& e, std::int32_t prefix) { return prefix <= e.columnLength - kLengthPrefix; }

std::int32_t PrintVar1(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"Var1", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  const std::uint8_t* column = ColumnOf(e, record);
  const std::int32_t current = Unsigned16(e.leftScale);
  const bool inRange = LeftPrefixInRange(e, current);
  Line line;
  if (IsLocaleSubstring(e)) {
    AppendPrefix(line, e, status, name, "SubColToLit ");
    AppendLeftGroup(line, e);
    line.Append("vlen=%d ", e.leftScale);
    LocaleSubstring(block, line, e, status, column, inRange ? column + kLengthPrefix : nullptr, current);
    return trace.Exit(status, __LINE__);
  }
  const bool localeAware = IsLocaleAware(e);
  const bool givenPattern = IsLike(e) && (e.rightFlags & rep::kPatternLengthGiven);
  AppendPrefix(line, e, status, name, "ColToLit");
  AppendLeftGroup(line, e);
  line.Append("vlen=%d/%d off1=%d varovh=%d suboff=%d sub/litlen=%d", e.leftScale, inRange ? e.leftScale : e.columnLength,
              e.columnOffset, inRange ? kLengthPrefix : 0, e.substringOffset,
              localeAware || givenPattern ? e.rightScale : e.rightLiteralLength);
  line.Write(block, __LINE__);
  if (!IsComparisonOutcome(status) || !inRange) {
    Dump(block, __LINE__, column, e.columnLength);
  } else if (current <= e.substringOffset) {
    Dump(block, __LINE__, kOneBlank, 1);
  } else {
    Dump(block, __LINE__, column + kLengthPrefix + e.substringOffset, current - e.substringOffset);
  }
  Dump(block, __LINE__, e.rightData, IsLike(e) || localeAware ? Unsigned16(e.rightScale) : e.rightLiteralLength);
  return trace.Exit(status, __LINE__);
}

std::int32_t PrintVrStr1(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"VrStr1", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  // The search routines keep the prefix they read in `rightScale`.
  const std::int32_t prefix = Unsigned16(e.rightScale);
  const bool inRange = LeftPrefixInRange(e, prefix);
  Line line;
  AppendPrefix(line, e, status, name, "ColStrLit");
  AppendLeftGroup(line, e);
  line.Append("vlen=%d/%d off1=%d varovh=%d litlen[0]=%d bool=%d", prefix, inRange ? prefix : e.columnLength,
              e.columnOffset, inRange ? kLengthPrefix : 0, SearchLength(e), ResultTargetOf(e).leftResult);
  line.Write(block, __LINE__);
  const std::uint8_t* column = ColumnOf(e, record);
  Dump(block, __LINE__, inRange ? column + kLengthPrefix : column, inRange ? prefix : e.columnLength);
  Dump(block, __LINE__, e.leftData, SearchLength(e));
  return trace.Exit(status, __LINE__);
}

std::int32_t PrintVar2(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"Var2", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (operands::RightIsScaledNumber(e)) return trace.Exit(PrintNum(e, record, status, name), __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line line;
  AppendPrefix(line, e, status, name, "ColToCol");
  AppendLeftGroup(line, e);
  const ShownName rightName = RightColumnName(e);
  constexpr std::uint16_t kVaryingMixed = rep::kVarying | rep::kMixed;
  const bool rightVarying = (e.rightFlags & kVaryingMixed) == kVaryingMixed;
  if (rightVarying) {
    line.Append("vlen=%d %s/l%d/o%d/x%.04X%svlen=%d", e.leftScale, rightName.text, e.rightScale, e.rightColumnOffset,
                e.rightFlags, NlsMark(e.rightFlags), RightWordKept(e));
  } else {
    line.Append("vlen=%d %s/l%d/o%d/x%.04X%s", e.leftScale, rightName.text, e.rightScale, e.rightColumnOffset,
                e.rightFlags, NlsMark(e.rightFlags));
  }
  line.Write(block, __LINE__);
  const std::uint8_t* left = ColumnOf(e, record);
  const std::int32_t leftPrefix = Unsigned16(e.leftScale);
  if (LeftPrefixInRange(e, leftPrefix)) {
    Dump(block, __LINE__, left + kLengthPrefix, leftPrefix);
  } else {
    Dump(block, __LINE__, left, e.columnLength);
  }
  if (rightVarying) {
    DumpVaryingRight(block, __LINE__, e, record);
  } else {
    Dump(block, __LINE__, RightColumnOf(e, record), Unsigned16(e.rightScale));
  }
  return trace.Exit(status, __LINE__);
}

// What a numeric element compares, by its printer.
enum class NumericShape { kColLit, kColResult, kResultResult, kResultLit };

const char* DefaultName(NumericShape shape) {
  switch (shape) {
    case NumericShape::kColLit: return "ColToLit";
    case NumericShape::kColResult: return "ColToResult";
    case NumericShape::kResultResult: return "ResultToResult";
    case NumericShape::kResultLit: return "ResultToLit";
  }
  return "";
}

template <typename T>
T ValueAt(const void* at) {
  return at != nullptr ? LoadUnaligned<T>(at) : T{};
}

bool IsUnsignedLeft(const FilterElement& e) { return (e.leftFlags & rep::kUnsigned) != 0; }

std::int32_t PrintLong(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name,
                       NumericShape shape) {
  static TraceBlock block{"Long", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line line;
  AppendPrefix(line, e, status, name, DefaultName(shape));
  const std::int32_t column = shape == NumericShape::kColLit || shape == NumericShape::kColResult
                                  ? LoadUnaligned<std::int32_t>(ColumnOf(e, record))
                                  : 0;
  const auto asUnsigned = [](std::int32_t v) { return static_cast<unsigned long>(static_cast<std::uint32_t>(v)); };
  const auto asSigned = [](std::int32_t v) { return static_cast<long>(v); };
  switch (shape) {
    case NumericShape::kColLit: {
      const std::int32_t literal = ValueAt<std::int32_t>(e.rightData);
      if (IsUnsignedLeft(e)) {
        line.Append(" ul=%11lu lit ul=%11lu off=%d type=%d 0x%.04X", asUnsigned(column), asUnsigned(literal),
                    e.columnOffset, e.dataType, e.leftFlags);
      } else {
        line.Append(" sl=% 11ld lit sl=% 11ld off=%d type=%d 0x%.04X", asSigned(column), asSigned(literal),
                    e.columnOffset, e.dataType, e.leftFlags);
      }
      break;
    }
    case NumericShape::kColResult:
      if (IsUnsignedLeft(e)) {
        line.Append(" ul=%11lu res sl=% 11ld off=%d type=%d 0x%.04X", asUnsigned(column), asSigned(e.leftResult),
                    e.columnOffset, e.dataType, e.leftFlags);
      } else {
        line.Append(" sl=% 11ld res sl=% 11ld off=%d type=%d 0x%.04X", asSigned(column), asSigned(e.leftResult),
                    e.columnOffset, e.dataType, e.leftFlags);
      }
      break;
    case NumericShape::kResultResult:
      line.Append("res1 sl=% 11ld res2 sl=% 11ld type=%d 0x%.04X", asSigned(e.leftResult), asSigned(e.rightResult),
                  e.dataType, e.leftFlags);
      break;
    case NumericShape::kResultLit:
      line.Append(" res sl=% 11ld lit sl=% 11ld type=%d 0x%.04X", asSigned(e.leftResult),
                  asSigned(ValueAt<std::int32_t>(e.rightData)), e.dataType, e.leftFlags);
      break;
  }
  line.Write(block, __LINE__);
  return trace.Exit(status, __LINE__);
}

std::int32_t PrintShort(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name,
                        NumericShape shape) {
  static TraceBlock block{"Short", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line line;
  AppendPrefix(line, e, status, name, DefaultName(shape));
  const std::int16_t column = shape == NumericShape::kColLit || shape == NumericShape::kColResult
                                  ? LoadUnaligned<std::int16_t>(ColumnOf(e, record))
                                  : std::int16_t{0};
  const auto asUnsigned = [](std::int16_t v) { return static_cast<std::uint16_t>(v); };
  switch (shape) {
    case NumericShape::kColLit: {
      const auto literal = ValueAt<std::int16_t>(e.rightData);
      if (IsUnsignedLeft(e)) {
        line.Append(" us=%11hu lit us=%11hu off=%d type=%d 0x%.04X", asUnsigned(column), asUnsigned(literal),
                    e.columnOffset, e.dataType, e.leftFlags);
      } else {
        line.Append(" ss=% 11hd lit ss=% 11hd off=%d type=%d 0x%.04X", column, literal, e.columnOffset, e.dataType,
                    e.leftFlags);
      }
      break;
    }
    case NumericShape::kColResult:
      if (IsUnsignedLeft(e)) {
        line.Append(" us=%11hu res sl=% 11ld off=%d type=%d 0x%.04X", asUnsigned(column),
                    static_cast<long>(e.leftResult), e.columnOffset, e.dataType, e.leftFlags);
      } else {
        line.Append(" ss=% 11hd res sl=% 11ld off=%d type=%d 0x%.04X", column, static_cast<long>(e.leftResult),
                    e.columnOffset, e.dataType, e.leftFlags);
      }
      break;
    case NumericShape::kResultResult:
      line.Append("res1 sl=% 11ld res2 sl=% 11ld type=%d 0x%.04X", static_cast<long>(e.leftResult),
                  static_cast<long>(e.rightResult), e.dataType, e.leftFlags);
      break;
    case NumericShape::kResultLit:
      line.Append(" res sl=% 11ld lit ss=% 11hd type=%d 0x%.04X", static_cast<long>(e.leftResult),
                  ValueAt<std::int16_t>(e.rightData), e.dataType, e.leftFlags);
      break;
  }
  line.Write(block, __LINE__);
  return trace.Exit(status, __LINE__);
}

// Every floating-point shape shows the column's double and the double at `rightData`.
std::int32_t PrintFloat(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name,
                        NumericShape shape) {
  static TraceBlock block{"Float", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line line;
  AppendPrefix(line, e, status, name, DefaultName(shape));
  const long double column = LoadUnaligned<double>(ColumnOf(e, record));
  const long double right = ValueAt<double>(e.rightData);
  if (shape == NumericShape::kColLit) {
    line.Append(" sd=% 20Lf lit sd=% 20Lf off=%d type=%d 0x%.04X", column, right, e.columnOffset, e.dataType,
                e.leftFlags);
  } else if (shape == NumericShape::kColResult) {
    line.Append(" sd=% 20Lf res sd=% 20Lf off=%d type=%d 0x%.04X", column, right, e.columnOffset, e.dataType,
                e.leftFlags);
  } else {
    line.Append(" res1 sd=% 20Lf res2 sd=% 20Lf off=%d type=%d 0x%.04X", column, right, e.columnOffset, e.dataType,
                e.leftFlags);
  }
  line.Write(block, __LINE__);
  return trace.Exit(status, __LINE__);
}

// One operand of a column-against-column element as CompareNumeric saw it.
struct Operand {
  std::uint16_t flags;
  std::int32_t offset;
  std::int32_t declaredLength;  // of a number written as text
  const void* valueArea;
  std::int16_t kept16;  // the work words CompareNumeric keeps an unscaled operand in
  std::int32_t kept32;
  std::int32_t decimals;
};

Operand LeftOperand(const FilterElement& e) {
  const bool text = (e.leftFlags & rep::kAnyChar) != 0;
  return {e.leftFlags, e.columnOffset, e.columnLength, e.leftData, static_cast<std::int16_t>(LeftWordKept(e)),
          e.leftResult, (text ? e.rightScale : e.leftScale) & 0xFF};
}

Operand RightOperand(const FilterElement& e) {
  const bool text = (e.rightFlags & rep::kAnyChar) != 0;
  return {e.rightFlags, e.rightColumnOffset, Unsigned16(e.rightScale), e.rightData, RightWordKept(e), e.rightResult,
          (text ? e.leftScale : e.rightScale) & 0xFF};
}

void AppendUndefined(Line& text, std::uint16_t flags) { text.Append("UN 0x%.04X Type Undefined", flags); }

// The text of an operand; a locale-aware number that did not convert asks for a dump of its column.
void AppendOperandText(Line& text, const FilterElement& e, const std::uint8_t* record, const Operand& side,
                       bool* dumpColumn) {
  const bool isUnsigned = (side.flags & rep::kUnsigned) != 0;
  const std::uint8_t* column = record + side.offset;
  if (!(side.flags & rep::kScaled)) {
    if (side.flags & rep::kShort) {
      if (isUnsigned) {
        text.Append("us=%11hu", static_cast<std::uint16_t>(side.kept16));
      } else {
        text.Append("ss=% 11hd", side.kept16);
      }
    } else if (side.flags & rep::kLong) {
      if (isUnsigned) {
        text.Append("ul=%11lu", static_cast<unsigned long>(static_cast<std::uint32_t>(side.kept32)));
      } else {
        text.Append("sl=% 11ld", static_cast<long>(side.kept32));
      }
    } else if (side.flags & rep::kDouble) {
      text.Append("sd=% 20f", LoadUnaligned<double>(column));
    } else {
      AppendUndefined(text, side.flags);
    }
    return;
  }
  const int d = side.decimals;
  const int w = d <= 20 ? 20 - d : 0;
  const double value = ValueAt<double>(side.valueArea);
  if (side.flags & rep::kShort) {
    text.Append(isUnsigned ? "us.%d=% *.*f" : "ss.%d=% *.*f", d, w, d, value);
  } else if (side.flags & rep::kLong) {
    text.Append(isUnsigned ? "ul.%d=% *.*f" : "sl.%d=% *.*f", d, w, d, value);
  } else if (side.flags & rep::kDouble) {
    text.Append("sf=% 20f", value);
  } else if (side.flags & rep::kAnyChar) {
    if (e.conditionCode >= -1 && e.conditionCode <= 1) {
      text.Append("cv=% *.*f", w, d, value);
    } else if (side.flags & rep::kChar) {
      const std::uint8_t* raw = column;
      std::int32_t length = side.declaredLength;
      if (side.flags & rep::kVarying) {
        const std::int32_t prefix = LoadUnaligned<std::uint16_t>(column);
        if (prefix <= side.declaredLength - kLengthPrefix) {
          raw = column + kLengthPrefix;
          length = prefix;
        }
      }
      text.Append("er=%.*s", length < 0 ? 0 : length, reinterpret_cast<const char*>(raw));
    } else {
      text.Append("err NLS is not numeric");
      *dumpColumn = true;
    }
  } else {
    AppendUndefined(text, side.flags);
  }
}

// The type shown for an operand: locale-aware text by its own codes, otherwise `declared`.
std::int32_t ShownType(std::uint16_t flags, std::int32_t declared) {
  if (flags & rep::kUtf8) return (flags & rep::kVarying) ? type::kUtf8VarChar : type::kUtf8Char;
  return declared;
}

std::int32_t PrintNum(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"Num:", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  Line left, right;
  bool dumpLeft = false, dumpRight = false;
  if (!(e.leftFlags & rep::kMixed)) {
    const std::uint8_t* a = ColumnOf(e, record);
    const std::uint8_t* b = RightColumnOf(e, record);
    switch (e.dataType & ~1) {
      case type::kLong:
        left.Append("sl=% 11ld", static_cast<long>(LoadUnaligned<std::int32_t>(a)));
        right.Append("sl=% 11ld", static_cast<long>(LoadUnaligned<std::int32_t>(b)));
        break;
      case type::kShort:
        left.Append("ss=% 11hd", LoadUnaligned<std::int16_t>(a));
        right.Append("ss=% 11hd", LoadUnaligned<std::int16_t>(b));
        break;
      case type::kUShort:
        left.Append("us=%11hu", LoadUnaligned<std::uint16_t>(a));
        right.Append("us=%11hu", LoadUnaligned<std::uint16_t>(b));
        break;
      case type::kULong:
        left.Append("ul%11lu", static_cast<unsigned long>(LoadUnaligned<std::uint32_t>(a)));
        right.Append("ul%11lu", static_cast<unsigned long>(LoadUnaligned<std::uint32_t>(b)));
        break;
      case type::kDouble:
      case type::kDoubleAlt:
        left.Append("sd% 20f", LoadUnaligned<double>(a));
        right.Append("sd% 20f", LoadUnaligned<double>(b));
        break;
      default:
        left.Append("UN %d Type Undefined", e.dataType);
        right.Append("UN %d Type Undefined", e.dataType);
        break;
    }
  } else {
    AppendOperandText(left, e, record, LeftOperand(e), &dumpLeft);
    AppendOperandText(right, e, record, RightOperand(e), &dumpRight);
  }
  const std::uint8_t* descriptor = DescriptorOf(e);
  const ShownName middle =
      (e.rightData == nullptr || !(e.leftFlags & rep::kNumeric)) ? ShownName{"COL2"} : RightColumnName(e);
  const std::int32_t rightDeclared = descriptor != nullptr ? LoadUnaligned<std::int16_t>(descriptor + kDescriptorType) : 0;
  Line line;
  AppendPrefix(line, e, status, name, "ColToCol");
  line.Append(" %s %s %s off=%d %d type=%d/%d 0x%.04X 0x%.04X", left.c_str(), middle.text, right.c_str(),
              e.columnOffset, e.rightColumnOffset, ShownType(e.leftFlags, e.dataType),
              ShownType(e.rightFlags, rightDeclared), e.leftFlags, e.rightFlags);
  line.Write(block, __LINE__);
  if (dumpLeft) Dump(block, __LINE__, ColumnOf(e, record), e.columnLength);
  if (dumpRight) Dump(block, __LINE__, RightColumnOf(e, record), Unsigned16(e.rightScale));
  return trace.Exit(status, __LINE__);
}

std::int32_t PrintChgNum(FilterElement& e, const std::uint8_t* record, std::int32_t status, const char* name) {
  static TraceBlock block{"ChgNum", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (!trace.HasAny(kPrintBits)) return trace.Exit(status, __LINE__);
  namespace cc = change_control;
  const auto* control = Bytes(e.rightData);
  const std::uint8_t* cached = control != nullptr ? LoadUnaligned<const std::uint8_t*>(control + cc::kCurrentRecord) : nullptr;
  const std::uint8_t* previous = cached != nullptr ? cached + cache_record::kPrevious : nullptr;
  const bool percent = control != nullptr && (LoadUnaligned<std::uint32_t>(control + cc::kOptions) & cc::kPercent);
  const char* mode = percent ? "pct" : "real";
  const FilterElement& target = ResultTargetOf(e);
  const std::uint8_t* column = ColumnOf(e, record);
  const bool isUnsigned = IsUnsignedLeft(e);
  Line line;
  if (e.leftFlags & rep::kShort) {
    AppendPrefix(line, e, status, name, isUnsigned ? "ChgUShort" : "ChgShort");
    if (isUnsigned) {
      line.Append(" us=%11hu - us=%11hu chg%.4s us=%11hu off=%d type=%d 0x%.04X", LoadUnaligned<std::uint16_t>(column),
                  ValueAt<std::uint16_t>(previous), mode, ShortChangeOf(target), e.columnOffset, e.dataType,
                  e.leftFlags);
    } else {
      line.Append(" ss=% 11hd ss=% 11hd chg%.4s ss=% 11hd off=%d type=%d 0x%.04X", LoadUnaligned<std::int16_t>(column),
                  ValueAt<std::int16_t>(previous), mode, static_cast<std::int16_t>(ShortChangeOf(target)),
                  e.columnOffset, e.dataType, e.leftFlags);
    }
  } else if (e.leftFlags & rep::kLong) {
    AppendPrefix(line, e, status, name, isUnsigned ? "ChgULong" : "ChgLong");
    if (isUnsigned) {
      line.Append(" ul=%11lu - ul=%11lu chg%.4s ul=%11lu off=%d type=%d 0x%.04X",
                  static_cast<unsigned long>(LoadUnaligned<std::uint32_t>(column)),
                  static_cast<unsigned long>(ValueAt<std::uint32_t>(previous)), mode,
                  static_cast<unsigned long>(static_cast<std::uint32_t>(target.leftResult)), e.columnOffset, e.dataType,
                  e.leftFlags);
    } else {
      line.Append(" sl=% 11ld - sl=% 11ld chg%.4s sl=% 11ld off=%d type=%d 0x%.04X",
                  static_cast<long>(LoadUnaligned<std::int32_t>(column)), static_cast<long>(ValueAt<std::int32_t>(previous)),
                  mode, static_cast<long>(target.leftResult), e.columnOffset, e.dataType, e.leftFlags);
    }
  } else if (e.leftFlags & rep::kDouble) {
    AppendPrefix(line, e, status, name, "ChgFloat");
    // A double change spans the target's leftResult and the rightResult that follows it.
    line.Append(" sf=% 20f - sf=% 20f chg%.4s sf=% 20f off=%d type=%d 0x%.04X", LoadUnaligned<double>(column),
                ValueAt<double>(previous), mode, LoadUnaligned<double>(&target.leftResult), e.columnOffset, e.dataType,
                e.leftFlags);
  } else {
    return trace.Exit(status, __LINE__);
  }
  line.Write(block, __LINE__);
  return trace.Exit(status, __LINE__);
}

}  // namespace

std::int32_t Print(Printer printer, FilterElement& e, const std::uint8_t* record, std::int32_t status,
                   const char* name) {
  switch (printer) {
    case Printer::kFix1: return PrintFix1(e, record, status, name);
    case Printer::kFxStr1: return PrintFxStr1(e, record, status, name);
    case Printer::kFxReg1: return PrintFxReg1(status);
    case Printer::kFix2: return PrintFix2(e, record, status, name);
    case Printer::kFix4: return PrintFix4(e, record, status, name);
    case Printer::kVar1: return PrintVar1(e, record, status, name);
    case Printer::kVrStr1: return PrintVrStr1(e, record, status, name);
    case Printer::kVrReg1: return PrintVrReg1(status);
    case Printer::kVar2: return PrintVar2(e, record, status, name);
    case Printer::kLongColLit: return PrintLong(e, record, status, name, NumericShape::kColLit);
    case Printer::kLongColResult: return PrintLong(e, record, status, name, NumericShape::kColResult);
    case Printer::kLongResultResult: return PrintLong(e, record, status, name, NumericShape::kResultResult);
    case Printer::kLongResultLit: return PrintLong(e, record, status, name, NumericShape::kResultLit);
    case Printer::kShortColLit: return PrintShort(e, record, status, name, NumericShape::kColLit);
    case Printer::kShortColResult: return PrintShort(e, record, status, name, NumericShape::kColResult);
    case Printer::kShortResultResult: return PrintShort(e, record, status, name, NumericShape::kResultResult);
    case Printer::kShortResultLit: return PrintShort(e, record, status, name, NumericShape::kResultLit);
    case Printer::kFloatColLit: return PrintFloat(e, record, status, name, NumericShape::kColLit);
    case Printer::kFloatColResult: return PrintFloat(e, record, status, name, NumericShape::kColResult);
    case Printer::kFloatResultResult: return PrintFloat(e, record, status, name, NumericShape::kResultResult);
    case Printer::kNum: return PrintNum(e, record, status, name);
    case Printer::kChgNum: return PrintChgNum(e, record, status, name);
  }
  return status;
}

void PrintAlwaysHolds(TraceBlock& block, const FilterElement& element) {
  Line line;
  AppendPrefix(line, element, status::kOk, "Function", nullptr);
  line.Write(block, __LINE__);
}

}  // namespace vexfilt
