// FLT1_FilterRecord, and FLT1_FilterRecords over batches, beside what a host would use instead: a hand-written loop, SQLite's SELECT count(*) and
// libpcap's BPF interpreter, on the six predicates of the process table, over 1,000,000 records (more than
// the caches hold) and over 100,000 (the first 100,000 of them). Before any time is taken every
// implementation must find the same number of matches, and the library must evaluate without allocating.
// Then: the benchmarks, each thread count of the scaling benchmark, and the cost of creating and destroying
// a Filter; at the end a summary with each implementation's time per record and its ratio to the
// hand-written loop of the same run (medians when --benchmark_repetitions is given).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "implementations.h"
#include "plan/plan_builder.h"
#include "process_table.h"
#include "vexfilt.h"

namespace vexfilt::bench {
namespace {

constexpr std::size_t kLarge = 1'000'000, kSmall = 100'000;

std::string BenchmarkName(Predicate p, Impl impl, std::size_t records) {
  return std::string(NameOf(p)) + "/" + NameOf(impl) + "/" + std::to_string(records);
}

void PerRecord(benchmark::State& state, std::size_t records) {
  state.counters["ns_per_record"] = benchmark::Counter(
      static_cast<double>(records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RegisterFilterBenchmarks(const TableSet& set) {
  const std::size_t records = set.table.size();
  for (Predicate p : kPredicates) {
    for (Impl impl : kImpls) {
      benchmark::RegisterBenchmark(BenchmarkName(p, impl, records).c_str(), [&set, p, impl, records](benchmark::State& state) {
        const std::unique_ptr<RecordCounter> counter = MakeCounter(impl, p, set);
        std::int64_t matches = 0;
        for (auto _ : state) {
          matches = counter->Count(0, records);
          benchmark::DoNotOptimize(matches);
        }
        PerRecord(state, records);
        state.counters["matches"] = static_cast<double>(matches);
      })->Unit(benchmark::kMillisecond);
    }
  }
}

// Each thread evaluates its own share of the records with a Filter (or a loop) of its own.
void RegisterThreadBenchmarks(const TableSet& set) {
  const std::size_t records = set.table.size();
  for (Predicate p : kPredicates) {
    for (Impl impl : {Impl::kVexFilt, Impl::kHand}) {
      const std::string name = std::string("threads/") + NameOf(p) + "/" + NameOf(impl) + "/" + std::to_string(records);
      benchmark::RegisterBenchmark(name.c_str(), [&set, p, impl, records](benchmark::State& state) {
        const std::unique_ptr<RecordCounter> counter = MakeCounter(impl, p, set);
        const auto threads = static_cast<std::size_t>(state.threads());
        const auto index = static_cast<std::size_t>(state.thread_index());
        const std::size_t first = records * index / threads, last = records * (index + 1) / threads;
        for (auto _ : state) {
          std::int64_t matches = counter->Count(first, last);
          benchmark::DoNotOptimize(matches);
        }
        state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(last - first));
      })->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
  }
}

// What bounds a batch over one-line records: reading one word of every record and nothing else, and the
// hand-written P1 and P3 in the batch call's own shape, statuses of 1,024 records stored, then counted.
void RegisterBoundBenchmarks(const TableSet& set) {
  const std::size_t records = set.table.size();
  const auto add = [&](const std::string& name, auto count) {
    benchmark::RegisterBenchmark(("bound/" + name + "/" + std::to_string(records)).c_str(), [&set, records, count](benchmark::State& state) {
      for (auto _ : state) {
        std::int64_t result = count(set.table, records);
        benchmark::DoNotOptimize(result);
      }
      PerRecord(state, records);
    })->Unit(benchmark::kMillisecond);
  };
  add("read_one_word", [](const ProcessTable& table, std::size_t n) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum ^= Read<std::uint32_t>(table.record(i), kCpuOffset);
    return static_cast<std::int64_t>(sum);
  });
  const auto inBatches = [](auto matches) {
    return [matches](const ProcessTable& table, std::size_t n) {
      constexpr std::size_t kBatch = 1024;
      static std::int32_t statuses[kBatch];
      std::int64_t passed = 0;
      for (std::size_t at = 0; at < n; at += kBatch) {
        const std::size_t count = std::min(kBatch, n - at);
        for (std::size_t i = 0; i < count; ++i) statuses[i] = matches(table.record(at + i)) ? 0 : 1;
        benchmark::ClobberMemory();
        for (std::size_t i = 0; i < count; ++i) passed += statuses[i] == 0;
      }
      return passed;
    };
  };
  add("P1_statuses_by_hand", inBatches([](const std::uint8_t* r) { return HandPredicates::P1(r); }));
  add("P3_statuses_by_hand", inBatches([](const std::uint8_t* r) { return HandPredicates::P3(r); }));
}

// A Filter of five elements of four kinds: CPU > 50 AND MEM < 1000.0 AND NAME = 'java' AND NAME LIKE
// 'java*' AND USER = 'root'.
PlanAndPool FiveElementPlan() {
  plan::PoolBuilder pool;
  plan::PlanBuilder plan("PROCESS");
  plan.RecordLength(kRecordLength).AllOf();
  const auto name = plan::Column::Char("NAME", kNameOffset, kNameLength);
  plan.Compare(plan::Column::Long("CPU", kCpuOffset), op::kGT, pool.Long(50));
  plan.Compare(plan::Column::Double("MEM", kMemOffset), op::kLT, pool.Double(1000.0));
  plan.Compare(name, op::kEQ, pool.Char("java", kNameLength));
  plan.Like(name, pool.Char("java*"));
  plan.Compare(plan::Column::VarChar("USER", kUserOffset, kUserLength), op::kEQ, pool.Char("root"));
  return {plan.Build(), pool.Build()};
}

void RegisterLifecycleBenchmark() {
  benchmark::RegisterBenchmark("lifecycle/create_destroy/5_elements", [](benchmark::State& state) {
    const PlanAndPool built = FiveElementPlan();
    const std::uint64_t before = AllocationCount();
    for (auto _ : state) {
      FilterHandle handle{};
      if (FLT1_CreateFilter(0, built.plan.data(), static_cast<std::int16_t>(built.plan.size()), built.pool.data(),
                            static_cast<std::int16_t>(built.pool.size()), &handle) != 0) {
        state.SkipWithError("FLT1_CreateFilter failed");
        break;
      }
      FLT1_DestroyFilter(handle);
    }
    state.counters["ns_per_filter"] =
        benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["allocations_per_filter"] =
        benchmark::Counter(static_cast<double>(AllocationCount() - before), benchmark::Counter::kAvgIterations);
  })->Unit(benchmark::kNanosecond);
}

// Every implementation counts the same matches on every predicate and table, or nothing is timed.
bool CountsAgree(const std::vector<const TableSet*>& sets) {
  bool agree = true;
  std::printf("Matches per implementation (they must agree before anything is timed):\n");
  std::printf("| predicate | records | VexFilt | batch | hand | SQLite | libpcap |\n|---|---:|---:|---:|---:|---:|---:|\n");
  for (const TableSet* set : sets) {
    for (Predicate p : kPredicates) {
      std::printf("| %s | %zu |", NameOf(p), set->table.size());
      std::int64_t first = -1;
      for (Impl impl : kImpls) {
        const std::int64_t count = MakeCounter(impl, p, *set)->Count(0, set->table.size());
        std::printf(" %lld |", static_cast<long long>(count));
        if (first < 0) first = count;
        agree = agree && count == first;
      }
      std::printf("\n");
    }
  }
  std::printf("\n");
  return agree;
}

// The library evaluates every record of every predicate without one allocation.
bool EvaluationAllocatesNothing(const TableSet& set) {
  if (!AllocationsCounted()) {
    std::printf("Allocations during evaluation: not counted in this build (sanitizers replace malloc)\n\n");
    return true;
  }
  std::uint64_t total = 0;
  std::printf("Allocations during evaluation of %zu records:", set.table.size());
  for (Predicate p : kPredicates) {
    for (Impl impl : {Impl::kVexFilt, Impl::kBatch}) {
      const std::unique_ptr<RecordCounter> counter = MakeCounter(impl, p, set);
      const std::uint64_t before = AllocationCount();
      std::int64_t matches = counter->Count(0, set.table.size());
      benchmark::DoNotOptimize(matches);
      const std::uint64_t made = AllocationCount() - before;
      std::printf(" %s %s %llu;", NameOf(p), NameOf(impl), static_cast<unsigned long long>(made));
      total += made;
    }
  }
  std::printf(" total %llu\n\n", static_cast<unsigned long long>(total));
  return total == 0;
}

// Keeps each benchmark's result (the median when repetitions were asked for) and prints the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string key = run.run_name.function_name + "#" + std::to_string(run.threads);
      const benchmark::UserCounters& counters = run.counters;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") medians_[key] = counters;
      } else {
        iterations_[key].push_back(counters);
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    PrintFilterTable();
    PrintThreadTable();
    PrintLifecycle();
  }

 private:
  // The counter of a benchmark: its median, or the median of its runs; negative when it did not run.
  double Value(const std::string& name, int threads, const char* counter) const {
    const std::string key = name + "#" + std::to_string(threads);
    if (auto m = medians_.find(key); m != medians_.end()) {
      auto c = m->second.find(counter);
      return c == m->second.end() ? -1 : c->second.value;
    }
    auto it = iterations_.find(key);
    if (it == iterations_.end()) return -1;
    std::vector<double> values;
    for (const auto& counters : it->second) {
      if (auto c = counters.find(counter); c != counters.end()) values.push_back(c->second.value);
    }
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  }

  // A per-record or per-call counter, which the library keeps in seconds; negative when it did not run.
  double Seconds(const std::string& name, const char* counter) const {
    const double value = Value(name, 1, counter);
    return value <= 0 ? -1 : value;
  }

  // Targets: the ratio of the library to the hand-written loop, by predicate and table size.
  static double Target(Predicate p, std::size_t records) {
    const bool simple = p == Predicate::kP1 || p == Predicate::kP4;
    if (records == kLarge) return simple ? 1.5 : 2.0;
    return simple ? 2.5 : 3.0;
  }

  void PrintFilterTable() const {
    std::printf("\nns per record (ratio to the hand-written loop of this run)\n\n");
    std::printf("| predicate | records | VexFilt | batch | hand | SQLite | libpcap | VexFilt target | met | faster than libpcap |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---|---|\n");
    for (std::size_t records : {kLarge, kSmall}) {
      for (Predicate p : kPredicates) {
        const double hand = Seconds(BenchmarkName(p, Impl::kHand, records), "ns_per_record") * 1e9;
        if (hand <= 0) continue;
        std::printf("| %s | %zu |", NameOf(p), records);
        double ratio[kImpls.size()] = {};
        for (std::size_t i = 0; i < kImpls.size(); ++i) {
          const double ns = Seconds(BenchmarkName(p, kImpls[i], records), "ns_per_record") * 1e9;
          ratio[i] = ns / hand;
          if (ns <= 0) {
            std::printf(" - |");
          } else if (kImpls[i] == Impl::kHand) {
            std::printf(" %.2f |", ns);
          } else {
            std::printf(" %.2f (%.2fx) |", ns, ratio[i]);
          }
        }
        const double target = Target(p, records);
        std::printf(" %.1fx | %s | %s |\n", target, ratio[0] > 0 && ratio[0] <= target ? "yes" : "NO",
                    ratio[0] > 0 && ratio[4] > 0 && ratio[0] < ratio[4] ? "yes" : "NO");
      }
    }
  }

  void PrintThreadTable() const {
    bool header = false;
    for (Predicate p : kPredicates) {
      for (Impl impl : {Impl::kVexFilt, Impl::kHand}) {
        const std::string name = std::string("threads/") + NameOf(p) + "/" + NameOf(impl) + "/" + std::to_string(kLarge);
        // Records of all threads per second of wall-clock time.
        const double one = 1e9 / Value(name, 1, "items_per_second"), two = 1e9 / Value(name, 2, "items_per_second");
        if (one <= 0 || two <= 0) continue;
        if (!header) {
          std::printf("\nThreads, each with its own share of %zu records (wall-clock ns per record)\n\n", kLarge);
          std::printf("| predicate | implementation | 1 thread | 2 threads | speed-up |\n|---|---|---:|---:|---:|\n");
          header = true;
        }
        std::printf("| %s | %s | %.2f | %.2f | %.2fx |\n", NameOf(p), NameOf(impl), one, two, one / two);
      }
    }
  }

  void PrintLifecycle() const {
    const char* name = "lifecycle/create_destroy/5_elements";
    const double seconds = Seconds(name, "ns_per_filter");
    if (seconds <= 0) return;
    std::printf("\nCreating and destroying a Filter of five elements: %.0f ns, %.1f allocations\n", seconds * 1e9,
                Value(name, 1, "allocations_per_filter"));
  }

  std::map<std::string, benchmark::UserCounters> medians_;
  std::map<std::string, std::vector<benchmark::UserCounters>> iterations_;
};

}  // namespace
}  // namespace vexfilt::bench

int main(int argc, char** argv) {
  using namespace vexfilt::bench;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const TableSet large(kLarge), small(kSmall);
  if (!CountsAgree({&large, &small})) {
    std::printf("The implementations disagree: nothing is timed.\n");
    return 1;
  }
  if (!EvaluationAllocatesNothing(large)) {
    std::printf("Evaluation allocated: nothing is timed.\n");
    return 1;
  }
  RegisterFilterBenchmarks(large);
  RegisterFilterBenchmarks(small);
  RegisterThreadBenchmarks(large);
  RegisterBoundBenchmarks(large);
  RegisterBoundBenchmarks(small);
  RegisterLifecycleBenchmark();

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
