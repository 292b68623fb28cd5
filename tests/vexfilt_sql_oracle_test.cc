// The vexfilt language against SQL: random rows and random predicates, from a fixed seed, answered by
// the program's compiler and the library, and by SQLite over the same rows. Every construct whose meaning
// the two languages share is drawn: comparisons of every integer type and a double with values and with
// each other, text against text (a char value and a text compared with it without trailing blanks, as
// SQL's RTRIM collation compares; anything else as it stands; UTF-8 text in ICU's collation without
// trailing blanks), column against column, LIKE and NOT LIKE (as GLOB, which counts UTF-8 characters), CONTAINS (as instr),
// SUBSTR compared six ways (as substr), NOT, AND, OR. A disagreement names the predicate, its SQL and the
// rows on which the answers differ.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unicode/ucol.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filter_owner.h"
#include "predicate.h"
#include "schema.h"
#include "sql_oracle.h"
#include "vexfilt.h"

namespace vexfilt::cli {
namespace {

using testing::Database;
using testing::FromEnvironment;
using testing::Quoted;

enum class Family { kNumber, kBytes, kUtf8 };

struct OracleColumn {
  const char* name;
  Family family;
  long long low, high;  // the range of an integer column
  int capacity;         // of a text column, in bytes
  bool fixed;           // a char or utf8char column, whose trailing blanks are padding

  bool text() const { return family != Family::kNumber; }
  bool real() const { return family == Family::kNumber && low == high; }
};

// Integers of every width and signedness; text of bytes and of UTF-8, of fixed and varying length.
constexpr OracleColumn kColumns[] = {
    {"A", Family::kNumber, -2147483648LL, 2147483647LL, 0, false},
    {"B", Family::kNumber, -2147483648LL, 2147483647LL, 0, false},
    {"H", Family::kNumber, -32768, 32767, 0, false},
    {"U", Family::kNumber, 0, 65535, 0, false},
    {"W", Family::kNumber, 0, 4294967295LL, 0, false},
    {"D", Family::kNumber, 0, 0, 0, false},  // a double: no integer range
    {"S", Family::kBytes, 0, 0, 6, true},
    {"T", Family::kBytes, 0, 0, 6, true},
    {"V", Family::kBytes, 0, 0, 8, false},
    {"X", Family::kUtf8, 0, 0, 6, true},
    {"Y", Family::kUtf8, 0, 0, 8, false},
};
constexpr const char* kSchemaText =
    "A int32, B int32, H int16, U uint16, W uint32, D double, S char(6), T char(6), V varchar(8), X utf8char(6), "
    "Y utf8varchar(8)";

// UTF-8 values and patterns draw from letters of one and two bytes, a case pair and the blank; each
// collates equal to itself alone, as GLOB compares characters.
constexpr const char* kUtf8Letters[] = {"a", "b", "x", "A", "\xC3\xA9", "\xC3\xB6", "\xC3\x9F", " "};
constexpr const char* kOperators[] = {"=", "<>", "<", ">", "<=", ">="};

using Row = std::vector<std::string>;  // in column order

class Random : public testing::Draws {
 public:
  using Draws::Draws;

  // Values near each other and near the edges, so that comparisons both hold and fail.
  // A number for `c`: an integer in its range, or for a double one that also meets the integers.
  std::string Number(const OracleColumn& c) {
    if (!c.real()) return std::to_string(Integer(c));
    static constexpr const char* kDoubles[] = {"-0.5", "0", "1.5", "2", "-3", "4294967295", "-2147483648", "1e300", "-1e-300"};
    return kDoubles[Below(static_cast<int>(std::size(kDoubles)))];
  }
  long long Integer(const OracleColumn& c) {
    switch (Below(4)) {
      case 0: return c.low;
      case 1: return c.high;
      default: return std::max(c.low, std::min(c.high, static_cast<long long>(Below(7)) - 3));
    }
  }
  // 0 to `capacity` characters of a small alphabet, so that equal values and shared prefixes are common;
  // blanks among them, though never at the end of a fixed column's value, whose padding they would be.
  std::string Text(int capacity, bool fixed = false) {
    std::string text;
    const int length = Below(capacity + 1);
    for (int i = 0; i < length; ++i) text += "abxyab "[Below(7)];
    while (fixed && !text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
  // The same of UTF-8 letters, within `capacity` bytes.
  std::string Utf8Text(int capacity, bool fixed = false) {
    std::string text;
    const int length = Below(capacity + 1);
    for (int i = 0; i < length; ++i) {
      const std::string letter = kUtf8Letters[Below(static_cast<int>(std::size(kUtf8Letters)))];
      if (text.size() + letter.size() <= static_cast<std::size_t>(capacity)) text += letter;
    }
    while (fixed && !text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
  std::string TextOf(const OracleColumn& c, int capacity, bool fixed = false) {
    return c.family == Family::kUtf8 ? Utf8Text(capacity, fixed) : Text(capacity, fixed);
  }
};

using testing::Predicate;

// One comparison: a column with a value of its kind, or with another column of its kind.
Predicate Comparison(Random& random) {
  const OracleColumn& column = kColumns[random.Below(std::size(kColumns))];
  const std::string op = kOperators[random.Below(std::size(kOperators))];
  std::string right;
  if (random.OneIn(3)) {
    std::vector<const OracleColumn*> others;
    for (const OracleColumn& other : kColumns) {
      if (other.family == column.family) others.push_back(&other);
    }
    right = others[random.Below(static_cast<int>(others.size()))]->name;
  } else {
    right = column.text() ? Quoted(random.TextOf(column, column.capacity)) : random.Number(column);
  }
  const std::string left = column.name;
  const std::string vexfilt = left + " " + op + " " + right;
  if (column.family == Family::kUtf8) return {vexfilt, left + " COLLATE ICU " + op + " " + right};
  // A char column's value has no trailing blanks, and a value compared with it loses its own; any other
  // text is compared as it stands.
  const bool padded = column.fixed && right.front() == '\'';
  return {vexfilt, padded ? vexfilt + " COLLATE RTRIM" : vexfilt};
}

// A pattern of the values' characters, '?' and '*'.
std::string Pattern(Random& random, const OracleColumn& column) {
  std::string pattern;
  const int length = random.Below(column.capacity + 3);
  for (int i = 0; i < length; ++i) {
    if (column.family == Family::kUtf8 && random.OneIn(2)) {
      pattern += kUtf8Letters[random.Below(static_cast<int>(std::size(kUtf8Letters)))];
    } else {
      pattern += "abxy ??**"[random.Below(9)];
    }
  }
  return pattern;
}

// LIKE as GLOB, CONTAINS as instr, SUBSTR as substr, on a text column.
Predicate TextFunction(Random& random) {
  std::vector<const OracleColumn*> texts;
  for (const OracleColumn& c : kColumns) {
    if (c.text()) texts.push_back(&c);
  }
  const OracleColumn& column = *texts[random.Below(static_cast<int>(texts.size()))];
  const std::string name = column.name;
  switch (random.Below(3)) {
    case 0: {
      const std::string pattern = Quoted(Pattern(random, column));
      const bool negated = random.OneIn(3);
      return {name + (negated ? " NOT LIKE " : " LIKE ") + pattern, (negated ? "NOT " : "") + name + " GLOB " + pattern};
    }
    case 1: {
      std::string text = random.TextOf(column, column.capacity);
      if (text.empty()) text = "a";
      const bool negated = random.OneIn(3);
      const std::string sql = "instr(" + name + ", " + Quoted(text) + ") > 0";
      return {name + (negated ? " NOT CONTAINS " : " CONTAINS ") + Quoted(text), negated ? "NOT " + sql : sql};
    }
    default: {
      const int start = 1 + random.Below(column.capacity);
      const int length = 1 + random.Below(column.capacity - start + 1);
      const std::string op = kOperators[random.Below(std::size(kOperators))];
      const std::string call = "SUBSTR(" + name + ", " + std::to_string(start) + ", " + std::to_string(length) + ")";
      if (column.family == Family::kUtf8) {
        // Counted in characters; at most `length` of them, of any width.
        std::string text;
        for (int i = random.Below(length + 1); i > 0; --i) {
          text += kUtf8Letters[random.Below(static_cast<int>(std::size(kUtf8Letters)))];
        }
        return {call + " " + op + " " + Quoted(text), call + " COLLATE ICU " + op + " " + Quoted(text)};
      }
      const std::string text = Quoted(random.Text(length));
      return {call + " " + op + " " + text, call + " " + op + " " + text};
    }
  }
}

Predicate Draw(Random& random) {
  return testing::Nested(random, 3, [&] { return random.OneIn(2) ? TextFunction(random) : Comparison(random); });
}

// ICU's collation of the program's default language, of the texts without their trailing blanks.
class IcuCollation {
 public:
  IcuCollation() {
    UErrorCode error = U_ZERO_ERROR;
    collator_ = ucol_open("en_US", &error);
    EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  }
  ~IcuCollation() { ucol_close(collator_); }
  IcuCollation(const IcuCollation&) = delete;
  IcuCollation& operator=(const IcuCollation&) = delete;

  static int Compare(void* self, int length1, const void* text1, int length2, const void* text2) {
    const auto* a = static_cast<const char*>(text1);
    const auto* b = static_cast<const char*>(text2);
    while (length1 > 0 && a[length1 - 1] == ' ') --length1;
    while (length2 > 0 && b[length2 - 1] == ' ') --length2;
    UErrorCode error = U_ZERO_ERROR;
    return ucol_strcollUTF8(static_cast<IcuCollation*>(self)->collator_, a, length1, b, length2, &error);
  }

 private:
  UCollator* collator_ = nullptr;
};

class SqlOracle {
 public:
  explicit SqlOracle(const std::vector<Row>& rows) {
    EXPECT_EQ(sqlite3_create_collation(database_.db, "ICU", SQLITE_UTF8, &collation_, &IcuCollation::Compare), SQLITE_OK);
    std::string create = "CREATE TABLE t(";
    for (const OracleColumn& c : kColumns) {
      create += std::string(c.name) + (c.text() ? " TEXT," : c.real() ? " REAL," : " INTEGER,");
    }
    create.back() = ')';
    database_.Execute(create);
    for (const Row& row : rows) {
      std::string insert = "INSERT INTO t VALUES(";
      for (std::size_t i = 0; i < row.size(); ++i) insert += (kColumns[i].text() ? Quoted(row[i]) : row[i]) + ",";
      insert.back() = ')';
      database_.Execute(insert);
    }
  }

  // Whether each row (by insertion order) satisfies `where`.
  std::vector<bool> Verdicts(const std::string& where, std::size_t rows) {
    std::vector<bool> verdicts(rows, false);
    for (const std::string& rowid : database_.Column("SELECT rowid FROM t WHERE " + where)) {
      verdicts[std::stoul(rowid) - 1] = true;
    }
    return verdicts;
  }

 private:
  IcuCollation collation_;  // outlives the database, which calls it
  Database database_;
};

// The compiled predicate through the library; a compile error or a refused plan fails the test.
std::vector<bool> LibraryVerdicts(const Schema& schema, const std::string& predicate,
                                  const std::vector<std::vector<std::uint8_t>>& records) {
  CompileError error;
  const auto compiled = CompilePredicate(predicate, schema, {}, &error);
  EXPECT_TRUE(compiled.has_value()) << error.message;
  if (!compiled) return {};
  const FilterOwner filter(*compiled);
  EXPECT_EQ(filter.status(), 0) << "every predicate that parses compiles to a plan the library accepts: " << predicate;
  if (filter.status() != 0) return {};
  const FilterHandle handle = filter.handle();
  std::vector<bool> verdicts;
  FLT1_BeginSample(handle);
  for (const auto& record : records) verdicts.push_back(FLT1_FilterRecord(handle, 0, record.data()) == 0);
  std::uint32_t result = 0;
  FLT1_EndSample(handle, &result);
  return verdicts;
}

std::string Describe(const Row& row) {
  std::string text;
  for (std::size_t i = 0; i < row.size(); ++i) text += std::string(i ? ", " : "") + kColumns[i].name + "=" + Quoted(row[i]);
  return text;
}

// Runs `count` random predicates over `rowCount` random rows; returns how many agreed.
int AgreeingPredicates(unsigned seed, int count, int rowCount) {
  std::string error;
  const auto schema = Schema::Parse(kSchemaText, &error);
  EXPECT_TRUE(schema.has_value()) << error;
  if (!schema) return 0;
  Random random(seed);
  std::vector<Row> rows;
  std::vector<std::vector<std::uint8_t>> records;
  for (int r = 0; r < rowCount; ++r) {
    Row row;
    std::vector<std::uint8_t> record = schema->EmptyRecord();
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
      const OracleColumn& c = kColumns[i];
      row.push_back(c.text() ? random.TextOf(c, c.capacity, c.fixed) : random.Number(c));
      EXPECT_EQ(schema->Encode(schema->fields()[i], row.back(), record), "");
    }
    rows.push_back(row);
    records.push_back(record);
  }
  SqlOracle oracle(rows);
  int agreeing = 0;
  for (int n = 0; n < count; ++n) {
    const Predicate predicate = Draw(random);
    const std::vector<bool> expected = oracle.Verdicts(predicate.sql, rows.size());
    const std::vector<bool> actual = LibraryVerdicts(*schema, predicate.vexfilt, records);
    if (actual == expected) {
      ++agreeing;
      continue;
    }
    std::string differing;
    for (std::size_t r = 0; r < rows.size() && r < actual.size(); ++r) {
      if (actual[r] != expected[r]) differing += "\n  " + Describe(rows[r]) + ": SQLite " + (expected[r] ? "holds" : "fails");
    }
    ADD_FAILURE() << "seed " << seed << ", predicate " << n << ": " << predicate.vexfilt << "\n  SQL: " << predicate.sql
                  << differing;
    return agreeing;  // the first disagreement is the one to look at
  }
  return agreeing;
}

TEST(VexfiltSqlOracle, RandomPredicatesAnswerAsSqliteDoes) {
  const unsigned seed = FromEnvironment("VEXFILT_ORACLE_SEED", 17);
  const int count = static_cast<int>(FromEnvironment("VEXFILT_ORACLE_PREDICATES", 3000));
  EXPECT_EQ(AgreeingPredicates(seed, count, 48), count);
}

// Cases found by hand, each kept by name: the verdicts on records of `schema`, one a row of its columns' values.
struct HandCase {
  std::string predicate;
  std::vector<bool> verdicts;
  const char* why = "";
};

void ExpectVerdicts(const char* schemaText, const std::vector<std::vector<std::string>>& rows,
                    const std::vector<HandCase>& cases) {
  std::string error;
  const auto schema = Schema::Parse(schemaText, &error);
  ASSERT_TRUE(schema.has_value()) << error;
  std::vector<std::vector<std::uint8_t>> records;
  for (const auto& row : rows) {
    records.push_back(schema->EmptyRecord());
    for (std::size_t i = 0; i < row.size(); ++i) EXPECT_EQ(schema->Encode(schema->fields()[i], row[i], records.back()), "");
  }
  for (const HandCase& c : cases) EXPECT_EQ(LibraryVerdicts(*schema, c.predicate, records), c.verdicts) << c.predicate << ": " << c.why;
}

TEST(VexfiltSqlOracle, TextColumnsCompareWithEachOther) {
  ExpectVerdicts("S char(6), T char(6), V varchar(8), X varchar(8)",
                 {{"abc", "abc", "abc", "abc"}, {"abd", "abc", "abd", "abc"}, {"ab", "abc", "ab", "abc"}},
                 {{"S = T", {true, false, false}},
                  {"S < T", {false, false, true}},
                  {"S <> T", {false, true, true}},
                  {"V = X", {true, false, false}},
                  {"V > X", {false, true, false}},
                  {"S >= X", {true, true, false}}});
}

TEST(VexfiltSqlOracle, QuestionMarksNeverMatchThePadding) {
  for (const std::string c : {"S", "V"}) {
    ExpectVerdicts("S char(6), V varchar(8)", {{"b", "b"}, {"ab", "ab"}, {"bc", "bc"}, {"a c", "a c"}, {"abcdef", "abcdef"}},
                   {{c + " LIKE 'b?'", {false, false, true, false, false}},
                    {c + " LIKE '???**'", {false, false, false, true, true}},
                    {c + " LIKE 'a?c'", {false, false, false, true, false}},
                    {c + " LIKE '" + std::string(6, '?') + "'", {false, false, false, false, true}},
                    {c + " NOT LIKE '?*'", {false, false, false, false, false}}});
  }
}

TEST(VexfiltSqlOracle, PatternsAndSearchesSeeTheValueAlone) {
  ExpectVerdicts("S char(6), F char(4), V varchar(8)",
                 {{"abaxxx", "xx y", "abaxxx"}, {"abax", "xx x", "abax"}, {"ab c", "xy", "ab c"}},
                 {{"S LIKE 'a*a*x'", {true, true, false}, "text after the last '*' ends a value that fills its column"},
                  {"F LIKE '*x'", {false, true, false}, "a blank inside the value does not end it"},
                  {"S CONTAINS ' '", {false, false, true}, "the padding is not searched"},
                  {"V CONTAINS 'x '", {false, false, false}},
                  {"S LIKE 'ab*?'", {true, true, true}, "'*?' asks for one character more"},
                  {"F LIKE 'x*?'", {true, true, true}},
                  {"F LIKE 'xy*?'", {false, false, false}}});
}

TEST(VexfiltSqlOracle, Utf8PatternsCountCharactersAndSeeTheValueAlone) {
  const std::vector<std::vector<std::string>> rows = {
      {"xx y", "xx y"}, {"\xC3\xA9\xC3\xA9x", "\xC3\xA9\xC3\xA9x"}, {"abaxx", "abaxx"}, {"a", "a"}, {"A", "A"}};
  for (const std::string c : {"X", "Y"}) {
    ExpectVerdicts(
        "X utf8char(6), Y utf8varchar(8)", rows,
        {{c + " LIKE '*x'", {false, true, true, false, false},
          "a blank inside the value does not end it, and a value filling its column ends"},
         {c + " LIKE '??x'", {false, true, false, false, false}, "'?' takes a whole character"},
         {c + " LIKE 'a?'", {false, false, false, false, false}, "'?' never matches the padding"},
         {c + " CONTAINS ' '", {true, false, false, false, false}, "the padding is not searched"},
         {"SUBSTR(" + c + ", 2, 1) = '\xC3\xA9'", {false, true, false, false, false}, "SUBSTR counts characters"},
         {"SUBSTR(" + c + ", 3, 2) = ''", {false, false, false, true, true}, "a substring past the value is empty"},
         {c + " < 'A'", {false, false, false, true, false}, "ICU's collation puts 'a' just before 'A', unlike the bytes"},
         {"X = Y", {true, true, true, true, true}}});
  }
}

}  // namespace
}  // namespace vexfilt::cli
