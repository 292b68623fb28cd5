// Predicates run as the vexfilt program runs them, and what the SQLite oracles of its language share: an
// in-memory database, random draws, the nesting of predicates, rows written to both sides, the comparison
// of the answers, and the run's seed and size from the environment.
#ifndef VEXFILT_TESTS_SQL_ORACLE_H_
#define VEXFILT_TESTS_SQL_ORACLE_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "csv.h"
#include "run.h"
#include "vexcompile.h"
#include "vexhost.h"

namespace vexfilt::testing {

inline std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// VEXFILT_ORACLE_SEED and VEXFILT_ORACLE_PREDICATES give a longer run with another seed.
inline unsigned FromEnvironment(const char* name, unsigned otherwise) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : otherwise;
}

// The library reports every timestamp MKTIME cannot move, whatever the trace level; the oracles expect
// thousands of them, and nobody reads them.
class QuietLibrary {
 public:
  QuietLibrary() {
    VEXH_SetTraceSink([](void*, const char*) {}, nullptr);
  }
  ~QuietLibrary() { VEXH_SetTraceSink(nullptr, nullptr); }
  QuietLibrary(const QuietLibrary&) = delete;
  QuietLibrary& operator=(const QuietLibrary&) = delete;
};

// What a run printed: the first field of each matching row and, for each sample, the expected keys reported
// missing, sorted.
struct RunOutput {
  std::string error;  // a compile error or what the run wrote to its error stream
  int status = -1;
  std::vector<std::string> ids;
  std::vector<std::vector<std::string>> missing;
  std::vector<std::string> changes;  // a change function's column, the rows' last, when the predicate has one

  bool Ran() const { return (status == 0 || status == 1) && error.empty(); }
};

// Compiles `predicate` through the compiler's C interface and runs it over the samples with the program's
// own run path, as the program does.
inline RunOutput Run(const std::string& schemaText, const std::string& predicate,
                     const std::vector<std::string>& keyColumns, const std::vector<cli::Sample>& samples,
                     const char* language = nullptr) {
  RunOutput output;
  output.missing.resize(samples.size());
  std::vector<const char*> keys;
  for (const std::string& key : keyColumns) keys.push_back(key.c_str());
  const VxcOptions options{nullptr, language, keys.data(), static_cast<std::int32_t>(keys.size())};
  VxcPlan* compiled = nullptr;
  VxcError error;
  if (VXC_CompileText(schemaText.c_str(), predicate.c_str(), &options, &compiled, &error) != VXC_OK) {
    output.error = error.message;
    return output;
  }
  const std::unique_ptr<VxcPlan, decltype(&VXC_FreePlan)> plan(compiled, &VXC_FreePlan);
  char* text[2] = {nullptr, nullptr};
  std::size_t size[2] = {0, 0};
  std::FILE* out = open_memstream(&text[0], &size[0]);
  std::FILE* err = open_memstream(&text[1], &size[1]);
  output.status = cli::RunSamples(plan.get(), samples, {.sampleHeadings = true}, out, err);
  std::fclose(out);
  std::fclose(err);
  const std::string printed(text[0], size[0]);
  output.error.assign(text[1], size[1]);
  std::free(text[0]);
  std::free(text[1]);
  // The header comes before the first row; the lines that begin with '#' name the samples and the keys.
  std::size_t sample = 0;
  bool header = true;
  bool changeShown = false;
  for (std::size_t at = 0, end; at < printed.size(); at = end + 1) {
    end = std::min(printed.find('\n', at), printed.size());
    const std::string line = printed.substr(at, end - at);
    static constexpr std::string_view kSample = "# sample ", kMissing = "# missing: ";
    if (line.starts_with(kSample)) {
      sample = std::strtoul(line.c_str() + kSample.size(), nullptr, 10) - 1;
    } else if (line.starts_with(kMissing)) {
      if (sample < output.missing.size()) output.missing[sample].push_back(line.substr(kMissing.size()));
    } else if (!line.starts_with("#") && std::exchange(header, false)) {
      const std::string last = line.substr(line.rfind(',') + 1);
      changeShown = last.starts_with("CHANGE(") || last.starts_with("PCTCHANGE(");
    } else if (!line.starts_with("#")) {
      output.ids.push_back(line.substr(0, line.find(',')));
      if (changeShown) output.changes.push_back(line.substr(line.rfind(',') + 1));
    }
  }
  for (auto& missing : output.missing) std::sort(missing.begin(), missing.end());
  return output;
}

// A sample of CSV text from rows of fields, the header first.
inline cli::Sample CsvSample(const std::string& name, const std::vector<std::vector<std::string>>& rows) {
  cli::Sample sample{name, {}};
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) sample.text += (i ? "," : "") + cli::CsvField(row[i]);
    sample.text += "\n";
  }
  return sample;
}

// The draws of a run, from its seed.
class Draws {
 public:
  explicit Draws(unsigned seed) : engine_(seed) {}
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
  bool OneIn(int n) { return Below(n) == 0; }
  template <typename T, std::size_t N>
  const T& Of(const T (&items)[N]) {
    return items[Below(static_cast<int>(N))];
  }

 private:
  std::mt19937 engine_;
};

// A predicate in both languages.
struct Predicate {
  std::string vexfilt, sql;
};

// NOT, AND and OR nested up to `depth` deep over the predicates `leaf` draws.
template <typename Leaf>
Predicate Nested(Draws& random, int depth, Leaf&& leaf) {
  if (depth == 0 || random.OneIn(3)) return leaf();
  if (random.Below(3) == 0) {
    const Predicate inner = Nested(random, depth - 1, leaf);
    return {"NOT (" + inner.vexfilt + ")", "NOT (" + inner.sql + ")"};
  }
  const char* connective = random.OneIn(2) ? " AND " : " OR ";
  const Predicate a = Nested(random, depth - 1, leaf);
  const Predicate b = Nested(random, depth - 1, leaf);
  return {"(" + a.vexfilt + ")" + connective + "(" + b.vexfilt + ")",
          "(" + a.sql + ")" + connective + "(" + b.sql + ")"};
}

struct Database {
  sqlite3* db = nullptr;
  Database() { EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK); }
  ~Database() { sqlite3_close(db); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Execute(const std::string& sql) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << sql << ": " << (message ? message : "");
    sqlite3_free(message);
  }
  // The first column of every row of `query`, as text.
  std::vector<std::string> Column(const std::string& query) {
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << query << ": " << sqlite3_errmsg(db);
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      values.push_back(text != nullptr ? text : "");
    }
    sqlite3_finalize(statement);
    return values;
  }
};

// An oracle's columns, in schema order, the first an ID that names each row, each with its SQL type; and its
// rows, each in a sample (from 1), with the fields as SQL holds them and as the sample's CSV spells them.
struct SqlColumn {
  std::string name, type;
};
struct OracleRow {
  int sample;
  std::vector<std::string> fields, csv;
};

// The rows as table r(sample, columns...). The text holds no quote, and SQL reads numbers as the program does.
inline void Load(Database& database, const std::vector<SqlColumn>& columns, const std::vector<OracleRow>& rows) {
  std::string create = "CREATE TABLE r(sample INTEGER";
  for (const SqlColumn& c : columns) create += ", " + c.name + " " + c.type;
  database.Execute(create + ")");
  for (const OracleRow& row : rows) {
    std::string insert = "INSERT INTO r VALUES(" + std::to_string(row.sample);
    for (std::size_t i = 0; i < columns.size(); ++i)
      insert += ", " + (columns[i].type == "TEXT" ? Quoted(row.fields[i]) : row.fields[i]);
    database.Execute(insert + ")");
  }
}

// The rows as CSV samples, one for each of `count`.
inline std::vector<cli::Sample> SamplesOf(const std::vector<SqlColumn>& columns, const std::vector<OracleRow>& rows,
                                          int count) {
  std::vector<std::string> header;
  for (const SqlColumn& c : columns) header.push_back(c.name);
  std::vector<cli::Sample> samples;
  for (int s = 1; s <= count; ++s) {
    std::vector<std::vector<std::string>> table{header};
    for (const OracleRow& row : rows) {
      if (row.sample == s) table.push_back(row.csv);
    }
    samples.push_back(CsvSample("sample" + std::to_string(s), table));
  }
  return samples;
}

// What the run answered otherwise than SQLite, which matched `ids` and found `missing` keys missing in each
// sample: the rows on which they differ, and the samples whose keys do; "" when they agree.
inline std::string Differences(const RunOutput& output, const std::vector<std::string>& ids,
                               const std::vector<std::vector<std::string>>& missing,
                               const std::vector<SqlColumn>& columns, const std::vector<OracleRow>& rows) {
  if (!output.Ran()) return "\n  the run: status " + std::to_string(output.status) + ", " + output.error;
  const auto joined = [](const std::vector<std::string>& keys) {
    std::string text;
    for (const std::string& key : keys) text += (text.empty() ? "" : " ") + Quoted(key);
    return "{" + text + "}";
  };
  std::string differing;
  for (const OracleRow& row : rows) {
    const bool program = std::count(output.ids.begin(), output.ids.end(), row.fields[0]) > 0;
    const bool sql = std::count(ids.begin(), ids.end(), row.fields[0]) > 0;
    if (program == sql) continue;
    differing += "\n  sample " + std::to_string(row.sample) + ":";
    for (std::size_t i = 0; i < columns.size(); ++i)
      differing += (i ? ", " : " ") + columns[i].name + "=" + Quoted(row.fields[i]);
    differing += std::string(": SQLite ") + (sql ? "holds" : "fails");
  }
  for (std::size_t s = 0; s < missing.size(); ++s) {
    if (output.missing[s] != missing[s]) {
      differing += "\n  sample " + std::to_string(s + 1) + " missing " + joined(output.missing[s]) + ", SQLite " +
                   joined(missing[s]);
    }
  }
  if (differing.empty() && output.ids != ids) differing = "\n  rows " + joined(output.ids) + ", SQLite " + joined(ids);
  return differing;
}

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_SQL_ORACLE_H_
