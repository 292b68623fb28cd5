#include "run.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "csv.h"
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

// A column's value as text; empty when it cannot be read, which a record of the plan's length never causes.
std::string ValueText(const VxcPlan* plan, const char* column, const std::uint8_t* record, std::size_t length) {
  char* text = nullptr;
  if (VXC_GetValue(plan, column, record, static_cast<std::int32_t>(length), &text, nullptr) != VXC_OK) {
    return {};
  }
  std::string value(text);
  VXC_FreeText(text);
  return value;
}

void PrintRow(const std::vector<std::string>& fields, std::FILE* out) {
  bool first = true;
  for (const std::string& field : fields) {
    std::fprintf(out, "%s%s", first ? "" : ",", CsvField(field).c_str());
    first = false;
  }
  std::fputc('\n', out);
}

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

// Which schema column (by index) each CSV column fills. Every schema column must be there, once: a column
// left out would be compared as 0 or blanks without anyone noticing.
bool MapHeader(const std::vector<std::string>& names, const Sample& sample, const CsvRow& header,
               std::vector<std::size_t>* columns, std::FILE* err) {
  std::vector<bool> present(names.size(), false);
  for (const std::string& text : header.fields) {
    const std::string name = Trim(text);
    std::size_t index = 0;
    while (index < names.size() && !SameName(names[index], name)) ++index;
    if (index == names.size()) {
      std::fprintf(err, "error: %s:%d: header column '%s' is not in the schema\n", sample.name.c_str(), header.line,
                   name.c_str());
      return false;
    }
    if (present[index]) {
      std::fprintf(err, "error: %s:%d: header column '%s' appears twice\n", sample.name.c_str(), header.line,
                   name.c_str());
      return false;
    }
    present[index] = true;
    columns->push_back(index);
  }
  for (std::size_t index = 0; index < names.size(); ++index) {
    if (!present[index]) {
      std::fprintf(err, "error: %s:%d: the header has no column '%s'\n", sample.name.c_str(), header.line,
                   names[index].c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int RunSamples(const VxcPlan* plan, const std::vector<Sample>& samples, const RunOptions& options, std::FILE* out,
               std::FILE* err) {
  SampleClock clock;
  PlanFilter filter(plan);
  if (filter.status() != 0) {
    // Every predicate that parses compiles to a plan the library accepts: a refusal of one is the
    // compiler's fault, not the user's.
    if (options.planFromFile) {
      std::fprintf(err, "error: the library refused the loaded plan (FLT1_CreateFilter status %d)\n", filter.status());
    } else {
      std::fprintf(err, "internal error: the library refused the plan vexfilt compiled (FLT1_CreateFilter status %d); "
                        "please report it with the predicate and schema\n", filter.status());
    }
    return 2;
  }
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < VXC_ColumnCount(plan); ++i) names.emplace_back(VXC_ColumnName(plan, i));
  const char* keysColumn = VXC_KeysColumn(plan);
  std::vector<std::uint8_t> empty(static_cast<std::size_t>(VXC_RecordLength(plan)));
  VXC_ClearRecord(plan, empty.data(), static_cast<std::int32_t>(empty.size()), nullptr);
  const auto recordLength = static_cast<std::int32_t>(empty.size());
  std::vector<std::uint8_t> batch(kBatchRecords * empty.size());
  std::vector<std::int32_t> statuses(kBatchRecords);
  std::vector<std::string> printed(names.size());

  long matched = 0;
  bool headerPrinted = false;
  for (std::size_t s = 0; s < samples.size(); ++s) {
    const Sample& sample = samples[s];
    std::vector<CsvRow> rows;
    std::string error;
    if (!ParseCsv(sample.text, &rows, &error)) {
      std::fprintf(err, "error: %s: %s\n", sample.name.c_str(), error.c_str());
      return 2;
    }
    if (rows.empty()) {
      std::fprintf(err, "error: %s: no header row\n", sample.name.c_str());
      return 2;
    }
    std::vector<std::size_t> columns;
    if (!MapHeader(names, sample, rows[0], &columns, err)) return 2;
    if (options.sampleHeadings) std::fprintf(out, "# sample %zu: %s\n", s + 1, sample.name.c_str());
    clock.Advance();
    FLT1_BeginSample(filter.handle());
    long sampleMatched = 0;
    // Rows are written into a batch of records and handed to the library in one call; the matches are
    // printed in row order once the batch is decided, and a row that cannot be read stops the run after the
    // rows before it are decided and printed, as when each row went alone.
    const auto decide = [&](std::size_t count) {
      FLT1_FilterRecords(filter.handle(), 0, batch.data(), empty.size(), static_cast<std::int32_t>(count),
                         statuses.data());
      for (std::size_t b = 0; b < count; ++b) {
        if (statuses[b] != 0) continue;
        ++sampleMatched;
        if (options.countOnly) continue;
        if (!headerPrinted) PrintRow(names, out);
        headerPrinted = true;
        const std::uint8_t* record = batch.data() + b * empty.size();
        for (std::size_t c = 0; c < names.size(); ++c) {
          printed[c] = ValueText(plan, names[c].c_str(), record, empty.size());
        }
        PrintRow(printed, out);
      }
    };
    std::size_t filled = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
      const CsvRow& row = rows[r];
      if (row.fields.size() != columns.size()) {
        decide(filled);
        std::fprintf(err, "error: %s:%d: row %zu has %zu fields, the header has %zu\n", sample.name.c_str(), row.line,
                     r, row.fields.size(), columns.size());
        return 2;
      }
      std::uint8_t* record = batch.data() + filled * empty.size();
      std::copy(empty.begin(), empty.end(), record);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string& name = names[columns[c]];
        const std::string& value = row.fields[c];
        VxcError problem;
        if (VXC_PutValueBytes(plan, name.c_str(), value.data(), value.size(), record, recordLength, &problem) !=
            VXC_OK) {
          decide(filled);
          std::fprintf(err, "error: %s:%d: row %zu, field %s: %s\n", sample.name.c_str(), row.line, r, name.c_str(),
                       problem.message);
          return 2;
        }
      }
      if (++filled == kBatchRecords) {
        decide(filled);
        filled = 0;
      }
    }
    decide(filled);
    matched += sampleMatched;
    std::uint32_t result = 0;
    FLT1_EndSample(filter.handle(), &result);
    // Counted like grep -c: the bare number for one sample, the sample's name before it for several.
    if (options.countOnly && samples.size() > 1) std::fprintf(out, "%s:%ld\n", sample.name.c_str(), sampleMatched);
    if (options.countOnly && samples.size() == 1) std::fprintf(out, "%ld\n", sampleMatched);
    if (options.sampleHeadings && !options.countOnly && sampleMatched == 0) std::fprintf(out, "# no rows matched\n");
    if ((result & VXF_RESULT_UNMATCHED_ENTRIES) && keysColumn != nullptr) {
      for (;;) {
        std::vector<std::uint8_t> buffer = empty;
        auto length = static_cast<std::uint32_t>(buffer.size());
        const std::int32_t status = FLT1_RetrieveRecord(filter.handle(), buffer.data(), &length);
        if (status == VXF_STATUS_NO_MORE_RECORDS) break;
        if (status != 0) {
          std::fprintf(err, "error: retrieving the missing keys failed (FLT1_RetrieveRecord status %d)\n", status);
          return 2;
        }
        std::fprintf(out, "# missing: %s\n", ValueText(plan, keysColumn, buffer.data(), buffer.size()).c_str());
      }
    }
  }
  return matched > 0 ? 0 : 1;
}

}  // namespace vexfilt::cli
