#include "run.h"

#include <cstdint>
#include <string_view>

#include "csv.h"
#include "filter_owner.h"
#include "vexfilt.h"
#include "vexhost.h"

namespace vexfilt::cli {
namespace {

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

void PrintHeader(const Schema& schema, std::FILE* out) {
  bool first = true;
  for (const Field& field : schema.fields()) {
    std::fprintf(out, "%s%s", first ? "" : ",", CsvField(field.name).c_str());
    first = false;
  }
  std::fputc('\n', out);
}

void PrintRow(const Schema& schema, const std::vector<std::uint8_t>& record, std::FILE* out) {
  bool first = true;
  for (const Field& field : schema.fields()) {
    std::fprintf(out, "%s%s", first ? "" : ",", CsvField(schema.Decode(field, record.data())).c_str());
    first = false;
  }
  std::fputc('\n', out);
}

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// Which schema column each CSV column fills. Every schema column must be there, once: a column left out
// would be compared as 0 or blanks without anyone noticing.
bool MapHeader(const Schema& schema, const Sample& sample, const CsvRow& header, std::vector<const Field*>* columns,
               std::FILE* err) {
  for (const std::string& text : header.fields) {
    const std::string name = Trim(text);
    const Field* field = schema.Find(name);
    if (field == nullptr) {
      std::fprintf(err, "error: %s:%d: header column '%s' is not in the schema\n", sample.name.c_str(), header.line,
                   name.c_str());
      return false;
    }
    for (const Field* seen : *columns) {
      if (seen == field) {
        std::fprintf(err, "error: %s:%d: header column '%s' appears twice\n", sample.name.c_str(), header.line,
                     name.c_str());
        return false;
      }
    }
    columns->push_back(field);
  }
  for (const Field& field : schema.fields()) {
    bool present = false;
    for (const Field* column : *columns) present = present || column == &field;
    if (!present) {
      std::fprintf(err, "error: %s:%d: the header has no column '%s'\n", sample.name.c_str(), header.line,
                   field.name.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int RunSamples(const Schema& schema, const CompiledPlan& compiled, const std::vector<Sample>& samples,
               const RunOptions& options, std::FILE* out, std::FILE* err) {
  SampleClock clock;
  FilterOwner filter(compiled);
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
  const Field* keysField = KeysField(compiled, schema);
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
    std::vector<const Field*> columns;
    if (!MapHeader(schema, sample, rows[0], &columns, err)) return 2;
    if (options.sampleHeadings) std::fprintf(out, "# sample %zu: %s\n", s + 1, sample.name.c_str());
    clock.Advance();
    FLT1_BeginSample(filter.handle());
    long sampleMatched = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
      const CsvRow& row = rows[r];
      if (row.fields.size() != columns.size()) {
        std::fprintf(err, "error: %s:%d: row %zu has %zu fields, the header has %zu\n", sample.name.c_str(), row.line,
                     r, row.fields.size(), columns.size());
        return 2;
      }
      std::vector<std::uint8_t> record = schema.EmptyRecord();
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string problem = schema.Encode(*columns[c], row.fields[c], record);
        if (!problem.empty()) {
          std::fprintf(err, "error: %s:%d: row %zu, field %s: %s\n", sample.name.c_str(), row.line, r,
                       columns[c]->name.c_str(), problem.c_str());
          return 2;
        }
      }
      if (FLT1_FilterRecord(filter.handle(), 0, record.data()) != 0) continue;
      ++sampleMatched;
      if (options.countOnly) continue;
      if (!headerPrinted) PrintHeader(schema, out);
      headerPrinted = true;
      PrintRow(schema, record, out);
    }
    matched += sampleMatched;
    std::uint32_t result = 0;
    FLT1_EndSample(filter.handle(), &result);
    // Counted like grep -c: the bare number for one sample, the sample's name before it for several.
    if (options.countOnly && samples.size() > 1) std::fprintf(out, "%s:%ld\n", sample.name.c_str(), sampleMatched);
    if (options.countOnly && samples.size() == 1) std::fprintf(out, "%ld\n", sampleMatched);
    if (options.sampleHeadings && !options.countOnly && sampleMatched == 0) std::fprintf(out, "# no rows matched\n");
    if ((result & VXF_RESULT_UNMATCHED_ENTRIES) && keysField != nullptr) {
      for (;;) {
        std::vector<std::uint8_t> buffer = schema.EmptyRecord();
        auto length = static_cast<std::uint32_t>(buffer.size());
        const std::int32_t status = FLT1_RetrieveRecord(filter.handle(), buffer.data(), &length);
        if (status == VXF_STATUS_NO_MORE_RECORDS) break;
        if (status != 0) {
          std::fprintf(err, "error: retrieving the missing keys failed (FLT1_RetrieveRecord status %d)\n", status);
          return 2;
        }
        std::fprintf(out, "# missing: %s\n", schema.Decode(*keysField, buffer.data()).c_str());
      }
    }
  }
  return matched > 0 ? 0 : 1;
}

}  // namespace vexfilt::cli
