// The vexfilt language against SQL: random rows and random predicates, from a fixed seed, answered by
// the program's compiler and the library through the program's run path, and by SQLite over the same rows.
// Every construct whose meaning the two languages share is drawn: comparisons of every integer type and a
// double with values and with each other, text against text (a char value and a text compared with it
// without trailing blanks, as SQL's RTRIM collation compares; anything else as it stands; UTF-8 text in
// ICU's collation without trailing blanks), column against column, LIKE and NOT LIKE (as GLOB, which counts
// UTF-8 characters), CONTAINS (as instr), SUBSTR compared six ways (as substr), NOT, AND, OR. A
// disagreement names the predicate, its SQL and the rows on which the answers differ. The cases it found
// are kept in tests/data/predicates.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unicode/ucol.h>

#include <memory>
#include <string>
#include <vector>

#include "sql_oracle.h"

namespace vexfilt::cli {
namespace {

using testing::Predicate;
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

// Integers of every width and signedness; text of bytes and of UTF-8, of fixed and varying length. The ID
// that names each row comes before them.
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
    "ID int32, A int32, B int32, H int16, U uint16, W uint32, D double, S char(6), T char(6), V varchar(8), "
    "X utf8char(6), Y utf8varchar(8)";

// UTF-8 values and patterns draw from letters of one and two bytes, a case pair and the blank; each
// collates equal to itself alone, as GLOB compares characters.
constexpr const char* kUtf8Letters[] = {"a", "b", "x", "A", "\xC3\xA9", "\xC3\xB6", "\xC3\x9F", " "};
constexpr const char* kOperators[] = {"=", "<>", "<", ">", "<=", ">="};

class Random : public testing::Draws {
 public:
  using Draws::Draws;

  // Values near each other and near the edges, so that comparisons both hold and fail.
  // A number for `c`: an integer in its range, or for a double one that also meets the integers.
  std::string Number(const OracleColumn& c) {
    static constexpr const char* kDoubles[] = {"-0.5",       "0",           "1.5",   "2",      "-3",
                                               "4294967295", "-2147483648", "1e300", "-1e-300"};
    if (!c.real()) return std::to_string(Integer(c));
    return Of(kDoubles);
  }
  long long Integer(const OracleColumn& c) {
    switch (Below(4)) {
      case 0: return c.low;
      case 1: return c.high;
      default: return std::max(c.low, std::min(c.high, static_cast<long long>(Below(7)) - 3));
    }
  }
  // 0 to `capacity` characters of a small alphabet (of UTF-8 letters within `capacity` bytes), so that
  // equal values and shared prefixes are common; blanks among them, though never at the end of a fixed
  // column's value, whose padding they would be.
  std::string TextOf(const OracleColumn& c, int capacity, bool fixed = false) {
    std::string text;
    const int length = Below(capacity + 1);
    for (int i = 0; i < length; ++i) {
      if (c.family != Family::kUtf8) {
        text += "abxyab "[Below(7)];
        continue;
      }
      const std::string letter = Of(kUtf8Letters);
      if (text.size() + letter.size() <= static_cast<std::size_t>(capacity)) text += letter;
    }
    while (fixed && !text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
};

// One comparison: a column with a value of its kind, or with another column of its kind.
Predicate Comparison(Random& random) {
  const OracleColumn& column = random.Of(kColumns);
  const std::string op = random.Of(kOperators);
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

// LIKE as GLOB (of a pattern of the values' characters, '?' and '*'), CONTAINS as instr, SUBSTR as substr,
// on a text column.
Predicate TextFunction(Random& random) {
  std::vector<const OracleColumn*> texts;
  for (const OracleColumn& c : kColumns) {
    if (c.text()) texts.push_back(&c);
  }
  const OracleColumn& column = *texts[random.Below(static_cast<int>(texts.size()))];
  const std::string name = column.name;
  switch (random.Below(3)) {
    case 0: {
      std::string pattern;
      for (int i = random.Below(column.capacity + 3); i > 0; --i) {
        const bool letter = column.family == Family::kUtf8 && random.OneIn(2);
        pattern += letter ? random.Of(kUtf8Letters) : std::string(1, "abxy ??**"[random.Below(9)]);
      }
      pattern = Quoted(pattern);
      const bool negated = random.OneIn(3);
      return {name + (negated ? " NOT LIKE " : " LIKE ") + pattern,
              (negated ? "NOT " : "") + name + " GLOB " + pattern};
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
      const std::string op = random.Of(kOperators);
      const std::string call = "SUBSTR(" + name + ", " + std::to_string(start) + ", " + std::to_string(length) + ")";
      if (column.family == Family::kUtf8) {
        // Counted in characters; at most `length` of them, of any width.
        std::string text;
        for (int i = random.Below(length + 1); i > 0; --i) text += random.Of(kUtf8Letters);
        return {call + " " + op + " " + Quoted(text), call + " COLLATE ICU " + op + " " + Quoted(text)};
      }
      const std::string text = Quoted(random.TextOf(column, length));
      return {call + " " + op + " " + text, call + " " + op + " " + text};
    }
  }
}

// ICU's collation of the program's default language, of the texts without their trailing blanks.
int IcuCompare(void* collator, int length1, const void* text1, int length2, const void* text2) {
  const auto* a = static_cast<const char*>(text1);
  const auto* b = static_cast<const char*>(text2);
  while (length1 > 0 && a[length1 - 1] == ' ') --length1;
  while (length2 > 0 && b[length2 - 1] == ' ') --length2;
  UErrorCode error = U_ZERO_ERROR;
  return ucol_strcollUTF8(static_cast<UCollator*>(collator), a, length1, b, length2, &error);
}

// Runs `count` random predicates over `rowCount` random rows in one sample; returns how many agreed.
int AgreeingPredicates(unsigned seed, int count, int rowCount) {
  std::vector<testing::SqlColumn> columns = {{"ID", "INTEGER"}};
  for (const OracleColumn& c : kColumns) {
    columns.push_back({c.name, c.text() ? "TEXT" : c.real() ? "REAL" : "INTEGER"});
  }
  Random random(seed);
  std::vector<testing::OracleRow> rows;
  for (int r = 1; r <= rowCount; ++r) {
    testing::OracleRow row{1, {std::to_string(r)}, {}};
    for (const OracleColumn& c : kColumns)
      row.fields.push_back(c.text() ? random.TextOf(c, c.capacity, c.fixed) : random.Number(c));
    row.csv = row.fields;
    rows.push_back(row);
  }
  UErrorCode error = U_ZERO_ERROR;
  const std::unique_ptr<UCollator, decltype(&ucol_close)> collator(ucol_open("en_US", &error), &ucol_close);
  EXPECT_TRUE(U_SUCCESS(error)) << u_errorName(error);
  testing::Database database;  // closed before the collator it calls
  EXPECT_EQ(sqlite3_create_collation(database.db, "ICU", SQLITE_UTF8, collator.get(), &IcuCompare), SQLITE_OK);
  testing::Load(database, columns, rows);
  const std::vector<Sample> samples = testing::SamplesOf(columns, rows, 1);
  const std::vector<std::vector<std::string>> missing(1);  // no keys are expected
  for (int n = 0; n < count; ++n) {
    const Predicate predicate =
        testing::Nested(random, 3, [&] { return random.OneIn(2) ? TextFunction(random) : Comparison(random); });
    const std::vector<std::string> ids = database.Column("SELECT ID FROM r WHERE " + predicate.sql + " ORDER BY ID");
    const std::string differing =
        testing::Differences(testing::Run(kSchemaText, predicate.vexfilt, {}, samples), ids, missing, columns, rows);
    if (!differing.empty()) {
      ADD_FAILURE() << "seed " << seed << ", predicate " << n << ": " << predicate.vexfilt
                    << "\n  SQL: " << predicate.sql << differing;
      return n;  // the first disagreement is the one to look at
    }
  }
  return count;
}

TEST(VexfiltSqlOracle, RandomPredicatesAnswerAsSqliteDoes) {
  const unsigned seed = testing::FromEnvironment("VEXFILT_ORACLE_SEED", 17);
  const int count = static_cast<int>(testing::FromEnvironment("VEXFILT_ORACLE_PREDICATES", 3000));
  EXPECT_EQ(AgreeingPredicates(seed, count, 48), count);
}

}  // namespace
}  // namespace vexfilt::cli
