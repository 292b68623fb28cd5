// Translation of arbitrary plan and pool bytes from every representation, then creation from the result.
// Translation is given no length: the buffers stand in the largest size a plan or pool can declare, and end
// where a readable page ends, so that translation reading or writing past that size faults at once.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "guarded_bytes.h"
#include "vexfilt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vexfilt::fuzzing::SilenceTraces();
  if (size < 1) return 0;
  const std::uint32_t words[] = {0x00000000, 0x00000001, 0x00000301, 0x00000010, 0x00000110};
  const std::uint32_t word = words[data[0] % 5];
  vexfilt::fuzzing::Input in = vexfilt::fuzzing::Split(data + 1, size - 1);
  if (in.plan.size() < 32 || in.pool.size() < 16 || in.plan.size() > 32767 || in.pool.size() > 32767) return 0;
  std::vector<std::uint8_t> planBytes(32768), poolBytes(32768);
  std::copy(in.plan.begin(), in.plan.end(), planBytes.begin());
  std::copy(in.pool.begin(), in.pool.end(), poolBytes.begin());
  vexfilt::testing::GuardedBytes plan(planBytes), pool(poolBytes);
  FLT1_TranslateFilterPlanNCS(word, plan.data());
  FLT1_TranslateLiteralPoolNCS(word, pool.data());
  FilterHandle handle{};
  if (FLT1_CreateFilter(0, plan.data(), static_cast<std::int16_t>(in.plan.size()), pool.data(),
                        static_cast<std::int16_t>(in.pool.size()), &handle) == 0) {
    FLT1_DestroyFilter(handle);
  }
  return 0;
}
