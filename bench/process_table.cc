#include "process_table.h"

#include <algorithm>
#include <bit>

#include "plan/plan_builder.h"

namespace vexfilt::bench {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;

// SplitMix64: small, fast and fully specified, so the records do not depend on a standard library's
// distributions.
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform over [0, n), by multiply-shift: the bias is far below anything a count could show.
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32); }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  std::uint64_t state_;
};

constexpr std::uint64_t kSeed = 20240611;

// Near misses sit beside the names the predicates look for: "jav" and "Java" do not match 'java*', "javaw"
// and "javac" do but are not 'java'.
constexpr std::array<std::string_view, 14> kNames = {"java", "javaw",   "javac", "jav",    "Java",   "httpd", "postgres",
                                                     "sshd", "nginx",   "mysqld", "systemd", "bash", "python3", "cron"};
// Users: "root" with and without trailing blanks (which pad away), and near misses on either side of it.
constexpr std::array<std::string_view, 16> kUsers = {
    "root",   "root ",  "root   ", "postgres", "www-data", "nobody", "daemon", "mysql",
    "roots",  "Root",   "ro",      "root!",    "",         "sshd",   "backup", "a-service-account-of-26-ch"};
static_assert(kUsers.back().size() == kUserCapacity);

template <class T>
void Write(std::uint8_t* record, std::int32_t offset, T value) {
  std::memcpy(record + offset, &value, sizeof value);
}

template <class T>
void WriteBigEndian(std::uint8_t* record, std::int32_t offset, T value) {
  using U = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint16_t>>;
  U bits = std::bit_cast<U>(value);
  for (std::size_t i = 0; i < sizeof bits; ++i) record[offset + static_cast<std::int32_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * (sizeof bits - 1 - i)));
}

}  // namespace

ProcessTable MakeProcessTable(std::size_t count) {
  ProcessTable table;
  Generator rng(kSeed);
  // 128 distinct PIDs.
  for (std::size_t i = 0; i < kPidPoolSize;) {
    const auto pid = static_cast<std::int32_t>(1 + rng.Below(32767));
    if (std::find(table.pids.begin(), table.pids.begin() + static_cast<std::ptrdiff_t>(i), pid) ==
        table.pids.begin() + static_cast<std::ptrdiff_t>(i)) {
      table.pids[i++] = pid;
    }
  }
  table.bytes.assign(count * kRecordLength, 0);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t* r = table.bytes.data() + i * kRecordLength;
    Write(r, kCpuOffset, static_cast<std::int32_t>(rng.Below(101)));
    Write(r, kPrioOffset, static_cast<std::uint16_t>(rng.Below(140)));
    // Bytes 6 and 7 are the padding before MEM.
    Write(r, kMemOffset, rng.Unit() * 64000.0);
    const std::string_view name = kNames[rng.Below(kNames.size())];
    std::memset(r + kNameOffset, ' ', kNameLength);
    std::memcpy(r + kNameOffset, name.data(), name.size());
    Write(r, kPidOffset, table.pids[rng.Below(kPidPoolSize)]);
    const std::string_view user = kUsers[rng.Below(kUsers.size())];
    Write(r, kUserOffset, static_cast<std::uint16_t>(user.size()));
    // What follows the value is not blank, so that only the length bounds it.
    for (std::size_t b = 0; b < kUserCapacity; ++b) r[kUserOffset + 2 + static_cast<std::int32_t>(b)] = static_cast<std::uint8_t>('!' + rng.Below(94));
    std::memcpy(r + kUserOffset + 2, user.data(), user.size());
  }
  return table;
}

std::vector<std::uint8_t> BigEndianCopy(const ProcessTable& table) {
  std::vector<std::uint8_t> copy = table.bytes;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const std::uint8_t* from = table.record(i);
    std::uint8_t* to = copy.data() + i * kRecordLength;
    WriteBigEndian(to, kCpuOffset, Read<std::int32_t>(from, kCpuOffset));
    WriteBigEndian(to, kPrioOffset, Read<std::uint16_t>(from, kPrioOffset));
    WriteBigEndian(to, kMemOffset, Read<double>(from, kMemOffset));
    WriteBigEndian(to, kPidOffset, Read<std::int32_t>(from, kPidOffset));
    WriteBigEndian(to, kUserOffset, Read<std::uint16_t>(from, kUserOffset));
  }
  return copy;
}

const char* NameOf(Predicate p) {
  static constexpr const char* kNamesOf[] = {"P1", "P2", "P3", "P4", "P5", "P6", "P7"};
  return kNamesOf[static_cast<int>(p)];
}

std::array<std::int32_t, 5> WantedPids(const ProcessTable& table) {
  return {table.pids[3], table.pids[17], table.pids[42], table.pids[77], table.pids[120]};
}

std::string TextOf(Predicate p, const ProcessTable& table) {
  switch (p) {
    case Predicate::kP1: return "CPU > 90";
    case Predicate::kP2: return "CPU > 50 AND MEM < 1000.0 AND NAME = 'java'";
    case Predicate::kP3: return "NAME LIKE 'java*'";
    case Predicate::kP4: {
      std::string text;
      for (std::int32_t pid : WantedPids(table)) text += (text.empty() ? "PID = " : " OR PID = ") + std::to_string(pid);
      return text;
    }
    case Predicate::kP5:
    case Predicate::kP6: return "USER = 'root'";
    case Predicate::kP7: return "CPU > 90 OR USER = 'root'";
  }
  return {};
}

PlanAndPool BuildPlan(Predicate p, const ProcessTable& table) {
  PoolBuilder pool;
  PlanBuilder plan("PROCESS");
  plan.RecordLength(kRecordLength);
  const Column cpu = Column::Long("CPU", kCpuOffset), mem = Column::Double("MEM", kMemOffset),
               name = Column::Char("NAME", kNameOffset, kNameLength), pid = Column::Long("PID", kPidOffset),
               user = Column::VarChar("USER", kUserOffset, kUserLength);
  switch (p) {
    case Predicate::kP1: plan.Compare(cpu, op::kGT, pool.Long(90)); break;
    case Predicate::kP2:
      plan.AllOf();
      plan.Compare(cpu, op::kGT, pool.Long(50));
      plan.Compare(mem, op::kLT, pool.Double(1000.0));
      // A fixed column compares as many bytes as the literal has: the literal is the column's width.
      plan.Compare(name, op::kEQ, pool.Char("java", kNameLength));
      break;
    case Predicate::kP3: plan.Like(name, pool.Char("java*")); break;
    case Predicate::kP4:
      plan.AnyOf();
      for (std::int32_t wanted : WantedPids(table)) plan.Compare(pid, op::kEQ, pool.Long(wanted));
      break;
    case Predicate::kP5: plan.Compare(user, op::kEQ, pool.Char("root")); break;
    case Predicate::kP6: plan.Compare(user, op::kEQ, pool.Char("root", static_cast<std::int16_t>(kUserCapacity))); break;
    case Predicate::kP7:
      plan.AnyOf();
      plan.Compare(cpu, op::kGT, pool.Long(90));
      plan.Compare(user, op::kEQ, pool.Char("root"));
      break;
  }
  return {plan.Build(), pool.Build()};
}

std::string SqlConditionOf(Predicate p, const ProcessTable& table) {
  switch (p) {
    case Predicate::kP1: return "cpu > 90";
    case Predicate::kP2: return "cpu > 50 AND mem < 1000.0 AND name = 'java'";
    // GLOB is SQLite's case-sensitive pattern match, with '*' as LIKE's '*' here; SQL's LIKE ignores case.
    case Predicate::kP3: return "name GLOB 'java*'";
    case Predicate::kP4: {
      std::string text;
      for (std::int32_t pid : WantedPids(table)) text += (text.empty() ? "pid = " : " OR pid = ") + std::to_string(pid);
      return text;
    }
    case Predicate::kP5:
    case Predicate::kP6: return "user = 'root'";
    case Predicate::kP7: return "cpu > 90 OR user = 'root'";
  }
  return {};
}

}  // namespace vexfilt::bench
