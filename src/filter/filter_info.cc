// FLT1_GetFilter: the Filter's predicates reported one at a time, in the host's codes.
#include "filter/filter_info.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"
#include "core/data_types.h"
#include "core/search_list.h"
#include "core/status.h"
#include "host/trace.h"
#include "routines/dispatch_tables.h"

namespace vexfilt {
namespace {

namespace sl = search_list;

constexpr std::int16_t kInfoVersion = VXF_INFO_VERSION;
constexpr std::uint32_t kVaryingAttribute = VXF_INFO_ATTR_VARYING;
constexpr std::uint32_t kUnsignedAttribute = VXF_INFO_ATTR_UNSIGNED;
constexpr std::uint32_t kLocaleAttribute = VXF_INFO_ATTR_LOCALE;
constexpr std::uint32_t kPatternLengthFeature = VXF_INFO_FEATURE_PATTERN_LENGTH;
constexpr std::uint16_t kExtSecondColumn = VXF_INFO_EXT_SECOND_COLUMN, kExtNameGiven = VXF_INFO_EXT_NAME_GIVEN,
                        kExtArgument = VXF_INFO_EXT_ARGUMENT;
constexpr std::size_t kDescriptorName = offsetof(VxpColumnDescriptor, columnName);
constexpr std::size_t kMostNameReported = 10;  // characters of the second column's name in extData
constexpr std::size_t kDescriptorType = offsetof(VxpColumnDescriptor, dataType);
constexpr std::uint8_t kNoValue[8] = {};  // what a column-against-column element compares with

std::int16_t HostOperator(std::int32_t code) {
  switch (code) {
    case op::kEQ: return VXF_INFO_OP_EQ;
    case op::kNE: return VXF_INFO_OP_NE;
    case op::kLT: return VXF_INFO_OP_LT;
    case op::kGT: return VXF_INFO_OP_GT;
    case op::kLE: return VXF_INFO_OP_LE;
    case op::kGE: return VXF_INFO_OP_GE;
    case op::kLike: return VXF_INFO_OP_LIKE;
    default: return VXF_INFO_OP_NONE;
  }
}

std::int16_t HostConnective(std::int32_t code) {
  return code == op::kOr ? VXF_INFO_OP_OR : code == op::kAnd ? VXF_INFO_OP_AND : 0;
}

std::uint32_t AttributeOf(std::uint16_t flags, std::int16_t baseType) {
  if (flags & rep::kVarying) return kVaryingAttribute;
  if (flags & rep::kUnsigned) return kUnsignedAttribute;
  if (baseType == type::kVarChar) return kVaryingAttribute;
  if (baseType == type::kUShort || baseType == type::kULong) return kUnsignedAttribute;
  return 0;
}

// The pool entry whose data `data` is, when it lies in the Filter's pool copy; a replaced literal does not.
const std::uint8_t* EntryHolding(const Filter& filter, const void* data) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (bytes < filter.poolCopy + kPoolHeaderSize + kEntryHeaderSize || bytes >= filter.poolCopy + filter.poolCopyLength) {
    return nullptr;
  }
  return bytes - kEntryHeaderSize;
}

void PrintValue(TraceBlock& block, const FilterInfo& info, std::int16_t baseType) {
  const void* value = info.value;
  const auto length = static_cast<std::size_t>(info.valueLen < 0 ? 0 : info.valueLen);
  switch (baseType) {
    case type::kUShort: {
      const auto v = value ? LoadUnaligned<std::uint16_t>(value) : std::uint16_t{0};
      TracePrintf(block, __LINE__, "%-26s %hu(%#04X)", "filterInfo.value", v, v);
      return;
    }
    case type::kShort: {
      const auto v = value ? LoadUnaligned<std::int16_t>(value) : std::int16_t{0};
      TracePrintf(block, __LINE__, "%-26s %hd(%#04X)", "filterInfo.value", v, static_cast<unsigned>(static_cast<std::uint16_t>(v)));
      return;
    }
    case type::kLong: {
      const auto v = value ? LoadUnaligned<std::int32_t>(value) : 0;
      TracePrintf(block, __LINE__, "%-26s %d(%#08X)", "filterInfo.value", v, static_cast<unsigned>(v));
      return;
    }
    case type::kULong: {
      const auto v = value ? LoadUnaligned<std::uint32_t>(value) : 0u;
      TracePrintf(block, __LINE__, "%-26s %u(%#08X)", "filterInfo.value", v, v);
      return;
    }
    case type::kVarChar:
    case type::kChar:
    case VXP_TYPE_LONG_TEXT:
    case VXP_TYPE_TEXT:
    case type::kUtf8VarChar:
    case type::kUtf8Char:
      if (!(info.attribute & kLocaleAttribute)) {
        TracePrintf(block, __LINE__, "%-26s \"%.*s\"", "filterInfo.value", info.valueLen < 0 ? 0 : info.valueLen,
                    value ? static_cast<const char*>(value) : "");
        return;
      }
      TracePrintf(block, __LINE__, "%-26s", "filterInfo.value");
      TraceDump(block, __LINE__, value, length);
      return;
    default:
      TracePrintf(block, __LINE__, "%-26s", "filterInfo.value:");
      TraceDump(block, __LINE__, value, length);
  }
}

void PrintInfo(TraceBlock& block, const FilterInfo& info, std::int16_t baseType) {
  char name[sizeof(VxpElement::columnName) + 1] = {};
  if (info.columnName) std::memcpy(name, info.columnName, sizeof(VxpElement::columnName));
  TracePrintf(block, __LINE__, "%-26s %4d", "filterInfo.version", info.version);
  TracePrintf(block, __LINE__, "%-26s %4d", "filterInfo.logicalOperator", info.logicalOperator);
  TracePrintf(block, __LINE__, "%-26s %4d", "filterInfo.compareOperator", info.compareOperator);
  TracePrintf(block, __LINE__, "%-26s %4d", "filterInfo.functionType", static_cast<int>(info.functionType));
  TracePrintf(block, __LINE__, "%-26s %4d", "filterInfo.valueLen", info.valueLen);
  TracePrintf(block, __LINE__, "%-26s %10s", "filterInfo.columnName", name);
  TracePrintf(block, __LINE__, "%-26s %4d", "filterInfo.dataType", info.dataType);
  PrintValue(block, info, baseType);
  TracePrintf(block, __LINE__, "%-21s x%.08X", "filterInfo.attribute", info.attribute);
  TracePrintf(block, __LINE__, "%-21s x%.08X", "filterInfo.features", info.features);
  if (info.extType == 0) return;
  TracePrintf(block, __LINE__, "%-25s x%.04hX", "filterInfo.extType", info.extType);
  TracePrintf(block, __LINE__, "%-21s x%.08X", "filterInfo.extAttrs", info.extAttrs);
  TracePrintf(block, __LINE__, "%-26s %4hd", "filterInfo.extLen", info.extLen);
  TracePrintf(block, __LINE__, "%-26s %.*s", "filterInfo.extData", info.extData ? info.extLen : 0,
              info.extData ? static_cast<const char*>(info.extData) : "");
  TracePrintf(block, __LINE__, "%-26s %4hd", "filterInfo.extDataType", static_cast<short>(info.extDataType));
}

// The general rule: the literal, or for a column against a column 8 zero bytes, or the left value.
void ReportOwnValue(Filter& filter, const FilterElement& e) {
  FilterInfo& info = filter.info;
  if (e.rightData == nullptr) {
    info.value = e.leftData;
  } else if (e.rightFlags & rep::kColumn) {
    info.value = kNoValue;
  } else {
    info.value = e.rightData;
  }
  ++filter.infoCursor;
}

// One report per entry of the element's own list, joined by OR; the last entry ends the element.
void ReportSearchEntry(Filter& filter, const FilterElement& e) {
  FilterInfo& info = filter.info;
  auto* list = static_cast<std::uint8_t*>(e.rightData);
  const std::int16_t count = list ? sl::EntryCountOf(list) : 0;
  if (count <= 0) {
    ReportOwnValue(filter, e);
    return;
  }
  if (filter.infoSearchCursor == 0) filter.infoSearchEntry = sl::FirstEntry(list).start();
  const sl::Entry entry(filter.infoSearchEntry);
  info.logicalOperator = filter.infoSearchCursor < count - 1 ? VXF_INFO_OP_OR : 0;
  info.compareOperator = (entry.type() & sl::kPatternBits) ? VXF_INFO_OP_LIKE : VXF_INFO_OP_EQ;
  info.valueLen = entry.keyLength();
  info.value = entry.key();
  if (++filter.infoSearchCursor >= count) {
    filter.infoSearchCursor = 0;
    filter.infoSearchEntry = nullptr;
    ++filter.infoCursor;
  } else {
    filter.infoSearchEntry = entry.Next().start();
  }
}

// Bytes readable at a reference the report gives for element `index`: a host reads the value's length
// there, and so does the trace below. A plan may declare a literal longer than its entry holds.
std::int16_t Readable(const Filter& filter, int index, const void* at, std::int16_t length) {
  const FilterElement& e = filter.elements[index];
  std::int32_t room = length;
  if (at == kNoValue) {
    room = sizeof kNoValue;
  } else if (at != nullptr && at == e.rightData) {
    room = filter.facts[index].rightRoom;
  } else if (at != nullptr && at == e.leftData) {
    room = filter.facts[index].leftRoom;
  }
  return static_cast<std::int16_t>(std::min<std::int32_t>(length, std::max(room, 0)));
}

}  // namespace

std::int32_t GetFilter(Filter& filter, FilterInfo** out) {
  static TraceBlock block{"FLT1_GetFilter", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (filter.infoCursor >= filter.elementCount) {
    *out = nullptr;
    filter.infoCursor = 0;
    filter.infoSearchCursor = 0;
    filter.infoSearchEntry = nullptr;
    return trace.Exit(status::kNoMoreElements, __LINE__);
  }
  const int index = filter.infoCursor;
  const FilterElement& e = filter.elements[index];
  const std::uint16_t planFlags = filter.planCopy->planFlags;
  FilterInfo& info = filter.info;
  info = FilterInfo{};
  info.version = kInfoVersion;
  info.functionType = e.functionCode;
  info.valueLen = e.rightLiteralLength;
  info.columnName = e.columnName;
  info.dataType = e.dataType;
  info.features = planFlags & plan_flag::kReportedFeatures;
  if ((e.leftFlags | e.rightFlags) & rep::kPatternLengthGiven) info.features |= kPatternLengthFeature;
  std::int16_t baseType = BaseType(static_cast<std::int16_t>(info.dataType));
  info.attribute = AttributeOf(e.leftFlags, baseType);
  if (planFlags & plan_flag::kUtf8Data) {
    if (filter.filterFlags & filter_flag::kLocaleSet) info.languageId = filter.languageId;
    if (e.leftFlags & rep::kUtf8) info.attribute |= kLocaleAttribute;
  }
  if (e.rightFlags & rep::kColumn) {
    info.extType = kExtSecondColumn;
    info.extAttrs = (e.rightFlags & rep::kVarying)    ? kVaryingAttribute
                    : (e.rightFlags & rep::kUnsigned) ? kUnsignedAttribute
                    : (e.rightFlags & rep::kUtf8)     ? kLocaleAttribute
                                                      : 0;
    // A change element's right operand is its control block and a search element's its list, whatever
    // the flags say: their bytes are no descriptor, and change while the Filter runs.
    const RoutineCell* cell = filter.facts[index].cell;
    if (e.rightData != nullptr && cell != nullptr && cell->structure == Structure::kNone) {
      const auto* descriptor = static_cast<const std::uint8_t*>(e.rightData);
      const auto* name = reinterpret_cast<const char*>(descriptor + kDescriptorName);
      info.extType |= kExtNameGiven;
      info.extData = name;
      info.extLen = static_cast<std::int16_t>(strnlen(name, kMostNameReported));
      info.extDataType = LoadUnaligned<std::int16_t>(descriptor + kDescriptorType);
    }
  }
  info.compareOperator = HostOperator(e.compareOperator);
  if (e.compareOperator == op::kLike && (e.rightFlags & rep::kPatternLengthGiven)) info.valueLen = e.rightScale;
  info.logicalOperator = HostConnective(e.logicalOperator);

  switch (e.functionCode) {
    case fn::kAlways: {
      if (e.leftLiteralId != 0) {
        info.extType |= kExtArgument;
        info.extLen = e.leftLiteralLength != 0 ? e.leftLiteralLength : e.leftScale;
        if (info.extLen != 0 && e.leftData != nullptr) info.extData = e.leftData;
        info.extDataType = type::kChar;
      }
      const std::uint8_t* entry = e.rightData ? EntryHolding(filter, e.rightData) : nullptr;
      if (entry != nullptr && LoadUnaligned<std::int16_t>(entry + offsetof(LiteralEntry, id)) == e.rightLiteralId) {
        info.dataType = LoadUnaligned<std::int16_t>(entry + offsetof(LiteralEntry, dataType));
        baseType = BaseType(static_cast<std::int16_t>(info.dataType));
        if (baseType == type::kUtf8Char || baseType == type::kUtf8VarChar) info.attribute |= kLocaleAttribute;
        if (baseType == type::kVarChar || baseType == type::kUtf8VarChar) info.attribute |= kVaryingAttribute;
        const bool alternate = (e.rightFlags & rep::kAlternateLength) && (e.rightFlags & rep::kPatternLengthGiven);
        info.valueLen = LoadUnaligned<std::int16_t>(
            entry + (alternate ? offsetof(LiteralEntry, alternateLength) : offsetof(LiteralEntry, dataLength)));
        info.value = e.rightData;
        ++filter.infoCursor;
      } else {
        ReportOwnValue(filter, e);
      }
      break;
    }
    case fn::kSearchList: ReportSearchEntry(filter, e); break;
    case fn::kChange:
    case fn::kChangeAlt:
      info.value = e.leftData;
      info.valueLen = e.columnLength;
      ++filter.infoCursor;
      break;
    default: ReportOwnValue(filter, e);
  }
  info.valueLen = Readable(filter, index, info.value, info.valueLen);
  info.extLen = Readable(filter, index, info.extData, info.extLen);
  if (trace.HasAny(trace_bit::k10)) PrintInfo(block, info, baseType);
  *out = &info;
  return trace.Exit(status::kOk, __LINE__);
}

}  // namespace vexfilt
