#include "routines/change_routines.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/bytes.h"
#include "core/change_control.h"
#include "core/memory.h"
#include "core/status.h"
#include "host/trace.h"
#include "routines/change_cache.h"
#include "routines/printers.h"
#include "routines/operands.h"

namespace vexfilt {
namespace {

using namespace operands;

namespace cc = change_control;
namespace cr = cache_record;

template <typename Narrow>
Narrow Saturate(long long value) {
  return static_cast<Narrow>(std::clamp<long long>(value, std::numeric_limits<Narrow>::min(),
                                                   std::numeric_limits<Narrow>::max()));
}

// The change of an integer value, computed wide so that neither a large swing nor the percent product
// overflows, and an unsigned value that fell gives a negative change; then saturated to the output's width.
template <typename Stored, typename Out>
Out IntegerChange(Stored current, Stored previous, bool percent) {
  const long long change = static_cast<long long>(current) - static_cast<long long>(previous);
  if (!percent) return Saturate<Out>(change);
  if (previous == 0) return 0;
  return Saturate<Out>(change * 100 / static_cast<long long>(previous));
}

// Moves the record's current value to previous, stores the new one and delivers the change.
template <typename Stored, typename Out>
void DeliverIntegerChange(std::uint8_t* cached, const std::uint8_t* column, bool percent, void* output) {
  const auto previous = LoadUnaligned<Stored>(cached + cr::kCurrent);
  const auto current = LoadUnaligned<Stored>(column);
  StoreUnaligned(cached + cr::kPrevious, previous);
  StoreUnaligned(cached + cr::kCurrent, current);
  StoreUnaligned(output, IntegerChange<Stored, Out>(current, previous, percent));
}

void DeliverDoubleChange(std::uint8_t* cached, const std::uint8_t* column, bool percent, void* output) {
  const auto previous = LoadUnaligned<double>(cached + cr::kCurrent);
  const auto current = LoadUnaligned<double>(column);
  StoreUnaligned(cached + cr::kPrevious, previous);
  StoreUnaligned(cached + cr::kCurrent, current);
  double change = current - previous;
  if (percent) change = previous == 0.0 ? 0.0 : change * 100.0 / previous;
  StoreUnaligned(output, change);
}

template <Printer printer>
std::int32_t ChangeResult(FilterElement& element, const std::uint8_t* record, std::int32_t st) {
  element.conditionCode = st;
  if (st == status::kOk || st == status::kNoMatch) return st;
  return Print<printer>(element, record, st, nullptr);
}

FilterElement& TargetOf(FilterElement& element) { return (&element)[element.resultTarget]; }

// The target's leftResult, as bytes: a double change spans it and rightResult, which follows it.
void* ResultWords(FilterElement& element) { return BytesAt(&TargetOf(element), offsetof(VxpElement, leftResult)); }

}  // namespace

std::int32_t DeliverChange(FilterElement& element, const std::uint8_t* record, std::uint8_t valueType, void* output,
                              std::uint32_t) {
  static TraceBlock block{"VXO2_ChangeValue", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  auto* control = static_cast<std::uint8_t*>(element.rightData);
  auto* scratch = static_cast<std::uint8_t*>(element.leftData);
  const std::int16_t keyColumns = cc::Field16(control, cc::kKeyColumns);
  const std::int16_t stride = cc::Field16(control, cc::kKeyStride);
  const std::int16_t keyLength = cc::Field16(control, cc::kKeyLength);
  const std::int16_t recordSize = cc::Field16(control, cc::kRecordSize);

  std::uint8_t* key = scratch + cr::kKey;
  std::size_t at = 0;
  for (int i = 0; i < keyColumns; ++i) {
    const std::uint8_t* entry = control + cc::kKeyEntries + static_cast<std::size_t>(i) * static_cast<std::size_t>(stride);
    const std::int16_t length = cc::Field16(entry, cc::kKeyColumnLength);
    std::memcpy(key + at, record + cc::Field16(entry, cc::kKeyColumnOffset), static_cast<std::size_t>(length));
    at += static_cast<std::size_t>(length);
  }
  std::memset(scratch, 0, static_cast<std::size_t>(cc::Field16(control, cc::kValueAreaLength)));
  const std::uint8_t* column = record + element.columnOffset;
  std::memcpy(scratch + cr::kCurrent, column, static_cast<std::size_t>(element.columnLength));
  const std::uint32_t stamp = element.filter->sampleStamp;
  StoreUnaligned(scratch + cr::kStamp, stamp);
  StoreUnaligned<void*>(control + cc::kCurrentRecord, nullptr);

  ChangeCache* cache = cc::CacheOf(control);
  if (trace.Has(trace_bit::k01)) {
    TracePrintf(block, __LINE__, "key length = %d, value length = %d, table size = %d", keyLength,
                cc::Field16(control, cc::kValueAreaLength), CachedKeyCount(cache));
    TraceDump(block, __LINE__, key, static_cast<std::size_t>(keyLength));
  }
  // A cache that could not be made at creation is never looked at.
  if (cache == nullptr) return trace.Exit(status::kHeapExhausted, __LINE__);

  const bool percent = (LoadUnaligned<std::uint32_t>(control + cc::kOptions) & cc::kPercent) != 0;
  void* found = nullptr;
  if (CacheGet(cache, key, static_cast<std::uint16_t>(keyLength), &found) == status::kOk) {
    auto* cached = static_cast<std::uint8_t*>(found);
    StoreUnaligned(control + cc::kCurrentRecord, found);
    StoreUnaligned(cached + cr::kEarlierStamp, LoadUnaligned<std::uint32_t>(cached + cr::kStamp));
    StoreUnaligned(cached + cr::kStamp, stamp);
    switch (valueType) {
      case change_type::kShort: DeliverIntegerChange<std::int16_t, std::int16_t>(cached, column, percent, output); break;
      case change_type::kUShort: DeliverIntegerChange<std::uint16_t, std::int16_t>(cached, column, percent, output); break;
      case change_type::kLong: DeliverIntegerChange<std::int32_t, std::int32_t>(cached, column, percent, output); break;
      case change_type::kULong: DeliverIntegerChange<std::uint32_t, std::int32_t>(cached, column, percent, output); break;
      case change_type::kDouble: DeliverDoubleChange(cached, column, percent, output); break;
      default: break;  // no value path: neither the record nor the target is touched
    }
    return trace.Exit(status::kOk, __LINE__);
  }

  void* fresh = nullptr;
  const std::int32_t put = CachePut(cache, scratch, static_cast<std::uint32_t>(recordSize), static_cast<std::uint16_t>(cr::kKey),
                                    static_cast<std::uint16_t>(keyLength), &fresh);
  if (put == kNoRecordBlock) {
    if (trace.HasAny(trace_bit::k80)) {
      TracePrintf(block, __LINE__, "Change Function record Allocation error. status=%d", status::kHeapExhausted);
    }
    return trace.Exit(status::kHeapExhausted, __LINE__);
  }
  if (put != status::kOk) {
    if (trace.HasAny(trace_bit::k80)) TracePrintf(block, __LINE__, "Change Hashtable error. status=%d", put);
    return trace.Exit(status::kNoMatch, __LINE__);
  }
  StoreUnaligned<void*>(control + cc::kCurrentRecord, fresh);
  StoreUnaligned(control + cc::kBytesHeld, LoadUnaligned<std::uint32_t>(control + cc::kBytesHeld) +
                                               static_cast<std::uint32_t>(recordSize));
  StoreUnaligned(control + cc::kRecordsHeld, LoadUnaligned<std::uint32_t>(control + cc::kRecordsHeld) + 1);
  if (!(LoadUnaligned<std::uint32_t>(control + cc::kOptions) & cc::kEnableFire)) {
    return trace.Exit(status::kNoMatch, __LINE__);
  }
  std::memcpy(output, column, ChangeValueBytes(valueType));
  return trace.Exit(status::kOk, __LINE__);
}

std::int32_t ChangeLong(FilterElement& e, const std::uint8_t* record) {
  const std::int32_t st = DeliverChange(e, record, e.leftFlags & 0xFF, ResultWords(e), e.functionCode);
  return ChangeResult<Printer::kChgNum>(e, record, st);
}

std::int32_t ChangeShort(FilterElement& e, const std::uint8_t* record) {
  const std::int32_t st = DeliverChange(e, record, e.leftFlags & 0xFF, ShortChangeOf(TargetOf(e)), e.functionCode);
  return ChangeResult<Printer::kChgNum>(e, record, st);
}

std::int32_t ChangeDouble(FilterElement& e, const std::uint8_t* record) { return ChangeLong(e, record); }

std::int32_t MatchRegExp(FilterElement&, const std::uint8_t*, std::int32_t) {
  static TraceBlock block{"VXO2_RegExp", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  return trace.Exit(status::kUnavailable, __LINE__);
}

std::int32_t MatchRegExpSubstitution(FilterElement&, const std::uint8_t*, const std::uint8_t*, std::int32_t, std::int32_t,
                            std::int32_t) {
  static TraceBlock block{"VXO2_RegExpSub", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  return trace.Exit(status::kUnavailable, __LINE__);
}

namespace {
constexpr std::int32_t kSubstitutionWord = 0x80000;  // the element's own leftResult
bool Substitutes(const FilterElement& e) {
  return (e.rightFlags & rep::kSubstitution) && (e.leftResult & kSubstitutionWord);
}
}  // namespace

std::int32_t RegExpFixedColumn(FilterElement& e, const std::uint8_t* record) {
  TargetOf(e).leftResult = 0;
  const std::uint8_t* column = record + e.columnOffset;
  const std::int32_t st = Substitutes(e) ? MatchRegExpSubstitution(e, record, column, e.columnLength, e.columnLength, 1)
                                         : MatchRegExp(e, column, e.columnLength);
  return st != status::kOk ? Print<Printer::kFxReg1>(e, record, st, nullptr) : e.conditionCode;
}

std::int32_t RegExpVaryingColumn(FilterElement& e, const std::uint8_t* record) {
  TargetOf(e).leftResult = 0;
  const std::uint8_t* column = record + e.columnOffset;
  const std::uint16_t prefix = LoadUnaligned<std::uint16_t>(column);
  e.rightScale = static_cast<std::int16_t>(prefix);
  if (prefix > e.columnLength - kLengthPrefix) return RegExpFixedColumn(e, record);
  const std::int32_t st = Substitutes(e) ? MatchRegExpSubstitution(e, record, column + kLengthPrefix, prefix, e.columnLength - kLengthPrefix, 0)
                                         : MatchRegExp(e, column + kLengthPrefix, prefix);
  return st != status::kOk ? Print<Printer::kVrReg1>(e, record, st, nullptr) : e.conditionCode;
}

}  // namespace vexfilt
