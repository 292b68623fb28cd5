// What the harnesses share: silenced traces, and a fuzzer's bytes split into a plan, a pool and records
// (two 16-bit lengths, then the buffers).
#ifndef VEXFILT_FUZZ_FUZZ_INPUT_H_
#define VEXFILT_FUZZ_FUZZ_INPUT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vexhost.h"

namespace vexfilt::fuzzing {

// Refused inputs write trace lines; sent nowhere, they neither flood the fuzzer's output nor slow it.
inline void SilenceTraces() {
  static const bool silenced = (VEXH_SetTraceSink([](void*, const char*) {}, nullptr), true);
  (void)silenced;
}

struct Input {
  std::vector<std::uint8_t> plan, pool, records;
};

inline Input Split(const std::uint8_t* data, std::size_t size) {
  Input in;
  if (size < 4) return in;
  std::uint16_t planLength, poolLength;
  std::memcpy(&planLength, data, 2);
  std::memcpy(&poolLength, data + 2, 2);
  std::size_t at = 4;
  const auto take = [&](std::size_t n) {
    n = std::min(n, size - at);
    std::vector<std::uint8_t> out(data + at, data + at + n);
    at += n;
    return out;
  };
  in.plan = take(planLength);
  in.pool = take(poolLength);
  in.records = take(size);
  return in;
}

inline std::vector<std::uint8_t> Join(const std::vector<std::uint8_t>& plan, const std::vector<std::uint8_t>& pool,
                                      const std::vector<std::uint8_t>& records) {
  std::vector<std::uint8_t> out(4);
  const auto planLength = static_cast<std::uint16_t>(plan.size());
  const auto poolLength = static_cast<std::uint16_t>(pool.size());
  std::memcpy(out.data(), &planLength, 2);
  std::memcpy(out.data() + 2, &poolLength, 2);
  out.insert(out.end(), plan.begin(), plan.end());
  out.insert(out.end(), pool.begin(), pool.end());
  out.insert(out.end(), records.begin(), records.end());
  return out;
}

}  // namespace vexfilt::fuzzing

#endif  // VEXFILT_FUZZ_FUZZ_INPUT_H_
