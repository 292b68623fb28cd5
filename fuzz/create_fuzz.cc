// Creation from arbitrary plan and pool bytes, then everything a host may do with the Filter: evaluation
// of arbitrary records, samples, retrieval, inspection and modification, then all of it again. Nothing may
// read or write outside the buffers given, loop forever or leak: every record and every modified value
// ends where a readable page ends, so that a read past it faults in any build.
//
// Each accepted plan is also built as a Filter that walks element by element through the traced routines
// (every table traced, no fused bindings), and the two must agree on every status, verdict, sample result,
// retrieved record and inspection report. A difference is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/data_types.h"
#include "core/filter.h"
#include "fuzz_input.h"
#include "guarded_bytes.h"
#include "vexfilt.h"
#include "vexhost.h"

namespace {

using vexfilt::Filter;
using vexfilt::FilterOf;
using vexfilt::testing::GuardedBytes;

constexpr std::int32_t kLongestRecord = 4096;
constexpr std::size_t kMostRecords = 32;

int g_step = 0;  // the record or report being compared, for the finding's message

[[noreturn]] void Finding(const char* what, long long optimized, long long walked) {
  std::fprintf(stderr, "create_fuzz: %s differ at step %d: optimized %lld, element by element %lld\n", what, g_step,
               optimized, walked);
  std::abort();
}

void Agree(const char* what, long long optimized, long long walked) {
  if (optimized != walked) Finding(what, optimized, walked);
}

// A Filter built with every routine traced: creation selects the traced tables while the creating
// blocks' level has bit 0x01 and VEX_TRACEFILTER is ALL (set once, at start).
std::int32_t CreateElementByElement(const std::vector<std::uint8_t>& plan, const std::vector<std::uint8_t>& pool,
                                    FilterHandle* handle) {
  VEXH_SetTraceLevel(nullptr, 0x01);
  const std::int32_t st = FLT1_CreateFilter(0, plan.data(), static_cast<std::int16_t>(plan.size()), pool.data(),
                                            static_cast<std::int16_t>(pool.size()), handle);
  VEXH_ResetTraceLevels();
  return st;
}

struct Pair {
  FilterHandle optimized{};
  FilterHandle walked{};
};

// The records of one sample through both Filters, then the sample's end, retrieval and inspection. The
// records lie one after another, the last ending at a guard page. The walked Filter takes them one by one;
// the optimized one too, or, for every other input, all in one FLT1_FilterRecords call.
void RunSample(const Pair& pair, const std::vector<std::uint8_t>& records, std::int32_t recordLength) {
  const auto length = static_cast<std::size_t>(recordLength);
  std::size_t count = 0;
  while (count < kMostRecords && (count * length < records.size() || count == 0)) ++count;
  std::vector<std::uint8_t> laid(count * length, ' ');
  if (!laid.empty() && !records.empty()) std::memcpy(laid.data(), records.data(), std::min(laid.size(), records.size()));
  GuardedBytes guarded(laid);
  Agree("FLT1_BeginSample", FLT1_BeginSample(pair.optimized), FLT1_BeginSample(pair.walked));
  std::vector<std::int32_t> optimized(count, -1);
  if (records.size() % 2 == 0) {
    Agree("FLT1_FilterRecords", FLT1_FilterRecords(pair.optimized, 0, guarded.data(), length,
                                                   static_cast<std::int32_t>(count), optimized.data()), 0);
  } else {
    for (std::size_t n = 0; n < count; ++n) optimized[n] = FLT1_FilterRecord(pair.optimized, 0, guarded.data() + n * length);
  }
  for (std::size_t n = 0; n < count; ++n) {
    g_step = static_cast<int>(n);
    Agree("FLT1_FilterRecord statuses", optimized[n], FLT1_FilterRecord(pair.walked, 0, guarded.data() + n * length));
  }
  std::uint32_t optimizedResult = 0, walkedResult = 0;
  Agree("FLT1_EndSample", FLT1_EndSample(pair.optimized, &optimizedResult), FLT1_EndSample(pair.walked, &walkedResult));
  Agree("sample results", optimizedResult, walkedResult);
  std::vector<std::uint8_t> optimizedBuffer(length + 64), walkedBuffer(length + 64);
  for (int i = 0; i < 64; ++i) {
    auto optimizedLength = static_cast<std::uint32_t>(optimizedBuffer.size());
    auto walkedLength = optimizedLength;
    const std::int32_t st = FLT1_RetrieveRecord(pair.optimized, optimizedBuffer.data(), &optimizedLength);
    Agree("FLT1_RetrieveRecord", st, FLT1_RetrieveRecord(pair.walked, walkedBuffer.data(), &walkedLength));
    if (st != 0) break;
    Agree("retrieved lengths", optimizedLength, walkedLength);
    Agree("retrieved records", 0, std::memcmp(optimizedBuffer.data(), walkedBuffer.data(), optimizedLength));
  }
}

void AgreeOnBytes(const char* what, const void* a, const void* b, long long length) {
  if (length <= 0 || a == nullptr || b == nullptr) {
    Agree(what, a == nullptr, b == nullptr);
    return;
  }
  Agree(what, 0, std::memcmp(a, b, static_cast<std::size_t>(length)));
}

// Bytes inside a change element's control block or scratch record hold cache references and sample
// stamps, which differ between the two Filters by nature: a value reported from there is compared by length
// only, and an extended argument not at all.
bool InChangeState(const Filter& filter, const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  for (int i = 0; i < filter.elementCount; ++i) {
    const vexfilt::FilterElement& e = filter.elements[i];
    if (!vexfilt::fn::IsChange(e.functionCode)) continue;
    const auto* control = static_cast<const std::uint8_t*>(e.rightData);
    const auto* scratch = static_cast<const std::uint8_t*>(e.leftData);
    if (control != nullptr && p >= control && p < control + filter.facts[i].rightRoom) return true;
    if (scratch != nullptr && p >= scratch && p < scratch + filter.facts[i].leftRoom) return true;
  }
  return false;
}

void Inspect(const Pair& pair) {
  FilterInfo* optimized = nullptr;
  FilterInfo* walked = nullptr;
  for (int i = 0; i < 1000; ++i) {
    g_step = i;
    const std::int32_t st = FLT1_GetFilter(pair.optimized, &optimized);
    Agree("FLT1_GetFilter", st, FLT1_GetFilter(pair.walked, &walked));
    if (st != 0) break;
    Agree("reported operators", optimized->compareOperator, walked->compareOperator);
    Agree("reported connectives", optimized->logicalOperator, walked->logicalOperator);
    Agree("reported functions", optimized->functionType, walked->functionType);
    Agree("reported types", optimized->dataType, walked->dataType);
    Agree("reported value lengths", optimized->valueLen, walked->valueLen);
    Agree("reported features", optimized->features, walked->features);
    Agree("reported attributes", optimized->attribute, walked->attribute);
    AgreeOnBytes("reported column names", optimized->columnName, walked->columnName, 11);
    if (!InChangeState(*FilterOf(pair.optimized), optimized->value)) {
      AgreeOnBytes("reported values", optimized->value, walked->value, optimized->valueLen);
    }
    // An element whose literal is a change element's control block reports a name read from it, whose
    // length is the length of live bytes there: neither is compared.
    if (!InChangeState(*FilterOf(pair.optimized), optimized->extData)) {
      Agree("reported extended lengths", optimized->extLen, walked->extLen);
      AgreeOnBytes("reported extended data", optimized->extData, walked->extData, optimized->extLen);
    }
  }
}

// A modification of the column of one of the plan's elements, or of every search argument, with a value
// taken from the input, of any length up to a little past the longest record.
void Modify(const Pair& pair, const std::vector<std::uint8_t>& script, std::size_t at) {
  const Filter& filter = *FilterOf(pair.optimized);
  if (filter.elementCount <= 0) return;
  const auto byte = [&](std::size_t i) { return script.empty() ? std::uint8_t{0} : script[(at + i) % script.size()]; };
  char column[vexfilt::kColumnNameSize + 1] = {};
  std::memcpy(column, filter.elements[byte(0) % filter.elementCount].columnName, vexfilt::kColumnNameSize);
  const std::uint32_t functionCode = (byte(1) & 3) == 3 ? vexfilt::fn::kStringSearch : vexfilt::fn::kNone;
  auto length = static_cast<std::int16_t>((byte(2) | byte(3) << 8) % (kLongestRecord + 64));
  if ((byte(1) & 0x0C) != 0) length = static_cast<std::int16_t>(length % 24);  // mostly short values
  std::vector<std::uint8_t> value(static_cast<std::size_t>(length));
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = byte(4 + i);
  GuardedBytes guarded(value);
  Agree("FLT1_ModifyPredicate", FLT1_ModifyPredicate(pair.optimized, column, functionCode, guarded.data(), length),
        FLT1_ModifyPredicate(pair.walked, column, functionCode, guarded.data(), length));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("VEX_TRACEFILTER", "ALL", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vexfilt::fuzzing::SilenceTraces();
  vexfilt::fuzzing::Input in = vexfilt::fuzzing::Split(data, size);
  constexpr std::size_t kLongestBuffer = 32767;  // creation takes the lengths as 16-bit numbers
  if (in.plan.size() < vexfilt::kPlanHeaderSize || in.pool.empty() || in.plan.size() > kLongestBuffer ||
      in.pool.size() > kLongestBuffer) {
    return 0;
  }
  Pair pair;
  if (FLT1_CreateFilter(0, in.plan.data(), static_cast<std::int16_t>(in.plan.size()), in.pool.data(),
                        static_cast<std::int16_t>(in.pool.size()), &pair.optimized) != 0) {
    return 0;
  }
  // A plan without a record length leaves its records' extent to the host. This host's records are
  // 4096 bytes, and it says so: creation then proves every read inside them.
  constexpr std::size_t kRecordLengthAt = offsetof(VxpPlanHeader, recordLength);
  std::int32_t recordLength = 0;
  std::memcpy(&recordLength, in.plan.data() + kRecordLengthAt, sizeof recordLength);
  if (recordLength <= 0) {
    FLT1_DestroyFilter(pair.optimized);
    recordLength = kLongestRecord;
    std::memcpy(in.plan.data() + kRecordLengthAt, &recordLength, sizeof recordLength);
    if (FLT1_CreateFilter(0, in.plan.data(), static_cast<std::int16_t>(in.plan.size()), in.pool.data(),
                          static_cast<std::int16_t>(in.pool.size()), &pair.optimized) != 0) {
      return 0;
    }
  }
  const std::int32_t walkedStatus = CreateElementByElement(in.plan, in.pool, &pair.walked);
  if (walkedStatus != 0) {
    FLT1_DestroyFilter(pair.optimized);
    Finding("FLT1_CreateFilter", 0, walkedStatus);
  }
  if (recordLength <= kLongestRecord) {
    RunSample(pair, in.records, recordLength);
    Inspect(pair);
    Modify(pair, in.records, 0);
    Modify(pair, in.records, 7);
    RunSample(pair, in.records, recordLength);
    Inspect(pair);
  } else {
    Inspect(pair);
    Modify(pair, in.records, 0);
  }
  FLT1_DestroyFilter(pair.optimized);
  FLT1_DestroyFilter(pair.walked);
  return 0;
}
