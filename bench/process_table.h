// The process table that the comparison benchmarks filter: 64-byte records generated from a fixed seed, and
// the five predicates, each written for every implementation compared (the library's plan, a hand-written
// loop, an SQL condition and a BPF program).
//
// Record layout (local byte order):
//   0  int32    CPU    0..100
//   4  uint16   PRIO   0..139
//   8  double   MEM    [0, 64000)
//  16  char[16] NAME   blank padded, from a vocabulary of 14 process names
//  32  int32    PID    from a pool of 128 values
//  36  varchar  USER   2-byte length, then up to 26 bytes of text; the bytes after the value are not blanks
#ifndef VEXFILT_BENCH_PROCESS_TABLE_H_
#define VEXFILT_BENCH_PROCESS_TABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vexfilt::bench {

inline constexpr std::size_t kRecordLength = 64;
inline constexpr std::int32_t kCpuOffset = 0, kPrioOffset = 4, kMemOffset = 8, kNameOffset = 16, kPidOffset = 32,
                              kUserOffset = 36;
inline constexpr std::int16_t kNameLength = 16;
inline constexpr std::int16_t kUserLength = 28;  // declared length: the 2-byte prefix and 26 bytes of text
inline constexpr std::size_t kUserCapacity = kUserLength - 2;
inline constexpr std::size_t kPidPoolSize = 128;

// The records, one after another, and the PID pool they draw from.
struct ProcessTable {
  std::vector<std::uint8_t> bytes;
  std::array<std::int32_t, kPidPoolSize> pids{};
  std::size_t size() const { return bytes.size() / kRecordLength; }
  const std::uint8_t* record(std::size_t i) const { return bytes.data() + i * kRecordLength; }
};

// `count` records from the fixed seed: the same bytes on every run and every machine. A smaller table is
// the start of a larger one.
ProcessTable MakeProcessTable(std::size_t count);

// The same records with every integer field (CPU, PRIO, PID, the USER length) and the bits of MEM stored
// big-endian, as BPF's loads read them; the text fields are unchanged.
std::vector<std::uint8_t> BigEndianCopy(const ProcessTable& table);

template <class T>
T Read(const std::uint8_t* record, std::int32_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

// P6 is P5 as a host compiles it: the literal padded with blanks to the column's capacity. P7 is P1 or P5,
// two steps that no chain joins: a batch runs them one after the other.
enum class Predicate { kP1, kP2, kP3, kP4, kP5, kP6, kP7 };
inline constexpr std::array<Predicate, 7> kPredicates = {Predicate::kP1, Predicate::kP2, Predicate::kP3, Predicate::kP4,
                                                         Predicate::kP5, Predicate::kP6, Predicate::kP7};

// "P1" .. "P5", and the predicate as a user writes it.
const char* NameOf(Predicate p);
std::string TextOf(Predicate p, const ProcessTable& table);

// The five PIDs that P4 looks for, all from the table's pool.
std::array<std::int32_t, 5> WantedPids(const ProcessTable& table);

// The library's Filter Plan and Literal Pool for a predicate.
struct PlanAndPool {
  std::vector<std::uint8_t> plan, pool;
};
PlanAndPool BuildPlan(Predicate p, const ProcessTable& table);

// The hand-written predicates, as a host without the library would write them.
struct HandPredicates {
  std::array<std::int32_t, 5> pids;
  static bool P1(const std::uint8_t* r) { return Read<std::int32_t>(r, kCpuOffset) > 90; }
  static bool P2(const std::uint8_t* r) {
    return Read<std::int32_t>(r, kCpuOffset) > 50 && Read<double>(r, kMemOffset) < 1000.0 &&
           std::memcmp(r + kNameOffset, "java            ", kNameLength) == 0;
  }
  static bool P3(const std::uint8_t* r) { return std::memcmp(r + kNameOffset, "java", 4) == 0; }
  bool P4(const std::uint8_t* r) const {
    const auto pid = Read<std::int32_t>(r, kPidOffset);
    return pid == pids[0] || pid == pids[1] || pid == pids[2] || pid == pids[3] || pid == pids[4];
  }
  static bool P7(const std::uint8_t* r) { return P1(r) || P5(r); }
  static bool P5(const std::uint8_t* r) {
    const auto length = Read<std::uint16_t>(r, kUserOffset);
    // A length beyond the capacity makes the whole column, prefix included, the value.
    const bool inRange = length <= kUserCapacity;
    const std::uint8_t* data = inRange ? r + kUserOffset + 2 : r + kUserOffset;
    const std::size_t size = inRange ? length : static_cast<std::size_t>(kUserLength);
    // Blank-padded equality with "root": the first four bytes, then nothing but blanks.
    if (size < 4 || std::memcmp(data, "root", 4) != 0) return false;
    for (std::size_t i = 4; i < size; ++i)
      if (data[i] != ' ') return false;
    return true;
  }
};

// The SQL condition of a predicate over the table process(cpu, prio, mem, name, pid, user).
std::string SqlConditionOf(Predicate p, const ProcessTable& table);

}  // namespace vexfilt::bench

#endif  // VEXFILT_BENCH_PROCESS_TABLE_H_
