#include "run.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "csv.h"
#include "filter/plan_format.h"
#include "vexfilt.h"

namespace vexfilt::cli {
namespace {

constexpr std::int32_t kNoMoreRecords = 514;
constexpr std::uint32_t kUnmatchedEntries = 0x8000;

// A Filter that is destroyed with its owner.
class FilterOwner {
 public:
  explicit FilterOwner(const CompiledPlan& compiled) {
    status_ = FLT1_CreateFilter(0, compiled.plan.data(), static_cast<std::int16_t>(compiled.plan.size()),
                                compiled.pool.data(), static_cast<std::int16_t>(compiled.pool.size()), &handle_);
  }
  ~FilterOwner() {
    if (status_ == 0) FLT1_DestroyFilter(handle_);
  }
  FilterOwner(const FilterOwner&) = delete;
  FilterOwner& operator=(const FilterOwner&) = delete;
  std::int32_t status() const { return status_; }
  FilterHandle handle() const { return handle_; }

 private:
  FilterHandle handle_{};
  std::int32_t status_ = -1;
};

template <typename T>
T At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

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

}  // namespace

int RunSamples(const Schema& schema, const CompiledPlan& compiled, const std::vector<Sample>& samples,
               const RunOptions& options, std::FILE* out, std::FILE* err) {
  FilterOwner filter(compiled);
  if (filter.status() != 0) {
    std::fprintf(err, "error: the library refused the compiled plan (FLT1_CreateFilter status %d)\n", filter.status());
    return 2;
  }
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
    // Which schema column each CSV column fills.
    std::vector<const Field*> columns;
    for (const std::string& name : rows[0].fields) {
      std::string trimmed = name;
      while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
      while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
      const Field* field = schema.Find(trimmed);
      if (field == nullptr) {
        std::fprintf(err, "error: %s:%d: header column '%s' is not in the schema\n", sample.name.c_str(), rows[0].line,
                     trimmed.c_str());
        return 2;
      }
      for (const Field* seen : columns) {
        if (seen == field) {
          std::fprintf(err, "error: %s:%d: header column '%s' appears twice\n", sample.name.c_str(), rows[0].line,
                       trimmed.c_str());
          return 2;
        }
      }
      columns.push_back(field);
    }
    if (options.sampleHeadings) std::fprintf(out, "# sample %zu: %s\n", s + 1, sample.name.c_str());
    FLT1_BeginSample(filter.handle());
    long sampleMatched = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
      const CsvRow& row = rows[r];
      if (row.fields.size() != columns.size()) {
        std::fprintf(err, "error: %s:%d: row has %zu fields, the header has %zu\n", sample.name.c_str(), row.line,
                     row.fields.size(), columns.size());
        return 2;
      }
      // Columns the CSV leaves out hold zero or blanks.
      std::vector<std::uint8_t> record(static_cast<std::size_t>(schema.recordLength()), 0);
      for (const Field& field : schema.fields()) {
        if (field.IsText()) schema.Encode(field, "", record);
      }
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const std::string problem = schema.Encode(*columns[c], row.fields[c], record);
        if (!problem.empty()) {
          std::fprintf(err, "error: %s:%d: field %s: %s\n", sample.name.c_str(), row.line, columns[c]->name.c_str(),
                       problem.c_str());
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
    if (options.sampleHeadings && !options.countOnly && sampleMatched == 0) std::fprintf(out, "# no rows matched\n");
    if ((result & kUnmatchedEntries) && compiled.keysField != nullptr) {
      for (;;) {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(schema.recordLength()), ' ');
        auto length = static_cast<std::uint32_t>(buffer.size());
        const std::int32_t st = FLT1_RetrieveRecord(filter.handle(), buffer.data(), &length);
        if (st == kNoMoreRecords) break;
        if (st != 0) {
          std::fprintf(err, "error: retrieving missing keys failed (FLT1_RetrieveRecord status %d)\n", st);
          return 2;
        }
        std::fprintf(out, "# missing: %s\n", schema.Decode(*compiled.keysField, buffer.data()).c_str());
      }
    }
  }
  if (options.countOnly) std::fprintf(out, "%ld\n", matched);
  return matched > 0 ? 0 : 1;
}

int Explain(const CompiledPlan& compiled, std::FILE* out, std::FILE* err) {
  const auto count = static_cast<std::size_t>(At<std::int16_t>(compiled.plan, offsetof(PlanHeader, elementCount)));
  const auto stride = static_cast<std::size_t>(At<std::int16_t>(compiled.plan, offsetof(PlanHeader, elementLength)));
  std::fprintf(out, "%-3s %-3s %-16s %-12s %-6s %-6s %s\n", "#", "id", "operation", "column", "true", "false",
               "literal");
  const auto target = [&](std::size_t i, std::int16_t skip) {
    const std::size_t to = i + static_cast<std::size_t>(skip);
    return to >= count ? std::string("end") : std::to_string(to);
  };
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t base = kPlanHeaderSize + i * stride;
    const auto id = At<std::uint16_t>(compiled.plan, base + 40);
    const auto trueSkip = At<std::int16_t>(compiled.plan, base + 52);
    const auto falseSkip = At<std::int16_t>(compiled.plan, base + 54);
    const ElementNote note = i < compiled.notes.size() ? compiled.notes[i] : ElementNote{};
    std::fprintf(out, "%-3zu %-3u %-16s %-12s %-6s %-6s %s\n", i, id, note.operation.c_str(),
                 note.column.empty() ? "-" : note.column.c_str(), target(i, trueSkip).c_str(),
                 target(i, falseSkip).c_str(), note.literal.c_str());
  }
  FilterOwner filter(compiled);
  if (filter.status() != 0) {
    std::fprintf(err, "error: the library refused the compiled plan (FLT1_CreateFilter status %d)\n", filter.status());
    return 2;
  }
  std::fprintf(out, "library view (FLT1_GetFilter):\n");
  FilterInfo* info = nullptr;
  for (int n = 0; FLT1_GetFilter(filter.handle(), &info) == 0 && info != nullptr && n < 10000; ++n) {
    std::string name = info->columnName != nullptr ? std::string(info->columnName, strnlen(info->columnName, 11)) : "";
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    std::fprintf(out, "  predicate %d: column=%s function=%u operator=%d connective=%d type=%d valueLen=%d\n", n + 1,
                 name.empty() ? "-" : name.c_str(), info->functionType, info->compareOperator,
                 info->logicalOperator, info->dataType, info->valueLen);
  }
  return 0;
}

}  // namespace vexfilt::cli
