// Measures FLT1_FilterRecord on numeric predicates over one million 64-byte records, beside a hand-written
// loop that computes the same predicate, so the cost of the library's per-record dispatch shows directly.
// Each iteration walks every record and counts the passes; ns_per_record is the time of one record.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "plan/plan_builder.h"
#include "vexfilt.h"

namespace {

using vexfilt::plan::Column;
using vexfilt::plan::PlanBuilder;
using vexfilt::plan::PoolBuilder;

constexpr std::size_t kRecordLength = 64;
constexpr std::size_t kRecords = 1'000'000;
constexpr std::int32_t kCpuOffset = 8, kThreadsOffset = 12, kLoadOffset = 16;

template <class T>
T Read(const std::uint8_t* record, std::int32_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

// The predicates written by hand, as a host without the library would.
constexpr auto kCpuAbove90 = [](const std::uint8_t* r) { return Read<std::int32_t>(r, kCpuOffset) > 90; };
constexpr auto kBusy = [](const std::uint8_t* r) {
  return Read<std::int32_t>(r, kCpuOffset) > 90 && Read<std::int16_t>(r, kThreadsOffset) <= 64 &&
         Read<double>(r, kLoadOffset) < 2.5;
};
constexpr auto kRarelyBusy = [](const std::uint8_t* r) {
  return Read<std::int32_t>(r, kCpuOffset) > 135 && Read<std::int16_t>(r, kThreadsOffset) <= 64 &&
         Read<double>(r, kLoadOffset) < 2.5;
};

struct Workload {
  std::vector<std::uint8_t> records, plan, pool;
};

// CPU is uniform over [cpuLow, cpuLow + 99], THREADS over [1, 80] and LOAD over [0, 3.125): with cpuLow 41
// half the records have CPU > 90; with cpuLow 71 each of the three terms holds for 80%, all three for ~51%.
std::vector<std::uint8_t> MakeRecords(std::int32_t cpuLow) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<std::int32_t> cpu(cpuLow, cpuLow + 99);
  std::uniform_int_distribution<std::int32_t> threads(1, 80);
  std::uniform_real_distribution<double> load(0.0, 3.125);
  std::vector<std::uint8_t> records(kRecords * kRecordLength, 0);
  for (std::uint8_t* r = records.data(); r != records.data() + records.size(); r += kRecordLength) {
    const std::int32_t c = cpu(rng);
    const auto t = static_cast<std::int16_t>(threads(rng));
    const double l = load(rng);
    std::memcpy(r, "process", 7);
    std::memcpy(r + kCpuOffset, &c, sizeof c);
    std::memcpy(r + kThreadsOffset, &t, sizeof t);
    std::memcpy(r + kLoadOffset, &l, sizeof l);
  }
  return records;
}

// Built on first use and kept: the benchmark functions run several times per repetition.
const Workload& OneElement() {
  static const Workload w = [] {
    PoolBuilder pool;
    PlanBuilder plan("PROCESS");
    plan.RecordLength(kRecordLength).Compare(Column::Long("CPU", kCpuOffset), vexfilt::op::kGT, pool.Long(90));
    return Workload{MakeRecords(41), plan.Build(), pool.Build()};
  }();
  return w;
}

Workload ConjunctionOf(std::int32_t cpuAbove, std::int32_t cpuLow) {
  PoolBuilder pool;
  PlanBuilder plan("PROCESS");
  plan.RecordLength(kRecordLength).AllOf();
  plan.Compare(Column::Long("CPU", kCpuOffset), vexfilt::op::kGT, pool.Long(cpuAbove));
  plan.Compare(Column::Short("THREADS", kThreadsOffset), vexfilt::op::kLE, pool.Short(64));
  plan.Compare(Column::Double("LOAD", kLoadOffset), vexfilt::op::kLT, pool.Double(2.5));
  return Workload{MakeRecords(cpuLow), plan.Build(), pool.Build()};
}

const Workload& Conjunction() {
  static const Workload w = ConjunctionOf(90, 71);
  return w;
}

// The first term holds for 5% of the records: a walk stops there for nearly every record, and seldom
// mispredicts, while a join evaluates all three terms for every record.
const Workload& RareConjunction() {
  static const Workload w = ConjunctionOf(135, 41);
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
  // Seconds per record; the console prints it with an SI prefix, e.g. "11.2ns".
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

BENCHMARK_CAPTURE(BM_Library, cpu_gt_90, &OneElement, kCpuAbove90)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HandWritten, cpu_gt_90, &OneElement, kCpuAbove90)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Library, cpu_threads_load, &Conjunction, kBusy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HandWritten, cpu_threads_load, &Conjunction, kBusy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Library, rare_cpu_threads_load, &RareConjunction, kRarelyBusy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HandWritten, rare_cpu_threads_load, &RareConjunction, kRarelyBusy)->Unit(benchmark::kMillisecond);

}  // namespace

#ifdef VEXFILT_BENCH_OWN_MAIN
BENCHMARK_MAIN();
#endif
