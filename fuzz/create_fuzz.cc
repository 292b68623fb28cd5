// Creation from arbitrary plan and pool bytes, then everything a host may do with the Filter: evaluation
// of arbitrary records, samples, retrieval, inspection and modification. Nothing may read or write outside
// the buffers given, loop forever or leak.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "vexfilt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vexfilt::fuzzing::SilenceTraces();
  vexfilt::fuzzing::Input in = vexfilt::fuzzing::Split(data, size);
  if (in.plan.size() < 32 || in.pool.empty() || in.plan.size() > 32767 || in.pool.size() > 32767) return 0;
  FilterHandle handle{};
  if (FLT1_CreateFilter(0, in.plan.data(), static_cast<std::int16_t>(in.plan.size()), in.pool.data(),
                        static_cast<std::int16_t>(in.pool.size()), &handle) != 0) {
    return 0;
  }
  // Records are as long as the plan says; a plan without a record length makes no promise to check.
  std::int32_t recordLength = 0;
  __builtin_memcpy(&recordLength, in.plan.data() + 8, 4);
  if (recordLength > 0 && recordLength <= 4096) {
    std::vector<std::uint8_t> record(static_cast<std::size_t>(recordLength), ' ');
    FLT1_BeginSample(handle);
    for (std::size_t at = 0; at < in.records.size() || at == 0; at += static_cast<std::size_t>(recordLength)) {
      for (std::size_t i = 0; i < record.size() && at + i < in.records.size(); ++i) record[i] = in.records[at + i];
      FLT1_FilterRecord(handle, 0, record.data());
      if (in.records.empty()) break;
    }
    std::uint32_t result = 0;
    FLT1_EndSample(handle, &result);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(recordLength) + 64);
    for (int i = 0; i < 64; ++i) {
      std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
      if (FLT1_RetrieveRecord(handle, buffer.data(), &length) != 0) break;
    }
  }
  FilterInfo* info = nullptr;
  for (int i = 0; i < 1000 && FLT1_GetFilter(handle, &info) == 0; ++i) {
  }
  const char value[16] = "fuzzed value 12";
  FLT1_ModifyPredicate(handle, "A", 0, value, 12);
  FLT1_ModifyPredicate(handle, "A", 6, value, 3);
  FLT1_DestroyFilter(handle);
  return 0;
}
