#include "run.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "change_column.h"
#include "record_text.h"
#include "stop_signal.h"
#include "vexfilt.h"
#include "vexhost.h"

namespace vexfilt::cli {
namespace {

// Records handed to the library in one call: enough that the call's own cost vanishes, few enough that the
// batch stays in the first-level cache for records of a few hundred bytes.
constexpr std::size_t kBatchRecords = 64;

// To the library a sample is a moment: its change caches forget, at the end of a sample, the keys seen
// only at earlier moments. Files are read far faster than the hundredth of a second a moment is counted
// in, so while samples run the library's clock is the sample number, one second each.
class SampleClock {
 public:
  SampleClock() { VEXH_SetClock(&SampleClock::Now, this); }
  ~SampleClock() { VEXH_SetClock(nullptr, nullptr); }
  SampleClock(const SampleClock&) = delete;
  SampleClock& operator=(const SampleClock&) = delete;

  void Advance() { ++seconds_; }

 private:
  static void Now(void* context, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
    *seconds = static_cast<const SampleClock*>(context)->seconds_;
    *nanoseconds = 0;
  }
  std::uint32_t seconds_ = 0;
};

// The Filter of a compiled plan, destroyed with its owner.
class PlanFilter {
 public:
  explicit PlanFilter(const VxcPlan* plan) {
    std::int16_t planLength = 0, poolLength = 0;
    const void* planBytes = VXC_PlanBytes(plan, &planLength);
    const void* poolBytes = VXC_PoolBytes(plan, &poolLength);
    status_ = FLT1_CreateFilter(0, planBytes, planLength, poolBytes, poolLength, &handle_);
  }
  ~PlanFilter() {
    if (status_ == 0) FLT1_DestroyFilter(handle_);
  }
  PlanFilter(const PlanFilter&) = delete;
  PlanFilter& operator=(const PlanFilter&) = delete;

  // FLT1_CreateFilter's status; the handle is only valid when it is 0.
  std::int32_t status() const { return status_; }
  FilterHandle handle() const { return handle_; }

 private:
  FilterHandle handle_{};
  std::int32_t status_ = -1;
};

std::vector<std::string> ColumnNames(const VxcPlan* plan) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < VXC_ColumnCount(plan); ++i) names.emplace_back(VXC_ColumnName(plan, i));
  return names;
}

// Numbers are told from text by what an empty record holds: 0 in a number, nothing or blanks in the rest.
std::vector<bool> NumericColumns(const VxcPlan* plan, const std::vector<std::string>& names,
                                 const std::vector<std::uint8_t>& empty) {
  std::vector<bool> numeric;
  for (const std::string& name : names) numeric.push_back(ValueText(plan, name.c_str(), empty.data(), empty.size()) == "0");
  return numeric;
}

std::string Where(const SampleLabel& sample, int line) {
  return line > 0 ? sample.name + ":" + std::to_string(line) : sample.name;
}

}  // namespace

struct SampleRunner::State {
  State(const VxcPlan* p, const RunOptions& o, std::FILE* output, std::FILE* error)
      : plan(p), options(o), err(error), filter(p), names(ColumnNames(p)),
        empty(static_cast<std::size_t>(VXC_RecordLength(p))), keysColumn(VXC_KeysColumn(p)) {
    VXC_ClearRecord(plan, empty.data(), static_cast<std::int32_t>(empty.size()), nullptr);
    batch.resize(kBatchRecords * empty.size());
    statuses.resize(kBatchRecords);
    printed.resize(names.size());
    std::vector<std::string> shown = names;
    std::vector<bool> numeric = NumericColumns(plan, names, empty);
    // The change a row was compared by is shown after its columns.
    if (!change.name().empty()) {
      shown.push_back(change.name());
      numeric.push_back(true);
      printed.emplace_back();
    }
    out = std::make_unique<Output>(options.format, shown, numeric, output);
  }

  // Hands the batch's rows to the library and prints those that matched.
  void Decide() {
    FLT1_FilterRecords(filter.handle(), 0, batch.data(), empty.size(), static_cast<std::int32_t>(filled),
                       statuses.data());
    const bool showRows = !options.countOnly && !options.missingOnly;
    for (std::size_t b = 0; b < filled; ++b) {
      const std::uint8_t* record = batch.data() + b * empty.size();
      // Every row moves the change on, matched or not, as it does in the library.
      std::string changed = showRows ? change.Observe(record, empty.size()) : std::string();
      if (statuses[b] != 0) continue;
      ++sampleMatched;
      if (!showRows) continue;
      for (std::size_t c = 0; c < names.size(); ++c) printed[c] = ValueText(plan, names[c].c_str(), record, empty.size());
      if (!change.name().empty()) printed.back() = std::move(changed);
      out->Row(sample, printed);
    }
    filled = 0;
  }

  const VxcPlan* plan;
  RunOptions options;
  std::FILE* err;
  SampleClock clock;
  PlanFilter filter;
  std::vector<std::string> names;
  std::vector<std::uint8_t> empty;
  const char* keysColumn;
  ChangeColumn change{plan};
  std::vector<std::uint8_t> batch;
  std::vector<std::int32_t> statuses;
  std::vector<std::string> printed;
  std::unique_ptr<Output> out;
  SampleLabel sample;
  std::size_t filled = 0;
  long sampleMatched = 0;
  long matched = 0;
};

SampleRunner::SampleRunner(const VxcPlan* plan, const RunOptions& options, std::FILE* out, std::FILE* err)
    : state_(std::make_unique<State>(plan, options, out, err)) {
  const std::int32_t status = state_->filter.status();
  if (status == 0) return;
  // Every predicate that parses compiles to a plan the library accepts: a refusal of one is the compiler's
  // fault, not the user's.
  if (options.planFromFile) {
    std::fprintf(err, "error: the library refused the loaded plan (FLT1_CreateFilter status %d)\n", status);
  } else {
    std::fprintf(err, "internal error: the library refused the plan vexfilt compiled (FLT1_CreateFilter status %d); "
                      "please report it with the predicate and schema\n", status);
  }
}

SampleRunner::~SampleRunner() = default;

bool SampleRunner::Ready() const { return state_->filter.status() == 0; }
const std::vector<std::string>& SampleRunner::columns() const { return state_->names; }
const RunOptions& SampleRunner::options() const { return state_->options; }
std::FILE* SampleRunner::err() const { return state_->err; }

void SampleRunner::Begin(SampleLabel sample) {
  State& s = *state_;
  s.sample = std::move(sample);
  if (s.options.sampleHeadings) s.out->Heading(s.sample);
  s.clock.Advance();
  FLT1_BeginSample(s.filter.handle());
  s.sampleMatched = 0;
  s.filled = 0;
}

bool SampleRunner::Row(std::span<const std::string_view> fields, std::span<const int> columns, int line,
                       std::size_t row) {
  State& s = *state_;
  if (fields.size() != columns.size()) {
    s.Decide();
    std::fprintf(s.err, "error: %s: row %zu has %zu fields, the header has %zu\n", Where(s.sample, line).c_str(), row,
                 fields.size(), columns.size());
    return false;
  }
  std::uint8_t* record = s.batch.data() + s.filled * s.empty.size();
  std::copy(s.empty.begin(), s.empty.end(), record);
  const auto length = static_cast<std::int32_t>(s.empty.size());
  for (std::size_t c = 0; c < fields.size(); ++c) {
    if (columns[c] < 0) continue;
    VxcError problem;
    if (VXC_PutColumnBytes(s.plan, columns[c], fields[c].data(), fields[c].size(), record, length, &problem) != VXC_OK) {
      s.Decide();
      std::fprintf(s.err, "error: %s: row %zu, field %s: %s\n", Where(s.sample, line).c_str(), row,
                   s.names[static_cast<std::size_t>(columns[c])].c_str(), problem.message);
      return false;
    }
  }
  if (++s.filled == kBatchRecords) s.Decide();
  return true;
}

bool SampleRunner::End() {
  State& s = *state_;
  s.Decide();
  s.matched += s.sampleMatched;
  std::uint32_t result = 0;
  FLT1_EndSample(s.filter.handle(), &result);
  s.change.EndSample();
  if (s.options.countOnly) s.out->Count(s.sample, s.sampleMatched, s.options.namedCounts);
  if (s.options.sampleHeadings && !s.options.countOnly && !s.options.missingOnly && s.sampleMatched == 0) {
    s.out->NoRows(s.sample);
  }
  s.out->EndSample();
  if ((result & VXF_RESULT_UNMATCHED_ENTRIES) && s.keysColumn != nullptr) {
    std::vector<std::uint8_t> buffer(s.empty.size());
    for (;;) {
      buffer = s.empty;
      auto length = static_cast<std::uint32_t>(buffer.size());
      const std::int32_t status = FLT1_RetrieveRecord(s.filter.handle(), buffer.data(), &length);
      if (status == VXF_STATUS_NO_MORE_RECORDS) break;
      if (status != 0) {
        std::fprintf(s.err, "error: retrieving the missing keys failed (FLT1_RetrieveRecord status %d)\n", status);
        return false;
      }
      s.out->Missing(s.sample, ValueText(s.plan, s.keysColumn, buffer.data(), buffer.size()));
    }
  }
  std::fflush(nullptr);
  return true;
}

int SampleRunner::ExitStatus() const { return state_->matched > 0 ? 0 : 1; }

namespace {

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// Column names match whatever their case; they are letters, digits and _.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// Which schema column (by index) each CSV column fills, -1 for a column the schema does not have (when
// that is allowed). Every schema column must be there, once: a column left out would be compared as 0 or
// blanks without anyone noticing. `err` null: says nothing, only whether the row is a header.
bool MapHeader(const std::vector<std::string>& names, const std::string& where, const std::vector<std::string_view>& header,
               bool ignoreExtra, std::vector<int>* columns, std::FILE* err) {
  columns->clear();
  std::vector<bool> present(names.size(), false);
  for (const std::string_view text : header) {
    const std::string name = Trim(text);
    std::size_t index = 0;
    while (index < names.size() && !SameName(names[index], name)) ++index;
    if (index == names.size()) {
      if (ignoreExtra) {
        columns->push_back(-1);
        continue;
      }
      if (err) {
        std::fprintf(err, "error: %s: header column '%s' is not in the schema (--ignore-extra-columns skips it)\n",
                     where.c_str(), name.c_str());
      }
      return false;
    }
    if (present[index]) {
      if (err) std::fprintf(err, "error: %s: header column '%s' appears twice\n", where.c_str(), name.c_str());
      return false;
    }
    present[index] = true;
    columns->push_back(static_cast<int>(index));
  }
  for (std::size_t index = 0; index < names.size(); ++index) {
    if (!present[index]) {
      if (err) std::fprintf(err, "error: %s: the header has no column '%s'\n", where.c_str(), names[index].c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

bool RunCsvStream(SampleRunner& runner, CsvStream& stream, const std::string& name, const StreamSamples& how) {
  const RunOptions& options = runner.options();
  std::vector<int> columns;
  bool haveHeader = false;
  bool inSample = false;     // Begin was called
  bool afterBreak = false;   // a separator or a tick ended the sample before
  std::size_t rows = 0;
  std::size_t localNumber = 0;
  std::size_t& number = how.number != nullptr ? *how.number : localNumber;
  using Clock = std::chrono::steady_clock;
  Clock::time_point tick = Clock::now() + std::chrono::milliseconds(how.everyMs);
  long ended = 0;
  const auto endSample = [&] {
    afterBreak = true;
    if (!inSample) return true;
    inSample = false;
    ++ended;
    return runner.End();
  };
  const auto enough = [&] { return how.limit > 0 && ended >= how.limit; };
  const auto beginSample = [&] {
    runner.Begin(SampleLabel{++number, name, how.split || how.timed ? LocalTimeNow() : std::string()});
    inSample = true;
    rows = 0;
  };
  const bool ticking = how.split && how.everyMs > 0;
  for (;;) {
    if (StopRequested()) break;
    int timeout = -1;
    if (ticking) {
      // A tick ends the sample whether or not input keeps coming.
      if (Clock::now() >= tick) {
        if (!endSample()) return false;
        if (enough()) return true;
        while (tick <= Clock::now()) tick += std::chrono::milliseconds(how.everyMs);
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(tick - Clock::now()).count();
      timeout = static_cast<int>(std::max<long long>(0, left));
    }
    const CsvStream::Next next = stream.Read(timeout);
    if (next == CsvStream::Next::kError) {
      if (inSample) runner.End();
      std::fprintf(runner.err(), "error: %s: %s\n", name.c_str(), stream.error().c_str());
      return false;
    }
    if (next == CsvStream::Next::kEnd) break;
    if (next == CsvStream::Next::kTimeout) continue;
    if (how.split && stream.text() == how.separator) {
      if (!endSample()) return false;
      if (enough()) return true;
      continue;
    }
    if (stream.text().find_first_not_of(" \t") == std::string_view::npos) continue;  // a blank line
    if (!haveHeader) {
      const std::string where = name + ":" + std::to_string(stream.line());
      if (!MapHeader(runner.columns(), where, stream.fields(), options.ignoreExtraColumns, &columns, runner.err())) {
        return false;
      }
      haveHeader = true;
      continue;
    }
    if (afterBreak && !inSample) {
      std::vector<int> again;
      if (MapHeader(runner.columns(), name, stream.fields(), options.ignoreExtraColumns, &again, nullptr)) {
        columns = std::move(again);
        continue;
      }
    }
    if (!inSample) beginSample();
    if (!runner.Row(stream.fields(), columns, stream.line(), ++rows)) return false;
  }
  if (!haveHeader) {
    // Interrupted before anything came: nothing was asked of the input yet.
    if (StopRequested()) return true;
    std::fprintf(runner.err(), "error: %s: no header row\n", name.c_str());
    return false;
  }
  // A file is a sample even when it holds only its header: its expected keys all went missing.
  if (!inSample && !how.split) beginSample();
  return !inSample || runner.End();
}

int RunSamples(const VxcPlan* plan, const std::vector<Sample>& samples, const RunOptions& options, std::FILE* out,
               std::FILE* err) {
  SampleRunner runner(plan, options, out, err);
  if (!runner.Ready()) return 2;
  std::size_t number = 0;
  for (const Sample& sample : samples) {
    CsvStream stream(sample.text);
    StreamSamples how;
    how.number = &number;
    if (!RunCsvStream(runner, stream, sample.name, how)) return 2;
  }
  return runner.ExitStatus();
}

}  // namespace vexfilt::cli
