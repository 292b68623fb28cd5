#include "sources.h"

#include <sys/wait.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "csv_stream.h"
#include "stop_signal.h"

namespace vexfilt::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until `when`, or less when an interrupt comes; false when one came.
bool WaitUntil(Clock::time_point when) {
  while (!StopRequested()) {
    const auto left = when - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    // Short naps, so an interrupt that lands between the check and the nap is seen soon.
    std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(100)));
  }
  return false;
}

// Takes samples at the rhythm; `take` runs one and says whether the run goes on.
template <typename Take>
bool Repeat(const Rhythm& rhythm, Take&& take) {
  auto next = Clock::now();
  for (long n = 0; rhythm.samples == 0 || n < rhythm.samples; ++n) {
    if (n > 0 && !WaitUntil(next)) break;
    if (!take()) return false;
    if (StopRequested()) break;
    next += std::chrono::milliseconds(rhythm.everyMs);
    // A sample that took longer than the interval is followed at once, not by a burst catching up.
    if (next < Clock::now()) next = Clock::now();
  }
  return true;
}

}  // namespace

bool ParseInterval(std::string_view text, int* milliseconds) {
  double number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end == text.data()) return false;
  const std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
  static constexpr std::pair<std::string_view, double> kUnits[] = {
      {"", 1000}, {"s", 1000}, {"ms", 1}, {"m", 60'000}, {"h", 3'600'000}};
  for (const auto& [name, scale] : kUnits) {
    if (unit != name) continue;
    const double value = number * scale;
    if (!(value >= 1) || value > 24.0 * 3'600'000) return false;
    *milliseconds = static_cast<int>(value);
    return true;
  }
  return false;
}

bool RunLiveTable(SampleRunner& runner, LiveTable& table, const LiveRoot& root, const std::string& name,
                  const Rhythm& rhythm) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string_view> fields;
  std::vector<int> columns;
  for (std::size_t c = 0; c < runner.columns().size(); ++c) columns.push_back(static_cast<int>(c));
  std::size_t number = 0;
  return Repeat(rhythm, [&] {
    rows.clear();
    std::string error;
    const std::string time = LocalTimeNow();
    if (!table.Read(root, &rows, &error)) {
      std::fprintf(runner.err(), "error: %s: %s\n", name.c_str(), error.c_str());
      return false;
    }
    runner.Begin(SampleLabel{++number, name, time});
    for (std::size_t r = 0; r < rows.size(); ++r) {
      fields.assign(rows[r].begin(), rows[r].end());
      if (!runner.Row(fields, columns, 0, r + 1)) return false;
    }
    return runner.End();
  });
}

bool RunCommand(SampleRunner& runner, const std::string& command, const Rhythm& rhythm) {
  std::size_t number = 0;
  return Repeat(rhythm, [&] {
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
      std::fprintf(runner.err(), "error: cannot run '%s': %s\n", command.c_str(), std::strerror(errno));
      return false;
    }
    CsvStream stream(fileno(pipe));
    StreamSamples how;
    how.timed = true;
    how.number = &number;
    const bool ran = RunCsvStream(runner, stream, command, how);
    const int status = pclose(pipe);
    if (ran && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
      // Its rows were run; a command that failed is said so, as its output may be cut short.
      std::fprintf(runner.err(), "warning: '%s' ended with status %d\n", command.c_str(),
                   WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    return ran;
  });
}

std::string SchemaFileText(const std::string& name, const LiveTable& table) {
  std::string text = "# " + name + ", key";
  for (const std::string& key : table.KeyColumns()) text += " " + key;
  text += "\n";
  const std::string schema = table.Schema();
  for (std::size_t at = 0; at < schema.size();) {
    std::size_t comma = schema.find(',', at);
    if (comma == std::string::npos) comma = schema.size();
    std::string_view column(schema.data() + at, comma - at);
    while (!column.empty() && column.front() == ' ') column.remove_prefix(1);
    text.append(column).append("\n");
    at = comma + 1;
  }
  return text;
}

}  // namespace vexfilt::cli
