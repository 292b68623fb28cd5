// The vexfilt program beside awk and SQLite's shell on the same CSV file: rows per second and the peak
// memory of each process. The program streams, so its peak must not grow with the input: it runs over
// 1,000,000 and 4,000,000 rows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr const char* kSchema = "PID int32, USER char(8), CPU int32, NAME char(16), RSS_KB int32";

// PID,USER,CPU,NAME,RSS_KB from a fixed seed: about 28 bytes a row.
const std::string& CsvFile(long rows) {
  static std::map<long, std::string> files;
  std::string& path = files[rows];
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() / ("vexfilt-bench-" + std::to_string(getpid()) + "-" +
                                                    std::to_string(rows) + ".csv")).string();
  std::FILE* out = std::fopen(path.c_str(), "w");
  std::mt19937 draw(7);
  const char* users[] = {"root", "www", "db", "cron"};
  std::fputs("PID,USER,CPU,NAME,RSS_KB\n", out);
  for (long i = 0; i < rows; ++i) {
    // Drawn one by one: the order a call's arguments are evaluated in is the compiler's.
    const char* user = users[draw() % 4];
    const auto cpu = static_cast<unsigned>(draw() % 100);
    const auto name = static_cast<unsigned>(draw() % 500);
    const auto rss = static_cast<unsigned>(draw() % 90000);
    std::fprintf(out, "%ld,%s,%u,proc-%u,%u\n", 1000 + i, user, cpu, name, rss);
  }
  std::fclose(out);
  return path;
}

struct Ran {
  bool ok = false;
  long peakKb = 0;
};

// Runs `argv` with standard input from `input` (or nothing) and its output thrown away.
Ran RunProcess(const std::vector<std::string>& argv, const std::string& input) {
  const pid_t child = fork();
  if (child == 0) {
    const int in = open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    dup2(in, 0);
    dup2(out, 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return {WIFEXITED(status) && WEXITSTATUS(status) <= 1, usage.ru_maxrss};
}

void Measure(benchmark::State& state, const std::vector<std::string>& argv, const std::string& input) {
  const long rows = state.range(0);
  long peak = 0;
  for (auto _ : state) {
    const Ran ran = RunProcess(argv, input);
    if (!ran.ok) {
      state.SkipWithError(("cannot run " + argv[0]).c_str());
      return;
    }
    peak = std::max(peak, ran.peakKb);
  }
  state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_MB"] = static_cast<double>(peak) / 1024;
}

void VexfiltFile(benchmark::State& state) {
  Measure(state, {VEXFILT_PROGRAM, "--schema", kSchema, "--count", "CPU > 90", CsvFile(state.range(0))}, "");
}

void VexfiltStdin(benchmark::State& state) {
  Measure(state, {VEXFILT_PROGRAM, "--schema", kSchema, "--count", "CPU > 90"}, CsvFile(state.range(0)));
}

void VexfiltPrintsRows(benchmark::State& state) {
  Measure(state, {VEXFILT_PROGRAM, "--schema", kSchema, "CPU > 90", CsvFile(state.range(0))}, "");
}

void Awk(benchmark::State& state) {
  Measure(state, {"awk", "-F,", "NR > 1 && $3 > 90 { n++ } END { print n }", CsvFile(state.range(0))}, "");
}

void AwkPrintsRows(benchmark::State& state) { Measure(state, {"awk", "-F,", "$3 > 90", CsvFile(state.range(0))}, ""); }

void SqliteImportAndCount(benchmark::State& state) {
  Measure(state,
          {"sqlite3", ":memory:", "-cmd", "CREATE TABLE t(PID INTEGER, USER TEXT, CPU INTEGER, NAME TEXT, RSS_KB INTEGER)",
           "-cmd", ".import --csv --skip 1 " + CsvFile(state.range(0)) + " t", "SELECT count(*) FROM t WHERE CPU > 90"},
          "");
}

constexpr long kMillion = 1'000'000;
BENCHMARK(VexfiltFile)->Arg(kMillion)->Arg(4 * kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(VexfiltStdin)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(VexfiltPrintsRows)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Awk)->Arg(kMillion)->Arg(4 * kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AwkPrintsRows)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SqliteImportAndCount)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const long rows : {kMillion, 4 * kMillion}) std::filesystem::remove(CsvFile(rows));
  return 0;
}
