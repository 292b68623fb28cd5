// Measures FLT1_FilterRecord on character predicates over one million 64-byte records: LIKE 'java*' on a
// fixed column and blank-padded equality on a varying column, each beside a hand-written loop that computes
// the same predicate. Each iteration walks every record and counts the passes; ns_per_record is the time
// of one record.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "plan/plan_builder.h"
#include "vexfilt.h"

namespace {

using vexfilt::plan::Column;
using vexfilt::plan::PlanBuilder;
using vexfilt::plan::PoolBuilder;

constexpr std::size_t kRecordLength = 64;
constexpr std::size_t kRecords = 1'000'000;
constexpr std::int32_t kClassOffset = 8, kNameOffset = 24;
constexpr std::int16_t kClassLength = 16, kNameLength = 34;  // the name's length counts its 2-byte prefix
constexpr std::size_t kNameCapacity = kNameLength - 2;
constexpr std::string_view kWanted = "worker-00042";

// Blank-padded equality: the shorter operand is compared as if extended with blanks.
bool PaddedEqual(const std::uint8_t* data, std::size_t length, std::string_view literal) {
  const std::size_t common = std::min(length, literal.size());
  if (std::memcmp(data, literal.data(), common) != 0) return false;
  for (std::size_t i = common; i < length; ++i)
    if (data[i] != ' ') return false;
  for (std::size_t i = common; i < literal.size(); ++i)
    if (literal[i] != ' ') return false;
  return true;
}

// The predicates written by hand, as a host without the library would.
constexpr auto kJavaClass = [](const std::uint8_t* r) { return std::memcmp(r + kClassOffset, "java", 4) == 0; };
constexpr auto kWantedWorker = [](const std::uint8_t* r) {
  std::uint16_t length;
  std::memcpy(&length, r + kNameOffset, sizeof length);
  // A prefix beyond the capacity makes the whole column, prefix included, the value.
  if (length > kNameCapacity) return PaddedEqual(r + kNameOffset, kNameLength, kWanted);
  return PaddedEqual(r + kNameOffset + 2, length, kWanted);
};

// Both workloads read the one record set.
struct Workload {
  const std::vector<std::uint8_t>& records;
  std::vector<std::uint8_t> plan, pool;
};

// CLASS: half the records start with "java" (javax included); the others include near misses ("jav",
// "jakarta"). NAME: a quarter are "worker-00042", some of them with trailing blanks that pad away; the rest
// are other workers, longer or shorter near misses and unrelated names.
std::vector<std::uint8_t> MakeRecords() {
  static const std::vector<std::string> kJava = {"java.lang.Thread", "java.util.Map", "javax.swing.JPanel",
                                                 "java.io", "java.net.Socket", "javafx.scene"};
  static const std::vector<std::string> kOther = {"com.example.App", "org.apache.Foo", "jakarta.ee.Bean",
                                                  "jav.misc", "jdk.internal.Misc", "sun.nio.ch"};
  static const std::vector<std::string> kNearNames = {"worker-00042 ", "worker-00042   ", "worker-000421",
                                                      "worker-0004",   "Worker-00042",    "worker-00042x",
                                                      "",              "scheduler"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> coin(0, 1), quarter(0, 3), worker(0, 99'999);
  std::uniform_int_distribution<std::size_t> javaPick(0, kJava.size() - 1), otherPick(0, kOther.size() - 1),
      nearPick(0, kNearNames.size() - 1);
  std::vector<std::uint8_t> records(kRecords * kRecordLength, 0);
  char buffer[32];
  for (std::uint8_t* r = records.data(); r != records.data() + records.size(); r += kRecordLength) {
    std::memcpy(r, "process", 7);
    const std::string& cls = coin(rng) ? kJava[javaPick(rng)] : kOther[otherPick(rng)];
    std::memset(r + kClassOffset, ' ', kClassLength);
    std::memcpy(r + kClassOffset, cls.data(), std::min<std::size_t>(cls.size(), kClassLength));

    std::string name;
    switch (quarter(rng)) {
      case 0: name = kWanted; break;
      case 1: name = kNearNames[nearPick(rng)]; break;
      default:
        std::snprintf(buffer, sizeof buffer, "worker-%05d", worker(rng));
        name = buffer;
    }
    const auto length = static_cast<std::uint16_t>(name.size());
    // Bytes after the value are not blanks, so that only the prefix bounds it.
    std::memset(r + kNameOffset + 2, '#', kNameCapacity);
    std::memcpy(r + kNameOffset, &length, sizeof length);
    std::memcpy(r + kNameOffset + 2, name.data(), name.size());
  }
  return records;
}

const std::vector<std::uint8_t>& Records() {
  static const std::vector<std::uint8_t> records = MakeRecords();
  return records;
}

// Built on first use and kept: the benchmark functions run several times per repetition.
const Workload& JavaLike() {
  static const Workload w = [] {
    PoolBuilder pool;
    PlanBuilder plan("CLASSES");
    plan.RecordLength(kRecordLength).Like(Column::Char("CLASS", kClassOffset, kClassLength), pool.Char("java*"));
    return Workload{Records(), plan.Build(), pool.Build()};
  }();
  return w;
}

const Workload& NameEquals() {
  static const Workload w = [] {
    PoolBuilder pool;
    PlanBuilder plan("WORKERS");
    plan.RecordLength(kRecordLength)
        .Compare(Column::VarChar("NAME", kNameOffset, kNameLength), vexfilt::op::kEQ, pool.Char(kWanted));
    return Workload{Records(), plan.Build(), pool.Build()};
  }();
  return w;
}

std::int64_t CountLibrary(FilterHandle handle, const std::vector<std::uint8_t>& records) {
  std::int64_t passed = 0;
  for (std::size_t at = 0; at < records.size(); at += kRecordLength)
    passed += FLT1_FilterRecord(handle, 0, records.data() + at) == 0;
  return passed;
}

template <class Pred>
std::int64_t CountHand(const std::vector<std::uint8_t>& records, Pred pred) {
  std::int64_t passed = 0;
  for (std::size_t at = 0; at < records.size(); at += kRecordLength) passed += pred(records.data() + at);
  return passed;
}

void Report(benchmark::State& state, std::int64_t passed) {
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kRecords));
  state.counters["ns_per_record"] =
      benchmark::Counter(kRecords, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["pass_fraction"] = static_cast<double>(passed) / kRecords;
}

template <class Pred>
void BM_Library(benchmark::State& state, const Workload& (*workload)(), Pred pred) {
  const Workload& w = workload();
  FilterHandle handle{};
  if (FLT1_CreateFilter(0, w.plan.data(), static_cast<std::int16_t>(w.plan.size()), w.pool.data(),
                        static_cast<std::int16_t>(w.pool.size()), &handle) != 0) {
    state.SkipWithError("FLT1_CreateFilter failed");
    return;
  }
  const std::int64_t expected = CountHand(w.records, pred);
  if (CountLibrary(handle, w.records) != expected) {
    FLT1_DestroyFilter(handle);
    state.SkipWithError("library and hand-written pass counts differ");
    return;
  }
  for (auto _ : state) {
    std::int64_t passed = CountLibrary(handle, w.records);
    benchmark::DoNotOptimize(passed);
  }
  Report(state, expected);
  FLT1_DestroyFilter(handle);
}

template <class Pred>
void BM_HandWritten(benchmark::State& state, const Workload& (*workload)(), Pred pred) {
  const Workload& w = workload();
  std::int64_t passed = 0;
  for (auto _ : state) {
    passed = CountHand(w.records, pred);
    benchmark::DoNotOptimize(passed);
  }
  Report(state, passed);
}

BENCHMARK_CAPTURE(BM_Library, class_like_java, &JavaLike, kJavaClass)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HandWritten, class_like_java, &JavaLike, kJavaClass)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Library, varchar_name_eq, &NameEquals, kWantedWorker)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HandWritten, varchar_name_eq, &NameEquals, kWantedWorker)->Unit(benchmark::kMillisecond);

}  // namespace
