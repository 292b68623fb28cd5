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
// change skips or repeats; SQLite's arithmetic knows no zone). The cases it found are kept in
// tests/data/predicates.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "schema.h"
#include "sql_oracle.h"
#include "test_support.h"

namespace vexfilt::cli {
namespace {

using testing::Predicate;
using testing::Quoted;

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
constexpr int kNumberColumns[] = {3, 4, 5, 6, 7, 8, 11};  // G, X, W, D, E, A, H
constexpr const char* kOperators[] = {"=", "<>", "<", ">", "<=", ">="};

// Doubles that make ties and edges: zeros of both signs, a half, the far ends, integers the integer columns
// hold too, and a value no binary fraction is; some spelled as people also write them.
constexpr const char* kDoubles[] = {"0",   "-0",     "-0.5",       "0.5",         "1e300", "-1e300",     "1",
                                    "2",   "3",      "-3",         "2.5",         "0.1",   "100",        "65535",
                                    "-1",  "1e-300", "4294967295", "-2147483648", "32767", "2147483647", ".5",
                                    "-.5", "+2.5",   "1E300",      "5e-1",        "-0.0",  "3.0"};

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
    switch (Below(5)) {
      case 0: return c.low;
      case 1: return c.high;
      default: return std::clamp(Of(kCommon), c.low, c.high);
    }
  }
};

// SQLite's own answer to an expression over no table.
std::optional<std::string> SqlText(sqlite3* db, const std::string& expression) {
  sqlite3_stmt* statement = nullptr;
  const std::string query = "SELECT " + expression;
  std::optional<std::string> text;
  if (sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL) {
    text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  }
  sqlite3_finalize(statement);
  return text;
}

// An increment as MKTIME takes it (+90M) and as SQLite's modifier says it (+90 minutes).
struct Increment {
  std::string text, modifier;
};

Increment DrawIncrement(Random& random) {
  const long long amount = random.Of(kAmounts);
  const int sign = random.Below(3);  // +, -, none (adds)
  const char unit = "DHMST"[random.Below(5)];
  Increment increment;
  increment.text = std::string(sign == 0   ? "+"
                               : sign == 1 ? "-"
                                           : "") +
                   std::to_string(amount) + static_cast<char>(random.OneIn(5) ? std::tolower(unit) : unit);
  char modifier[64];
  const char* names[] = {"days", "hours", "minutes", "seconds"};
  if (unit == 'T') {
    std::snprintf(modifier, sizeof modifier, "%c%lld.%03lld seconds", sign == 1 ? '-' : '+', amount / 1000,
                  amount % 1000);
  } else {
    std::snprintf(modifier, sizeof modifier, "%c%lld %s", sign == 1 ? '-' : '+', amount,
                  names[std::string_view("DHMS").find(unit)]);
  }
  increment.modifier = modifier;
  return increment;
}

// MKTIME(column, increment) in SQL: no value for a blank column or a result the library's years do not hold.
std::string MktimeSql(const std::string& column, const Increment& increment) {
  const std::string moved = "strftime('%Y-%m-%d %H:%M:%f', " + column + ", " + Quoted(increment.modifier) + ")";
  return "(CASE WHEN " + moved + " BETWEEN '1900-01-01 00:00:00.000' AND '2899-12-31 23:59:59.999' THEN " + moved +
         " END)";
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

// A timestamp field: one of the edges, blank now and then, or another moved by an increment so that a
// column is often exactly MKTIME of another.
std::string DrawTimestamp(Random& random, sqlite3* db) {
  if (random.OneIn(10)) return "";
  std::string time = random.Of(kTimestamps);
  if (random.OneIn(3)) {
    if (auto moved = SqlText(db, MktimeSql(Quoted(time), DrawIncrement(random)))) time = *moved;
  }
  return time;
}

std::vector<testing::OracleRow> DrawRows(Random& random, sqlite3* db, int samples) {
  std::vector<testing::OracleRow> rows;
  int id = 0;
  for (int s = 1; s <= samples; ++s) {
    // Each sample holds some of the keys, so that keys come, repeat, go missing and come back.
    std::vector<std::string> keys;
    for (const char* key : kCharKeys) {
      if (!random.OneIn(3)) keys.push_back(key);
    }
    if (keys.empty()) keys.push_back("a");
    for (int r = random.OneIn(12) ? 0 : 4 + random.Below(9); r > 0; --r) {
      testing::OracleRow row{s, {}, {}};
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
        } else {
          row.fields.push_back(c.type == Type::kReal ? random.Of(kDoubles) : std::to_string(random.Integer(c)));
        }
      }
      row.csv = row.fields;
      for (std::size_t i = 0; i < row.csv.size(); ++i) {
        if (kColumns[i].type == Type::kTime && !row.fields[i].empty())
          row.csv[i] = WrittenTimestamp(random, row.fields[i]);
      }
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

// The key's previous value for CHANGE(column) by the key columns: the value of the key's previous row, when
// that row was in the same sample or the one before.
std::string PreviousValueSql(const char* column, const char* window) {
  return std::string("CASE WHEN LAG(sample) OVER ") + window + " IN (sample, sample - 1) THEN LAG(" + column +
         ") OVER " + window + " END";
}

// The rows as table t, with the previous values by K and by K and G beside them, and the samples' numbers.
void Load(testing::Database& database, const std::vector<testing::SqlColumn>& columns,
          const std::vector<testing::OracleRow>& rows, int samples) {
  testing::Load(database, columns, rows);
  database.Execute("CREATE TABLE t AS SELECT *, " + PreviousValueSql("X", "byK") + " AS XbyK, " +
                   PreviousValueSql("W", "byK") + " AS WbyK, " + PreviousValueSql("X", "byKG") + " AS XbyKG, " +
                   PreviousValueSql("W", "byKG") +
                   " AS WbyKG FROM r WINDOW byK AS (PARTITION BY K ORDER BY sample, ID), "
                   "byKG AS (PARTITION BY K, G ORDER BY sample, ID)");
  database.Execute("CREATE TABLE samples(n INTEGER)");
  for (int s = 1; s <= samples; ++s) database.Execute("INSERT INTO samples VALUES(" + std::to_string(s) + ")");
}

// Asked IS TRUE, so that a comparison of no value is false and NOT makes it true.
Predicate Atom(const std::string& vexfilt, const std::string& sql) { return {vexfilt, "((" + sql + ") IS TRUE)"}; }

// A number column against a number of its kind, or against any number column.
Predicate NumberComparison(Random& random) {
  const OracleColumn& column = kColumns[random.Of(kNumberColumns)];
  const std::string op = random.Of(kOperators);
  const std::string right = random.OneIn(2)              ? kColumns[random.Of(kNumberColumns)].name
                            : column.type == Type::kReal ? random.Of(kDoubles)
                                                         : std::to_string(random.Integer(column));
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
// `shown` is the change itself as the program prints it beside a row: capped at the int32 bounds, as the
// library caps it, and empty for a key's first row.
Predicate ChangeComparison(Random& random, testing::Database& database, bool byKeyAndG, std::string* shown) {
  static constexpr long long kChanges[] = {-2147483647, -100, -50, -34, -33, -1,  0,         0,
                                           1,           2,    30,  33,  50,  100, 2147483646};
  const bool percent = random.OneIn(2);
  const std::string column = random.OneIn(2) ? "X" : "W";
  const std::string op = random.Of(kOperators);
  const std::string previous = column + (byKeyAndG ? "byKG" : "byK");
  const std::string change = "(" + column + " - " + previous + ")";
  const std::string sql =
      "(" +
      (percent ? "CASE WHEN " + previous + " = 0 THEN 0 ELSE " + change + " * 100 / " + previous + " END" : change) +
      ")";
  *shown = "IFNULL(MAX(-2147483648, MIN(2147483647, " + sql + ")), '')";
  long long number = random.OneIn(4) ? random.Below(201) - 100 : random.Of(kChanges);
  if (random.OneIn(2)) {
    const std::vector<std::string> made =
        database.Column("SELECT DISTINCT " + sql + " FROM t WHERE " + sql + " BETWEEN -2147483646 AND 2147483645");
    if (!made.empty()) {
      number = std::strtoll(made[static_cast<std::size_t>(random.Below(static_cast<int>(made.size())))].c_str(),
                            nullptr, 10) +
               random.Below(3) - 1;
    }
  }
  return Atom(std::string(percent ? "PCTCHANGE(" : "CHANGE(") + column + ") " + op + " " + std::to_string(number),
              sql + " " + op + " " + std::to_string(number));
}

// Expected keys: the vexfilt list and the SQL that names the samples missing each, as rows "sample:key".
Predicate DrawKeys(Random& random) {
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

// SQL reads a double's text as strtod does, or the literals would not say the same in both.
void ExpectSqlReadsDoublesAsStrtod() {
  testing::Database database;
  for (const char* text : kDoubles) {
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(database.db, (std::string("SELECT ") + text).c_str(), -1, &statement, nullptr),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_double(statement, 0), std::strtod(text, nullptr)) << text;
    sqlite3_finalize(statement);
  }
}

// Runs `count` random predicates, each set of `perRows` of them over new random rows in `sampleCount`
// samples; returns how many agreed.
int AgreeingPredicates(unsigned seed, int count, int sampleCount, int perRows) {
  const testing::UtcZone utc;
  const testing::QuietLibrary quiet;
  ExpectSqlReadsDoublesAsStrtod();
  std::vector<testing::SqlColumn> columns;
  for (const OracleColumn& c : kColumns) {
    columns.push_back({c.name, c.type == Type::kInteger ? "INTEGER" : c.type == Type::kReal ? "REAL" : "TEXT"});
  }
  Random random(seed);
  for (int first = 0; first < count; first += perRows) {
    testing::Database database;
    const std::vector<testing::OracleRow> rows = DrawRows(random, database.db, sampleCount);
    const std::vector<Sample> samples = testing::SamplesOf(columns, rows, sampleCount);
    Load(database, columns, rows, sampleCount);
    for (int n = first; n < std::min(count, first + perRows); ++n) {
      // A change function, at most one, is one leaf in five.
      const bool byKeyAndG = random.OneIn(3);
      bool changeDrawn = false;
      std::string changeShown;
      Predicate predicate = testing::Nested(random, 3, [&] {
        if (!changeDrawn && random.OneIn(5)) {
          changeDrawn = true;
          return ChangeComparison(random, database, byKeyAndG, &changeShown);
        }
        return random.OneIn(2) ? NumberComparison(random) : TimeComparison(random, database.db);
      });
      std::optional<Predicate> keys;
      if (random.OneIn(4)) {
        keys = DrawKeys(random);
        predicate.vexfilt = random.OneIn(2) ? keys->vexfilt + " AND (" + predicate.vexfilt + ")"
                                            : "(" + predicate.vexfilt + ") AND " + keys->vexfilt;
      }
      const std::vector<std::string> keyColumns =
          byKeyAndG ? std::vector<std::string>{"K", "G"} : std::vector<std::string>{"K"};
      const testing::RunOutput output = testing::Run(kSchemaText, predicate.vexfilt, keyColumns, samples);
      const std::vector<std::string> ids = database.Column("SELECT ID FROM t WHERE " + predicate.sql + " ORDER BY ID");
      std::vector<std::vector<std::string>> missing(static_cast<std::size_t>(sampleCount));
      for (const std::string& entry : keys ? database.Column(keys->sql) : std::vector<std::string>{}) {
        missing[std::strtoul(entry.c_str(), nullptr, 10) - 1].push_back(entry.substr(entry.find(':') + 1));
      }
      for (auto& sample : missing) std::sort(sample.begin(), sample.end());
      std::string differing = testing::Differences(output, ids, missing, columns, rows);
      // The change printed beside each row is the one SQL computes for it.
      if (differing.empty() && !changeShown.empty()) {
        const std::vector<std::string> changes =
            database.Column("SELECT " + changeShown + " FROM t WHERE " + predicate.sql + " ORDER BY ID");
        if (output.changes != changes) {
          for (std::size_t i = 0; i < changes.size() && i < output.changes.size(); ++i) {
            if (output.changes[i] == changes[i]) continue;
            differing += "\n  row " + ids[i] + ": change " + output.changes[i] + ", SQLite " + changes[i];
            break;
          }
          if (differing.empty()) differing = "\n  " + std::to_string(output.changes.size()) + " changes printed";
        }
      }
      if (!differing.empty()) {
        ADD_FAILURE() << "seed " << seed << ", predicate " << n << ", key " << (byKeyAndG ? "K,G" : "K") << ": "
                      << predicate.vexfilt << "\n  SQL: " << predicate.sql << (keys ? "\n  keys: " + keys->sql : "")
                      << differing;
        return n;  // the first disagreement is the one to look at
      }
    }
  }
  return count;
}

TEST(VexfiltSqlOracleSamples, RandomPredicatesOverSamplesAnswerAsSqliteDoes) {
  const unsigned seed = testing::FromEnvironment("VEXFILT_ORACLE_SEED", 17);
  const int count = static_cast<int>(testing::FromEnvironment("VEXFILT_ORACLE_PREDICATES", 6000));
  EXPECT_EQ(AgreeingPredicates(seed, count, 4, 50), count);
}

// The oracle's SQL moves a time as MKTIME does at the edges tests/data/predicates/samples.cases runs: across
// months, years and leap days, and out of the years 1900 to 2899, where it gives no value.
TEST(VexfiltSqlOracleSamples, SqliteMovesTimesAsMktimeDoes) {
  const char* cases[][3] = {{"2008-01-31 23:59:59.999", "+0.001 seconds", "2008-02-01 00:00:00.000"},
                            {"2008-03-01 00:00:00.000", "-1 days", "2008-02-29 00:00:00.000"},
                            {"1900-02-28 12:00:00.000", "+1 days", "1900-03-01 12:00:00.000"},
                            {"2100-02-28 00:00:00.000", "+24 hours", "2100-03-01 00:00:00.000"},
                            {"2000-02-28 00:00:00.000", "+1 days", "2000-02-29 00:00:00.000"},
                            {"2024-03-10 10:00:10.200", "-1.500 seconds", "2024-03-10 10:00:08.700"},
                            {"2023-12-31 23:30:00.250", "+90 minutes", "2024-01-01 01:00:00.250"},
                            {"2024-02-29 00:00:00.000", "+525600 minutes", "2025-02-28 00:00:00.000"},
                            {"2024-12-31 23:59:59.999", "+1 seconds", "2025-01-01 00:00:00.999"},
                            {"2899-12-31 23:59:59.999", "+0.001 seconds", ""},
                            {"1900-01-01 00:00:00.000", "-0.001 seconds", ""},
                            {"2024-01-01 00:00:00.000", "+999999999 days", ""},
                            {"", "+1 days", ""}};
  testing::Database database;
  for (const auto& [time, modifier, result] : cases) {
    EXPECT_EQ(SqlText(database.db, MktimeSql(Quoted(time), {"", modifier})).value_or(""), result)
        << time << " " << modifier;
  }
}

// The library reads a first key that begins with '@' as the name of a file of keys; the list used to be
// replaced by the file's lines.
TEST(VexfiltSqlOracleSamples, AKeyThatBeginsWithAnAtIsAKeyNotAFileName) {
  char path[] = "/tmp/vexfilt-keys-XXXXXX";
  const int descriptor = mkstemp(path);
  ASSERT_GE(descriptor, 0);
  ASSERT_EQ(write(descriptor, "x\n", 2), 2);
  close(descriptor);
  const std::string named = std::string("@") + path;
  const testing::RunOutput output =
      testing::Run("ID int32, K char(32)", "KEYS(K) IN ('" + named + "', 'ab', '@b') AND K = 'ab'", {},
                   {testing::CsvSample("keys", {{"ID", "K"}, {"1", "ab"}, {"2", "@b"}})});
  unlink(path);
  EXPECT_EQ(output.ids, std::vector<std::string>{"1"}) << output.error;
  EXPECT_EQ(output.missing, (std::vector<std::vector<std::string>>{{named}}));
}

}  // namespace
}  // namespace vexfilt::cli
