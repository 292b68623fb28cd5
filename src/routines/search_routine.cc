#include "routines/search_routine.h"

#include <cstring>

#include "core/search_list.h"
#include "core/status.h"
#include "host/nls.h"
#include "host/trace.h"
#include "routines/byte_strings.h"
#include "routines/nls_pattern.h"
#include "routines/operands.h"

namespace vexfilt {
namespace {

using namespace operands;

namespace sl = search_list;

// The column value as the search compares it.
struct Value {
  const std::uint8_t* data;
  std::int32_t length;  // L
  std::int32_t capacity;  // C, for varying columns
  bool varying;
};

bool SameBytes(const std::uint8_t* a, const std::uint8_t* b, std::int32_t n) {
  return n <= 0 || std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
}

// Compares the value with one entry; sets `conditionCode` and `error` as the entry's kind says. True on a
// match. A compared part longer than the fixed value never matches, rather than reading past the column.
bool Matches(FilterElement& e, const Value& v, const sl::Entry& entry, std::int32_t* error) {
  const std::uint8_t* key = entry.key();
  const std::uint8_t* part = key + entry.compareOffset();
  const std::int32_t n = entry.compareLength();
  const bool locale = (entry.type() & sl::kLocaleAware) != 0;
  NlsLocale* nls = e.filter ? e.filter->locale : nullptr;
  std::int32_t nlsStatus = 0;
  switch (sl::KindOf(entry.type())) {
    case sl::Kind::kLiteral:
      if (locale) {
        e.conditionCode = LCL2_Strcoll(nls, reinterpret_cast<const char*>(v.data), v.length,
                                       reinterpret_cast<const char*>(key), n, nls_flag::kWholeValues, &nlsStatus);
      } else if (v.varying) {
        e.conditionCode = ComparePadded(v.data, key, v.length, n, kBlank);
      } else {
        e.conditionCode = n <= v.length && SameBytes(v.data, key, n) ? 0 : 1;
      }
      return e.conditionCode == 0 && nlsStatus == 0;
    case sl::Kind::kSubstring: {
      bool found;
      if (locale) {
        found = LCL2_Findstr(nls, reinterpret_cast<const char*>(v.data), v.length, reinterpret_cast<const char*>(part), n,
                             nls_flag::kSearch) != nullptr;
      } else if (v.varying) {
        found = FindPaddedString(v.data, v.length, part, n, v.capacity, kBlank) != 0;
      } else {
        found = FindString(v.data, v.length, part, n) != 0;
      }
      e.conditionCode = found ? status::kOk : status::kNoMatch;
      return found;
    }
    case sl::Kind::kPrefix:
      if (n > v.length) {
        e.conditionCode = status::kNoMatch;
        return false;
      }
      if (locale) {
        // n characters of each, counted within the bytes each operand has.
        std::int32_t valueChars = 0, keyChars = 0;
        const std::int32_t valueBytes = BytesOfCharacters(nls, v.data, v.length, n, &valueChars);
        const std::int32_t keyBytes = BytesOfCharacters(nls, key, entry.keyLength(), n, &keyChars);
        e.conditionCode = LCL2_Strcoll(nls, reinterpret_cast<const char*>(v.data), valueBytes,
                                       reinterpret_cast<const char*>(key), keyBytes,
                                       InBytes(v.varying ? nls_flag::kSubstrings : nls_flag::kSingleCharacters), &nlsStatus);
        return e.conditionCode == 0 && nlsStatus == 0;
      }
      e.conditionCode = SameBytes(v.data, v.varying ? key : part, n) ? 0 : 1;
      return e.conditionCode == 0;
    case sl::Kind::kPattern:
      if (locale) {
        e.conditionCode = CompareNLSPattern(v.data, v.length, part, n, v.varying ? v.capacity : v.length, kBlank, nls);
        // A failing locale service counts as a match, remembered for the trace.
        if (e.conditionCode != status::kOk && e.conditionCode != status::kNoMatch) *error = e.conditionCode;
        return e.conditionCode != status::kNoMatch;
      }
      e.conditionCode = ComparePattern(v.data, v.length, part, n, v.varying ? v.capacity : 0, 0);
      return e.conditionCode == status::kOk;
    case sl::Kind::kAny:
      return true;
  }
  return false;
}

void TraceEntry(TraceBlock& block, FilterElement& e, const Value& v, const sl::Entry& entry, int number, int count,
                std::int32_t error) {
  const bool literal = (entry.type() & sl::kPatternBits) == 0;
  const char* mode = v.varying ? (literal ? "VarColSchLit" : "VarColSchPat") : (literal ? "FixColSchLit" : "FixColSchPat");
  const char* outcome = error != 0 ? "Error" : e.conditionCode == 0 ? "Found" : "NotFound";
  const std::int32_t rc = error != 0 ? error : e.conditionCode;
  char name[sizeof e.columnName + 1] = {};
  std::memcpy(name, e.columnName, sizeof e.columnName);
  const char* nls = (entry.type() & sl::kLocaleAware) ? " NLS " : " ";
  if (v.varying) {
    TracePrintf(block, __LINE__,
                "%s %s rc=%d %s type=%d%scollen=%d varlen=%d offset=%d varovh=%d entry=[%d/%d] enttyp=%.02x cmpoff=%d "
                "cmplen=%d entlen=%d",
                mode, outcome, rc, name, e.dataType, nls, e.columnLength, e.leftScale, e.columnOffset,
                LeftWordKept(e), number, count, entry.type(), entry.compareOffset(), entry.compareLength(),
                entry.keyLength());
  } else {
    TracePrintf(block, __LINE__,
                "%s %s rc=%d %s type=%d%scollen=%d offset=%d entry=[%d/%d] enttyp=%.02x cmpoff=%d cmplen=%d entlen=%d",
                mode, outcome, rc, name, e.dataType, nls, e.columnLength, e.columnOffset, number, count, entry.type(),
                entry.compareOffset(), entry.compareLength(), entry.keyLength());
  }
  if (number == 1) TraceDump(block, __LINE__, v.data, static_cast<std::size_t>(v.length));
  TraceDump(block, __LINE__, entry.key(), static_cast<std::size_t>(entry.keyLength()));
}

}  // namespace

std::int32_t Search(FilterElement& e, const std::uint8_t* record) {
  static TraceBlock block{"Search", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  auto* list = static_cast<std::uint8_t*>(e.rightData);
  const std::int16_t count = sl::EntryCountOf(list);
  const bool continueAfterMatch = (LoadUnaligned<std::uint32_t>(list + sl::kListFlags) & sl::kContinueAfterMatch) != 0;
  sl::Entry entry = sl::FirstEntry(list);
  if (count <= 0) return trace.Exit(1, __LINE__);

  const std::uint8_t* column = record + e.columnOffset;
  Value v{column, e.columnLength, 0, false};
  if (entry.type() & sl::kVarying) {
    v.varying = true;
    const std::uint16_t prefix = LoadUnaligned<std::uint16_t>(column);
    // Compared as int: a column shorter than its prefix holds no value after it.
    if (prefix > e.columnLength - kLengthPrefix) {
      KeepLeftWord(e, 0);
      v.length = e.columnLength;
    } else {
      KeepLeftWord(e, kLengthPrefix);
      v.data = column + kLengthPrefix;
      v.length = prefix;
    }
    e.leftScale = static_cast<std::int16_t>(v.length);
    v.capacity = v.length < e.columnLength ? e.columnLength - kLengthPrefix : v.length;
  }

  for (int i = 1; i <= count; ++i) {
    if (!entry.matched()) {
      std::int32_t error = 0;
      if (Matches(e, v, entry, &error)) entry.set_matchFlags(entry.matchFlags() | sl::kMatched);
      if (trace.Has(trace_bit::k01) || (trace.HasAny(trace_bit::k80) && error != 0)) {
        TraceEntry(block, e, v, entry, i, count, error);
      }
      if (entry.matched() && !continueAfterMatch) break;
    }
    if (i < count) entry = entry.Next();
  }
  return trace.Exit(1, __LINE__);
}

}  // namespace vexfilt
