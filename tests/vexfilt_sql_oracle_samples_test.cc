// The vexfilt language against SQL over several samples: random rows in four samples (new rows every 50
// predicates) and random predicates, from a fixed seed, run through the program's own run path (RunSamples,
// which prints the matching rows and the missing keys) and asked of SQLite over the same rows. It draws what
// the one-sample oracle (vexfilt_sql_oracle_test.cc) does not:
//
//   double columns          against numbers and against every number column, as SQL REAL against REAL or
//                           INTEGER; a 2-byte column ends the record, where the library checks the reads
//                           of a pair of columns;
//   timestamps              against timestamps, columns against columns, and MKTIME(TS, '+90M') against
//                           either, as strftime('%Y-%m-%d %H:%M:%f', TS, '+90 minutes') in UTC (MKTIME
//                           works in local time, so the run sets TZ=UTC); a blank timestamp, or a result
//                           outside the years 1900 to 2899, is no value;
//   CHANGE and PCTCHANGE    of int32 and uint32 columns by one or two key columns, as the value less the
//                           key's previous one, LAG(...) OVER (PARTITION BY key ORDER BY sample, row),
//                           which counts only when that row was in the same sample or the one before (the
//                           library forgets a key at the end of a sample without it); the percent is
//                           change * 100 / previous truncated towards zero, and 0 after a previous 0;
//   KEYS(COL) IN (...)      the expected keys that no row of a sample has, whatever the rest of the
//                           predicate says of the row, as NOT EXISTS.
//
// NOT, AND and OR are two-valued: a function that gives no value (a key's first sample, a timestamp MKTIME
// cannot move) makes its comparison false and NOT makes it true, so every comparison is asked IS TRUE.
//
// Left out, as SQL does not say the same: a second change function in one predicate (the compiler puts the
// first where every row reaches it; a later one keeps values only for the rows the earlier ones leave
// undecided); a timestamp's second 60 (mktime moves it into the next minute, SQLite reads no time); an
// integer beyond 2^53 against a double (vexfilt reads the number as the nearest double, SQL compares it
// exactly); a zone with summer time (MKTIME moves the local wall clock and lets mktime settle a time that the
// change skips or repeats; SQLite's arithmetic knows no zone).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "csv.h"
#include "predicate.h"
#include "run.h"
#include "schema.h"
#include "sql_oracle.h"
#include "test_support.h"
#include "vexcompile.h"
#include "vexhost.h"

namespace vexfilt::cli {
namespace {

using testing::Database;
using testing::FromEnvironment;
using testing::Quoted;

// ---------------------------------------------------------------------------------------------------------
// Running a predicate the way the program does.

// The library reports every timestamp MKTIME cannot move, whatever the trace level; thousands of them are
// expected here, and nobody reads them.
class QuietLibrary {
 public:
  QuietLibrary() { VEXH_SetTraceSink([](void*, const char*) {}, nullptr); }
  ~QuietLibrary() { VEXH_SetTraceSink(nullptr, nullptr); }
  QuietLibrary(const QuietLibrary&) = delete;
  QuietLibrary& operator=(const QuietLibrary&) = delete;
};

// What a run printed: the IDs of the matching rows (the schema's first column) and, for each sample, the
// expected keys reported missing.
struct RunOutput {
  std::string error;  // a compile error or what the run wrote to its error stream
  int status = -1;
  std::vector<long> ids;
  std::vector<std::vector<std::string>> missing;  // by sample
};

// Reads the memory a stream wrote, then frees it.
class Captured {
 public:
  Captured() : file_(open_memstream(&text_, &size_)) {}
  ~Captured() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(text_);
  }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;
  std::FILE* file() const { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// Compiles and runs `predicate` as the program does, through the compiler's C interface.
RunOutput Run(const std::string& schemaText, const std::string& predicate, const std::vector<std::string>& keyColumns,
              const std::vector<Sample>& samples) {
  RunOutput output;
  output.missing.resize(samples.size());
  std::vector<const char*> keys;
  for (const std::string& key : keyColumns) keys.push_back(key.c_str());
  const VxcOptions options{nullptr, nullptr, keys.data(), static_cast<std::int32_t>(keys.size())};
  VxcPlan* compiled = nullptr;
  VxcError error;
  if (VXC_CompileText(schemaText.c_str(), predicate.c_str(), &options, &compiled, &error) != VXC_OK) {
    output.error = error.message;
    return output;
  }
  const std::unique_ptr<VxcPlan, decltype(&VXC_FreePlan)> plan(compiled, &VXC_FreePlan);
  Captured out, err;
  RunOptions run;
  run.sampleHeadings = true;
  output.status = RunSamples(plan.get(), samples, run, out.file(), err.file());
  output.error = err.Text();
  const std::string text = out.Text();
  std::size_t sample = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    static constexpr std::string_view kSample = "# sample ", kMissing = "# missing: ";
    if (line.starts_with(kSample)) {
      sample = std::strtoul(line.c_str() + kSample.size(), nullptr, 10) - 1;
    } else if (line.starts_with(kMissing)) {
      if (sample < output.missing.size()) output.missing[sample].push_back(line.substr(kMissing.size()));
    } else if (!line.empty() && line[0] != '#' && !line.starts_with("ID,")) {
      output.ids.push_back(std::strtol(line.c_str(), nullptr, 10));
    }
  }
  for (auto& keys : output.missing) std::sort(keys.begin(), keys.end());
  return output;
}

Schema ParsedSchema(const char* text) {
  std::string error;
  auto schema = Schema::Parse(text, &error);
  EXPECT_TRUE(schema.has_value()) << error;
  return schema ? *schema : Schema{};
}

// A sample of CSV text from rows of fields, the header first.
Sample CsvSample(const std::string& name, const std::vector<std::vector<std::string>>& rows) {
  Sample sample{name, {}};
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) sample.text += (i ? "," : "") + CsvField(row[i]);
    sample.text += "\n";
  }
  return sample;
}

// ---------------------------------------------------------------------------------------------------------
// The random rows.

constexpr const char* kSchemaText =
    "ID int32, K char(4), V varchar(4), G int16, X int32, W uint32, D double, E double, A int32, "
    "T timestamp, U timestamp, H int16";
enum class Type { kInteger, kReal, kText, kTime };
struct OracleColumn {
  const char* name;
  Type type;
  long long low, high;  // of an integer column
};
// In schema order; H, a 2-byte column, ends the record.
constexpr OracleColumn kColumns[] = {
    {"ID", Type::kInteger, 0, 0},
    {"K", Type::kText, 0, 0},
    {"V", Type::kText, 0, 0},
    {"G", Type::kInteger, -32768, 32767},
    {"X", Type::kInteger, -2147483648LL, 2147483647LL},
    {"W", Type::kInteger, 0, 4294967295LL},
    {"D", Type::kReal, 0, 0},
    {"E", Type::kReal, 0, 0},
    {"A", Type::kInteger, -2147483648LL, 2147483647LL},
    {"T", Type::kTime, 0, 0},
    {"U", Type::kTime, 0, 0},
    {"H", Type::kInteger, -32768, 32767},
};
constexpr std::size_t kColumnCount = std::size(kColumns);
constexpr const char* kNumberColumns[] = {"G", "X", "W", "D", "E", "A", "H"};
constexpr const char* kOperators[] = {"=", "<>", "<", ">", "<=", ">="};

const OracleColumn& ColumnNamed(std::string_view name) {
  for (const OracleColumn& c : kColumns) {
    if (name == c.name) return c;
  }
  return kColumns[0];
}

// Doubles that make ties and edges: zeros of both signs, a half, the far ends, integers the integer columns
// hold too, and a value no binary fraction is; some spelled as people also write them.
constexpr const char* kDoubles[] = {"0",     "-0",     "-0.5",       "0.5",         "1e300",  "-1e300",     "1",
                                    "2",     "3",      "-3",         "2.5",         "0.1",    "100",        "65535",
                                    "-1",    "1e-300", "4294967295", "-2147483648", "32767",  "2147483647", ".5",
                                    "-.5",   "+2.5",   "1E300",      "5e-1",        "-0.0",   "3.0"};

// Timestamps at the ends of months and years, leap days of years that have them and 1900 and 2100 that
// do not, milliseconds at both ends, and the ends of the years the library's timestamps hold. A day past
// its month's end (the schema reads any day to 31) runs on into the next month, in mktime and SQLite alike.
constexpr const char* kTimestamps[] = {
    "2023-02-29 10:00:00.000", "2024-02-31 10:00:00.000", "2024-04-31 23:59:59.999", "1900-02-29 00:00:00.000",
    "1900-01-01 00:00:00.000", "1900-02-28 23:59:59.999", "1900-03-01 00:00:00.000", "1999-12-31 23:59:59.999",
    "2000-02-28 12:00:00.500", "2000-02-29 12:00:00.500", "2000-03-01 00:00:00.000", "2008-01-31 23:59:59.999",
    "2008-02-29 00:00:00.000", "2008-03-01 00:00:00.000", "2023-12-31 23:30:00.250", "2024-01-01 00:00:00.000",
    "2024-01-15 12:30:00.250", "2024-02-28 22:30:00.000", "2024-02-29 23:59:59.999", "2024-03-10 10:00:10.200",
    "2024-12-31 23:59:59.999", "2100-02-28 12:00:00.001", "2899-12-31 00:00:00.000", "2899-12-31 23:59:59.999",
};
constexpr long long kAmounts[] = {0, 1, 29, 30, 59, 60, 90, 365, 366, 999, 1000, 1440, 1500, 86400, 525600, 999999999};

// Keys of the char column, with one that begins with '@' (which the library would take for the name of a
// file of keys were it the list's first); and of the varchar column, whose blanks count.
constexpr const char* kCharKeys[] = {"a", "b", "c", "ab", "@a", ""};
constexpr const char* kVarKeys[] = {"a", "a ", " a", "b", "ab", ""};

class Random : public testing::Draws {
 public:
  using Draws::Draws;
  long long Integer(const OracleColumn& c) {
    static constexpr long long kCommon[] = {-100, -50, -3, -1, 0, 0, 1, 2, 3, 7, 30, 50, 100, 130, 65535, 2147483648LL};
    long long v;
    switch (Below(5)) {
      case 0: v = c.low; break;
      case 1: v = c.high; break;
      default: v = Of(kCommon); break;
    }
    return std::clamp(v, c.low, c.high);
  }
};

// SQLite's own answer to an expression over no table.
std::optional<std::string> SqlText(sqlite3* db, const std::string& expression) {
  sqlite3_stmt* statement = nullptr;
  const std::string query = "SELECT " + expression;
  std::optional<std::string> text;
  if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW &&
      sqlite3_column_type(statement, 0) != SQLITE_NULL) {
    text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  }
  sqlite3_finalize(statement);
  return text;
}


// An increment as MKTIME takes it and as SQLite's modifier says it.
struct Increment {
  std::string text;  // +90M
  std::string modifier;  // +90 minutes
};

Increment DrawIncrement(Random& random) {
  const long long amount = random.Of(kAmounts);
  const int sign = random.Below(3);  // +, -, none (adds)
  const char unit = "DHMST"[random.Below(5)];
  Increment increment;
  increment.text = std::string(sign == 0 ? "+" : sign == 1 ? "-" : "") + std::to_string(amount) +
                   static_cast<char>(random.OneIn(5) ? std::tolower(unit) : unit);
  const char direction = sign == 1 ? '-' : '+';
  char modifier[64];
  switch (unit) {
    case 'D': std::snprintf(modifier, sizeof modifier, "%c%lld days", direction, amount); break;
    case 'H': std::snprintf(modifier, sizeof modifier, "%c%lld hours", direction, amount); break;
    case 'M': std::snprintf(modifier, sizeof modifier, "%c%lld minutes", direction, amount); break;
    case 'S': std::snprintf(modifier, sizeof modifier, "%c%lld seconds", direction, amount); break;
    default: std::snprintf(modifier, sizeof modifier, "%c%lld.%03lld seconds", direction, amount / 1000, amount % 1000); break;
  }
  increment.modifier = modifier;
  return increment;
}

constexpr const char* kFormat = "'%Y-%m-%d %H:%M:%f'";
constexpr const char* kFirstTime = "'1900-01-01 00:00:00.000'";
constexpr const char* kLastTime = "'2899-12-31 23:59:59.999'";

// MKTIME(column, increment) in SQL: no value for a blank column or a result the library's years do not hold.
std::string MktimeSql(const std::string& column, const Increment& increment) {
  const std::string moved = std::string("strftime(") + kFormat + ", " + column + ", " + Quoted(increment.modifier) + ")";
  return "(CASE WHEN " + moved + " BETWEEN " + kFirstTime + " AND " + kLastTime + " THEN " + moved + " END)";
}

// A timestamp as people write it: whole, without the parts that are zero, with 'T', or as the 16 digits.
std::string WrittenTimestamp(Random& random, const std::string& time) {
  switch (random.Below(4)) {
    case 0: return TimestampDigits(time);
    case 1: {
      std::string text = time;
      if (text.ends_with(".000")) text.resize(text.size() - 4);
      if (text.size() == 19 && text.ends_with(":00")) text.resize(text.size() - 3);
      if (text.ends_with(" 00:00")) text.resize(text.size() - 6);
      return text;
    }
    case 2: return time.substr(0, 10) + "T" + time.substr(11);
    default: return time;
  }
}

// One row's fields in schema order, as CSV text; `sample` counts from 1.
struct OracleRow {
  int sample;
  std::vector<std::string> fields;  // as SQL holds them
  std::vector<std::string> csv;     // as the sample's CSV spells them
};

// A timestamp field: one of the edges, blank now and then, or another moved by an increment so that a
// column is often exactly MKTIME of another.
std::string DrawTimestamp(Random& random, sqlite3* db) {
  if (random.OneIn(10)) return "";
  std::string time = random.Of(kTimestamps);
  if (random.OneIn(3)) {
    const Increment increment = DrawIncrement(random);
    if (auto moved = SqlText(db, MktimeSql(Quoted(time), increment))) time = *moved;
  }
  return time;
}

std::vector<OracleRow> DrawRows(Random& random, sqlite3* db, int samples) {
  std::vector<OracleRow> rows;
  int id = 0;
  for (int s = 1; s <= samples; ++s) {
    // Each sample holds some of the keys, so that keys come, repeat, go missing and come back.
    std::vector<std::string> keys;
    for (const char* key : kCharKeys) {
      if (!random.OneIn(3)) keys.push_back(key);
    }
    if (keys.empty()) keys.push_back("a");
    const int count = random.OneIn(12) ? 0 : 4 + random.Below(9);
    for (int r = 0; r < count; ++r) {
      OracleRow row{s, {}, {}};
      for (const OracleColumn& c : kColumns) {
        const std::string name = c.name;
        if (name == "ID") {
          row.fields.push_back(std::to_string(++id));
        } else if (name == "K") {
          row.fields.push_back(keys[static_cast<std::size_t>(random.Below(static_cast<int>(keys.size())))]);
        } else if (name == "V") {
          row.fields.push_back(random.Of(kVarKeys));
        } else if (name == "G") {
          row.fields.push_back(std::to_string(random.Below(2)));
        } else if (c.type == Type::kTime) {
          row.fields.push_back(DrawTimestamp(random, db));
        } else if (c.type == Type::kReal) {
          row.fields.push_back(random.Of(kDoubles));
        } else {
          row.fields.push_back(std::to_string(random.Integer(c)));
        }
      }
      row.csv = row.fields;
      for (std::size_t i = 0; i < kColumnCount; ++i) {
        if (kColumns[i].type == Type::kTime && !row.fields[i].empty()) {
          row.csv[i] = WrittenTimestamp(random, row.fields[i]);
        }
      }
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

std::vector<Sample> SamplesOf(const std::vector<OracleRow>& rows, int samples) {
  std::vector<std::string> header;
  for (const OracleColumn& c : kColumns) header.push_back(c.name);
  std::vector<Sample> out;
  for (int s = 1; s <= samples; ++s) {
    std::vector<std::vector<std::string>> table{header};
    for (const OracleRow& row : rows) {
      if (row.sample == s) table.push_back(row.csv);
    }
    out.push_back(CsvSample("sample" + std::to_string(s), table));
  }
  return out;
}

// ---------------------------------------------------------------------------------------------------------
// The same rows in SQLite.


// The key's previous value for CHANGE(column) by the key columns: the value of the key's previous row, when
// that row was in the same sample or the one before.
std::string PreviousValueSql(const char* column, const char* window) {
  return std::string("CASE WHEN LAG(sample) OVER ") + window + " IN (sample, sample - 1) THEN LAG(" + column +
         ") OVER " + window + " END";
}

void Load(Database& database, const std::vector<OracleRow>& rows, int samples) {
  std::string create = "CREATE TABLE r(sample INTEGER";
  for (const OracleColumn& c : kColumns) {
    create += std::string(", ") + c.name + (c.type == Type::kInteger ? " INTEGER" : c.type == Type::kReal ? " REAL" : " TEXT");
  }
  database.Execute(create + ")");
  sqlite3_stmt* insert = nullptr;
  std::string text = "INSERT INTO r VALUES(?";
  for (std::size_t i = 0; i < kColumnCount; ++i) text += ", ?";
  ASSERT_EQ(sqlite3_prepare_v2(database.db, (text + ")").c_str(), -1, &insert, nullptr), SQLITE_OK);
  for (const OracleRow& row : rows) {
    sqlite3_bind_int(insert, 1, row.sample);
    for (std::size_t i = 0; i < kColumnCount; ++i) {
      const std::string& field = row.fields[i];
      const int at = static_cast<int>(i) + 2;
      switch (kColumns[i].type) {
        case Type::kInteger: sqlite3_bind_int64(insert, at, std::strtoll(field.c_str(), nullptr, 10)); break;
        case Type::kReal: sqlite3_bind_double(insert, at, std::strtod(field.c_str(), nullptr)); break;
        case Type::kText:
        case Type::kTime: sqlite3_bind_text(insert, at, field.c_str(), -1, SQLITE_TRANSIENT); break;
      }
    }
    EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  // The previous values once, by K and by K and G.
  database.Execute("CREATE TABLE t AS SELECT *, " + PreviousValueSql("X", "byK") + " AS XbyK, " +
                   PreviousValueSql("W", "byK") + " AS WbyK, " + PreviousValueSql("X", "byKG") + " AS XbyKG, " +
                   PreviousValueSql("W", "byKG") + " AS WbyKG FROM r WINDOW byK AS (PARTITION BY K ORDER BY sample, ID), "
                   "byKG AS (PARTITION BY K, G ORDER BY sample, ID)");
  database.Execute("CREATE TABLE samples(n INTEGER)");
  for (int s = 1; s <= samples; ++s) database.Execute("INSERT INTO samples VALUES(" + std::to_string(s) + ")");
}

// ---------------------------------------------------------------------------------------------------------
// The random predicates.

using testing::Predicate;

// Asked IS TRUE, so that a comparison of no value is false and NOT makes it true.
Predicate Atom(const std::string& vexfilt, const std::string& sql) { return {vexfilt, "((" + sql + ") IS TRUE)"}; }

std::string NumberLiteral(Random& random, const OracleColumn& column) {
  if (column.type == Type::kReal) return random.Of(kDoubles);
  return std::to_string(random.Integer(column));
}

// A number column against a number of its kind, or against any number column.
Predicate NumberComparison(Random& random) {
  const OracleColumn& column = ColumnNamed(random.Of(kNumberColumns));
  const std::string op = random.Of(kOperators);
  const std::string right = random.OneIn(2) ? std::string(random.Of(kNumberColumns)) : NumberLiteral(random, column);
  const std::string text = std::string(column.name) + " " + op + " " + right;
  return Atom(text, text);
}

// A timestamp column or MKTIME of one against a timestamp, or a column against a column or MKTIME of one.
Predicate TimeComparison(Random& random, sqlite3* db) {
  const std::string op = random.Of(kOperators);
  const std::string column = random.OneIn(2) ? "T" : "U";
  const std::string other = random.OneIn(2) ? "T" : "U";
  const Increment increment = DrawIncrement(random);
  const std::string mktime = "MKTIME(" + other + ", '" + increment.text + "')";
  const std::string mktimeSql = MktimeSql(other, increment);
  std::string time = random.Of(kTimestamps);
  if (random.OneIn(2)) {
    if (auto moved = SqlText(db, MktimeSql(Quoted(time), DrawIncrement(random)))) time = *moved;
  }
  const std::string literal = "'" + WrittenTimestamp(random, time) + "'";
  switch (random.Below(5)) {
    case 0: return Atom(column + " " + op + " " + literal, column + " " + op + " " + Quoted(time));
    case 1: return Atom(column + " " + op + " " + other, column + " " + op + " " + other);
    case 2: return Atom(mktime + " " + op + " " + literal, mktimeSql + " " + op + " " + Quoted(time));
    case 3: return Atom(column + " " + op + " " + mktime, column + " " + op + " " + mktimeSql);
    default: return Atom(mktime + " " + op + " " + column, mktimeSql + " " + op + " " + column);
  }
}

// CHANGE or PCTCHANGE of X or W against a number between the int32 bounds: often one of the changes the
// rows make, or one next to it, so that the percent's truncation and the edges of each comparison show.
Predicate ChangeComparison(Random& random, sqlite3* db, bool byKeyAndG) {
  static constexpr long long kChanges[] = {-2147483647, -100, -50, -34, -33, -1, 0, 0, 1, 2, 30, 33, 50, 100, 2147483646};
  const bool percent = random.OneIn(2);
  const std::string column = random.OneIn(2) ? "X" : "W";
  const std::string op = random.Of(kOperators);
  const std::string previous = column + (byKeyAndG ? "byKG" : "byK");
  const std::string change = "(" + column + " - " + previous + ")";
  const std::string sql = "(" + (percent ? "CASE WHEN " + previous + " = 0 THEN 0 ELSE " + change + " * 100 / " + previous + " END"
                                         : change) + ")";
  long long number = random.OneIn(4) ? random.Below(201) - 100 : random.Of(kChanges);
  if (random.OneIn(2)) {
    sqlite3_stmt* statement = nullptr;
    const std::string query = "SELECT DISTINCT " + sql + " FROM t WHERE " + sql + " BETWEEN -2147483646 AND 2147483645";
    std::vector<long long> made;
    EXPECT_EQ(sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr), SQLITE_OK) << query;
    while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) made.push_back(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    if (!made.empty()) number = made[static_cast<std::size_t>(random.Below(static_cast<int>(made.size())))] + random.Below(3) - 1;
  }
  return Atom(std::string(percent ? "PCTCHANGE(" : "CHANGE(") + column + ") " + op + " " + std::to_string(number),
              sql + " " + op + " " + std::to_string(number));
}

struct Drawer {
  Random& random;
  sqlite3* db;
  bool byKeyAndG;
  bool changeDrawn = false;

  Predicate Leaf() {
    if (!changeDrawn && random.OneIn(5)) {
      changeDrawn = true;
      return ChangeComparison(random, db, byKeyAndG);
    }
    return random.OneIn(2) ? NumberComparison(random) : TimeComparison(random, db);
  }

  Predicate Draw() { return testing::Nested(random, 3, [this] { return Leaf(); }); }
};

// Expected keys: the vexfilt list and the SQL that names the samples missing each.
struct Keys {
  std::string vexfilt;
  std::string sql;  // rows of "sample:key", sorted
};

Keys DrawKeys(Random& random) {
  const bool fixed = random.OneIn(2);
  const char* column = fixed ? "K" : "V";
  std::string list, values;
  const int count = 1 + random.Below(4);
  bool plain = false;
  for (int i = 0; i < count || !plain; ++i) {
    // An empty key is refused; "zz" no row holds. In the char column a key's trailing blanks are padding.
    std::string key = fixed ? random.Of(kCharKeys) : random.Of(kVarKeys);
    if (key.empty() || random.OneIn(6)) key = "zz";
    if (fixed && key == "a" && random.OneIn(3)) key = "a ";
    plain = plain || key.front() != '@';
    list += (list.empty() ? "" : ", ") + Quoted(key);
    std::string held = key;
    while (fixed && !held.empty() && held.back() == ' ') held.pop_back();
    values += (values.empty() ? "" : ", ") + ("(" + Quoted(held) + ")");
  }
  return {std::string("KEYS(") + column + ") IN (" + list + ")",
          "SELECT DISTINCT samples.n || ':' || e.column1 FROM samples, (VALUES " + values +
              ") AS e WHERE NOT EXISTS (SELECT 1 FROM t WHERE t.sample = samples.n AND t." + column +
              " = e.column1) ORDER BY 1"};
}

// ---------------------------------------------------------------------------------------------------------
// The oracle.

std::string Describe(const OracleRow& row) {
  std::string text = "sample " + std::to_string(row.sample) + ":";
  for (std::size_t i = 0; i < kColumnCount; ++i) text += std::string(i ? ", " : " ") + kColumns[i].name + "=" + Quoted(row.fields[i]);
  return text;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : " ") + Quoted(item);
  return "{" + text + "}";
}

// SQL reads a double's text as strtod does, or the literals would not say the same in both.
void ExpectSqlReadsDoublesAsStrtod() {
  Database database;
  for (const char* text : kDoubles) {
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(database.db, (std::string("SELECT ") + text).c_str(), -1, &statement, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_double(statement, 0), std::strtod(text, nullptr)) << text;
    sqlite3_finalize(statement);
  }
}

// Runs `count` random predicates, each set of `perRows` of them over new random rows in `sampleCount`
// samples; returns how many agreed.
int AgreeingPredicates(unsigned seed, int count, int sampleCount, int perRows) {
  const testing::UtcZone utc;
  const QuietLibrary quiet;
  ExpectSqlReadsDoublesAsStrtod();
  Random random(seed);
  int agreeing = 0;
  for (int first = 0; first < count; first += perRows) {
    Database database;
    const std::vector<OracleRow> rows = DrawRows(random, database.db, sampleCount);
    const std::vector<Sample> samples = SamplesOf(rows, sampleCount);
    Load(database, rows, sampleCount);
    for (int n = first; n < std::min(count, first + perRows); ++n) {
      Drawer drawer{random, database.db, random.OneIn(3)};
      Predicate predicate = drawer.Draw();
      std::optional<Keys> keys;
      if (random.OneIn(4)) {
        keys = DrawKeys(random);
        predicate.vexfilt = random.OneIn(2) ? keys->vexfilt + " AND (" + predicate.vexfilt + ")"
                                            : "(" + predicate.vexfilt + ") AND " + keys->vexfilt;
      }
      const RunOutput output = Run(kSchemaText, predicate.vexfilt, drawer.byKeyAndG ? std::vector<std::string>{"K", "G"} : std::vector<std::string>{"K"}, samples);
      std::vector<long> expected;
      for (const std::string& id : database.Column("SELECT ID FROM t WHERE " + predicate.sql + " ORDER BY ID")) {
        expected.push_back(std::strtol(id.c_str(), nullptr, 10));
      }
      std::vector<std::vector<std::string>> expectedMissing(static_cast<std::size_t>(sampleCount));
      if (keys) {
        for (const std::string& entry : database.Column(keys->sql)) {
          const std::size_t colon = entry.find(':');
          expectedMissing[std::strtoul(entry.c_str(), nullptr, 10) - 1].push_back(entry.substr(colon + 1));
        }
        for (auto& missing : expectedMissing) std::sort(missing.begin(), missing.end());
      }
      const bool ran = (output.status == 0 || output.status == 1) && output.error.empty();
      if (ran && output.ids == expected && output.missing == expectedMissing) {
        ++agreeing;
        continue;
      }
      std::string differing;
      if (!ran) differing += "\n  the run: status " + std::to_string(output.status) + ", " + output.error;
      for (const OracleRow& row : rows) {
        const long id = std::strtol(row.fields[0].c_str(), nullptr, 10);
        const bool program = std::count(output.ids.begin(), output.ids.end(), id) > 0;
        const bool sql = std::count(expected.begin(), expected.end(), id) > 0;
        if (ran && program != sql) differing += "\n  " + Describe(row) + ": SQLite " + (sql ? "holds" : "fails");
      }
      for (std::size_t s = 0; ran && s < expectedMissing.size(); ++s) {
        if (output.missing[s] != expectedMissing[s]) {
          differing += "\n  sample " + std::to_string(s + 1) + " missing " + Joined(output.missing[s]) + ", SQLite " +
                       Joined(expectedMissing[s]);
        }
      }
      ADD_FAILURE() << "seed " << seed << ", predicate " << n << ", key " << (drawer.byKeyAndG ? "K,G" : "K") << ": "
                    << predicate.vexfilt << "\n  SQL: " << predicate.sql << (keys ? "\n  keys: " + keys->sql : "")
                    << differing;
      return agreeing;  // the first disagreement is the one to look at
    }
  }
  return agreeing;
}

TEST(VexfiltSqlOracleSamples, RandomPredicatesOverSamplesAnswerAsSqliteDoes) {
  const unsigned seed = FromEnvironment("VEXFILT_ORACLE_SEED", 17);
  const int count = static_cast<int>(FromEnvironment("VEXFILT_ORACLE_PREDICATES", 6000));
  EXPECT_EQ(AgreeingPredicates(seed, count, 4, 50), count);
}

// ---------------------------------------------------------------------------------------------------------
// Cases kept by name: the edges the oracle walks over, and what it found.

using Table = std::vector<std::vector<std::string>>;  // a sample: the header, then the rows

// The run of `predicate` over the samples, which the caller expects to compile and run.
RunOutput RunTables(const char* schemaText, const std::string& predicate, const std::vector<Table>& tables,
                    const std::vector<std::string>& keyColumns = {}) {
  std::vector<Sample> samples;
  for (const Table& table : tables) samples.push_back(CsvSample("sample" + std::to_string(samples.size() + 1), table));
  RunOutput output = Run(schemaText, predicate, keyColumns, samples);
  EXPECT_TRUE(output.status == 0 || output.status == 1) << predicate << ": " << output.error;
  return output;
}

std::vector<long> MatchingIds(const char* schemaText, const std::string& predicate, const std::vector<Table>& tables,
                              const std::vector<std::string>& keyColumns = {}) {
  return RunTables(schemaText, predicate, tables, keyColumns).ids;
}

// The compile error of a predicate the program refuses.
std::string Refusal(const char* schemaText, const std::string& predicate, const std::vector<std::string>& keyColumns = {}) {
  const Schema schema = ParsedSchema(schemaText);
  CompileOptions options;
  options.keyColumns = keyColumns;
  CompileError error;
  EXPECT_FALSE(CompilePredicate(predicate, schema, options, &error).has_value()) << predicate;
  return error.message;
}

// A narrower number column last in the record, on the right of a comparison, used to get the plan refused:
// creation checked the right column's reads as wide as the left column's type.
TEST(VexfiltSqlOracleSamples, NumberColumnsOfDifferentWidthsCompareAtTheEndOfTheRecord) {
  const char* schema = "ID int32, D double, A int32, W uint32, H int16";
  const Table rows = {{"ID", "D", "A", "W", "H"},
                      {"1", "2.5", "3", "3", "3"},
                      {"2", "-0.5", "-1", "5", "-1"},
                      {"3", "1e300", "0", "4000000000", "32767"},
                      {"4", "3", "3", "0", "-32768"}};
  EXPECT_EQ(MatchingIds(schema, "A < H", {rows}), (std::vector<long>{3}));
  EXPECT_EQ(MatchingIds(schema, "A >= H", {rows}), (std::vector<long>{1, 2, 4}));
  EXPECT_EQ(MatchingIds(schema, "D >= H", {rows}), (std::vector<long>{2, 3, 4}));
  EXPECT_EQ(MatchingIds(schema, "W = H", {rows}), (std::vector<long>{1}));
  EXPECT_EQ(MatchingIds(schema, "W > H", {rows}), (std::vector<long>{2, 3, 4}));
  EXPECT_EQ(MatchingIds(schema, "D < W", {rows}), (std::vector<long>{1, 2}));
  EXPECT_EQ(MatchingIds(schema, "D <> A", {rows}), (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(MatchingIds(schema, "H <= D", {rows}), (std::vector<long>{2, 3, 4}));
}

// The search stops at the first entry a row matches, so a key given twice (or twice after a char column's
// padding goes) used to leave its second entry unmarked and reported missing.
TEST(VexfiltSqlOracleSamples, ExpectedKeysGivenTwiceAreMissingOnlyWhenNoRowHasThem) {
  const char* schema = "ID int32, K char(4), V varchar(4)";
  const std::vector<Table> samples = {{{"ID", "K", "V"}, {"1", "a", "a"}, {"2", "b", "a "}},
                                      {{"ID", "K", "V"}, {"3", "a", "a "}},
                                      {{"ID", "K", "V"}, {"4", "b", "b"}}};
  RunOutput output = RunTables(schema, "KEYS(K) IN ('a', 'a', 'a ', 'c') AND ID > 100", samples);
  EXPECT_EQ(output.ids, (std::vector<long>{}));
  EXPECT_EQ(output.missing, (std::vector<std::vector<std::string>>{{"c"}, {"c"}, {"a", "c"}}))
      << "a key is missing when no row has it, whether or not a row matches the rest";
  output = RunTables(schema, "ID < 4 AND KEYS(V) IN ('a ', 'a', 'a ')", samples);
  EXPECT_EQ(output.ids, (std::vector<long>{1, 2, 3}));
  EXPECT_EQ(output.missing, (std::vector<std::vector<std::string>>{{}, {"a"}, {"a", "a "}}))
      << "a varchar key keeps its blanks";
}

// The library reads a first key that begins with '@' as the name of a file of keys; the list used to be
// replaced by the file's lines.
TEST(VexfiltSqlOracleSamples, AKeyThatBeginsWithAnAtIsAKeyNotAFileName) {
  char path[] = "/tmp/vexfilt-keys-XXXXXX";
  const int descriptor = mkstemp(path);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(write(descriptor, "x\n", 2), 2);
  close(descriptor);
  const char* schema = "ID int32, K char(32)";
  const std::string named = std::string("@") + path;
  const RunOutput output =
      RunTables(schema, "KEYS(K) IN ('" + named + "', 'ab', '@b') AND K = 'ab'", {{{"ID", "K"}, {"1", "ab"}, {"2", "@b"}}});
  unlink(path);
  EXPECT_EQ(output.ids, (std::vector<long>{1}));
  EXPECT_EQ(output.missing, (std::vector<std::vector<std::string>>{{named}}));
  EXPECT_NE(Refusal(schema, "KEYS(K) IN ('@a', '@b')").find("begins with '@'"), std::string::npos);
}

// The library computes a change exactly and caps it at the int32 bounds; a number strictly between them
// compares with the capped change as with the change itself, the bounds do not, and are refused.
TEST(VexfiltSqlOracleSamples, ChangesAreComparedWithNumbersInsideTheInt32Bounds) {
  const char* schema = "ID int32, K char(4), X int32, W uint32";
  const std::vector<Table> samples = {{{"ID", "K", "X", "W"}, {"1", "a", "2147483647", "0"}, {"2", "b", "0", "1"}},
                                      {{"ID", "K", "X", "W"}, {"3", "a", "-2147483648", "4294967295"},
                                       {"4", "b", "2147483647", "2147483648"}}};
  EXPECT_EQ(MatchingIds(schema, "CHANGE(W) > 2147483646", samples, {"K"}), (std::vector<long>{3, 4}));
  EXPECT_EQ(MatchingIds(schema, "CHANGE(X) < -2147483647", samples, {"K"}), (std::vector<long>{3}));
  EXPECT_EQ(MatchingIds(schema, "CHANGE(X) > 2147483646", samples, {"K"}), (std::vector<long>{4}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(W) > 2147483646", samples, {"K"}), (std::vector<long>{4}))
      << "a's previous W was 0: its percent is 0";
  for (const char* refused : {"CHANGE(W) = 2147483647", "CHANGE(X) >= -2147483648", "PCTCHANGE(X) < 2147483647"}) {
    EXPECT_NE(Refusal(schema, refused, {"K"}).find("from -2147483647 to 2147483646"), std::string::npos) << refused;
  }
}

// The change is against the key's previous row when that was in this sample or the one before; the percent
// is truncated towards zero, and 0 after a previous 0; a key's first sample, and its first after a sample
// without it, give no change.
TEST(VexfiltSqlOracleSamples, ChangeIsAgainstTheKeysPreviousRowInThisSampleOrTheOneBefore) {
  const char* schema = "ID int32, K char(4), X int32, W uint32";
  const std::vector<Table> samples = {
      {{"ID", "K", "X", "W"}, {"1", "a", "100", "3"}, {"2", "b", "0", "0"}, {"3", "c", "3", "3"}},
      {{"ID", "K", "X", "W"}, {"4", "a", "130", "2"}, {"5", "a", "65", "3"}, {"6", "b", "50", "7"}},
      {{"ID", "K", "X", "W"}, {"7", "c", "4", "4"}, {"8", "a", "-65", "4"}},
      {{"ID", "K", "X", "W"}, {"9", "b", "50", "1"}, {"10", "c", "2", "5"}, {"11", "a", "-2147483648", "4294967295"}}};
  const std::vector<std::string> byK = {"K"};
  EXPECT_EQ(MatchingIds(schema, "CHANGE(X) > -1000", samples, byK), (std::vector<long>{4, 5, 6, 8, 10}));
  EXPECT_EQ(MatchingIds(schema, "NOT CHANGE(X) > -1000", samples, byK), (std::vector<long>{1, 2, 3, 7, 9, 11}));
  EXPECT_EQ(MatchingIds(schema, "CHANGE(X) = -65", samples, byK), (std::vector<long>{5}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(X) = -50", samples, byK), (std::vector<long>{5, 10}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(X) = 0", samples, byK), (std::vector<long>{6}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(X) > 2147483646", samples, byK), (std::vector<long>{11}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(W) = -33", samples, byK), (std::vector<long>{4}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(W) = 33", samples, byK), (std::vector<long>{8}));
  EXPECT_EQ(MatchingIds(schema, "PCTCHANGE(W) >= 25", samples, byK), (std::vector<long>{5, 8, 10, 11}));
  EXPECT_EQ(MatchingIds(schema, "CHANGE(W) < 0", samples, byK), (std::vector<long>{4}));
}

// The change function goes first, so that it sees every row: a row the rest of the predicate decides alone
// still leaves its value for the key's next change.
TEST(VexfiltSqlOracleSamples, ChangeSeesTheRowsTheRestOfThePredicateDecides) {
  const char* schema = "ID int32, K char(4), X int32";
  const std::vector<std::string> byK = {"K"};
  EXPECT_EQ(MatchingIds(schema, "X > 50 OR CHANGE(X) < -5", {{{"ID", "K", "X"}, {"1", "a", "60"}},
                                                            {{"ID", "K", "X"}, {"2", "a", "40"}}}, byK),
            (std::vector<long>{1, 2}));
  EXPECT_EQ(MatchingIds(schema, "CHANGE(X) > 10 OR K = 'x'",
                        {{{"ID", "K", "X"}, {"1", "a", "10"}, {"2", "b", "50"}, {"3", "x", "1"}},
                         {{"ID", "K", "X"}, {"4", "a", "30"}, {"5", "b", "55"}}}, byK),
            (std::vector<long>{3, 4}));
}

struct MovedTime {
  const char* time;
  const char* increment;
  const char* modifier;  // SQLite's for the increment
  const char* result;    // empty: MKTIME gives no value
};

// Milliseconds carry into seconds and borrow from them, days cross months and years, leap days come in
// leap years only (1900 and 2100 are none), and a result outside the years 1900 to 2899 is no value. SQLite
// moves each the same way.
TEST(VexfiltSqlOracleSamples, MktimeMovesAcrossMonthsYearsAndLeapDays) {
  const testing::UtcZone utc;
  const QuietLibrary quiet;
  const MovedTime cases[] = {
      {"2008-01-31 23:59:59.999", "+1T", "+0.001 seconds", "2008-02-01 00:00:00.000"},
      {"2008-03-01 00:00:00.000", "-1D", "-1 days", "2008-02-29 00:00:00.000"},
      {"1900-02-28 12:00:00.000", "+1D", "+1 days", "1900-03-01 12:00:00.000"},
      {"2100-02-28 00:00:00.000", "+24H", "+24 hours", "2100-03-01 00:00:00.000"},
      {"2000-02-28 00:00:00.000", "+1D", "+1 days", "2000-02-29 00:00:00.000"},
      {"2024-03-10 10:00:10.200", "-1500T", "-1.500 seconds", "2024-03-10 10:00:08.700"},
      {"2023-12-31 23:30:00.250", "+90M", "+90 minutes", "2024-01-01 01:00:00.250"},
      {"2024-01-15 12:30:00.250", "90m", "+90 minutes", "2024-01-15 14:00:00.250"},
      {"2024-02-29 00:00:00.000", "+525600M", "+525600 minutes", "2025-02-28 00:00:00.000"},
      {"2024-12-31 23:59:59.999", "+1S", "+1 seconds", "2025-01-01 00:00:00.999"},
      {"2899-12-31 23:59:59.999", "+1T", "+0.001 seconds", ""},
      {"1900-01-01 00:00:00.000", "-1T", "-0.001 seconds", ""},
      {"2024-01-01 00:00:00.000", "+999999999D", "+999999999 days", ""},
      {"", "+1D", "+1 days", ""},
  };
  const char* schema = "ID int32, T timestamp";
  Database database;
  for (const MovedTime& c : cases) {
    const std::string what = std::string(c.time) + " " + c.increment;
    const Table table = {{"ID", "T"}, {"1", c.time}};
    const std::string mktime = std::string("MKTIME(T, '") + c.increment + "')";
    const std::string result = c.result;
    const std::vector<long> row = {1}, none = {};
    if (!result.empty()) {
      EXPECT_EQ(MatchingIds(schema, mktime + " = '" + result + "'", {table}), row) << what;
      EXPECT_EQ(MatchingIds(schema, "T < " + mktime, {table}), c.increment[0] == '-' ? none : row) << what;
    } else {
      EXPECT_EQ(MatchingIds(schema, mktime + " >= '1900-01-01'", {table}), none) << what;
      EXPECT_EQ(MatchingIds(schema, "NOT " + mktime + " >= '1900-01-01'", {table}), row)
          << "no value: the comparison is false and NOT makes it true; " << what;
    }
    const auto sql = SqlText(database.db, MktimeSql(Quoted(c.time), Increment{c.increment, c.modifier}));
    EXPECT_EQ(sql.value_or(""), result) << what;
  }
}

// Doubles compare as numbers: the two zeros are equal, and an integer column meets a double exactly.
TEST(VexfiltSqlOracleSamples, DoublesCompareAsNumbers) {
  const char* schema = "ID int32, D double, E double, A int32";
  const Table rows = {{"ID", "D", "E", "A"},
                      {"1", "0", "-0", "0"},
                      {"2", "-0.5", "-0.5", "-1"},
                      {"3", "1e300", "-1e300", "2147483647"},
                      {"4", "2147483647", "0.1", "2147483647"}};
  EXPECT_EQ(MatchingIds(schema, "D = E", {rows}), (std::vector<long>{1, 2}));
  EXPECT_EQ(MatchingIds(schema, "D = -0", {rows}), (std::vector<long>{1}));
  EXPECT_EQ(MatchingIds(schema, "E >= 0", {rows}), (std::vector<long>{1, 4}));
  EXPECT_EQ(MatchingIds(schema, "D > A", {rows}), (std::vector<long>{2, 3}));
  EXPECT_EQ(MatchingIds(schema, "A = D", {rows}), (std::vector<long>{1, 4}));
  EXPECT_EQ(MatchingIds(schema, "E < -1e299", {rows}), (std::vector<long>{3}));
  EXPECT_EQ(MatchingIds(schema, "E = 0.1", {rows}), (std::vector<long>{4}));
}

}  // namespace
}  // namespace vexfilt::cli
