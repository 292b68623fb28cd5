// The vexfilt program's schema, CSV reader and predicate compiler: predicates run against records through the
// library, and the errors a person sees.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Until tests/CMakeLists.txt links vexfilt_compiler, its headers are not on the path: the suite then says so
// instead of failing to build.
#if __has_include("predicate.h")
#include "csv.h"
#include "predicate.h"
#include "schema.h"
#include "vexfilt.h"

namespace vexfilt::cli {
namespace {

constexpr const char* kSchema =
    "NAME char(8), STATE varchar(6), CPU int32, THREADS int16, PORT uint16, IO uint32, LOAD double, "
    "CITY utf8char(8), NOTE utf8varchar(10)";

using Row = std::map<std::string, std::string>;

Schema TestSchema() {
  std::string error;
  auto schema = Schema::Parse(kSchema, &error);
  EXPECT_TRUE(schema.has_value()) << error;
  return *schema;
}

std::vector<std::uint8_t> RecordOf(const Schema& schema, const Row& row) {
  std::vector<std::uint8_t> record(static_cast<std::size_t>(schema.recordLength()), 0);
  for (const Field& field : schema.fields()) {
    if (field.IsText()) schema.Encode(field, "", record);
  }
  for (const auto& [name, value] : row) {
    const Field* field = schema.Find(name);
    EXPECT_NE(field, nullptr) << name;
    if (field != nullptr) {
      EXPECT_EQ(schema.Encode(*field, value, record), "") << name << "=" << value;
    }
  }
  return record;
}

// Passes (true) or fails (false) for each row, in a Filter created from the compiled predicate.
std::vector<bool> Verdicts(const std::string& predicate, const std::vector<Row>& rows,
                           const CompileOptions& options = {}) {
  const Schema schema = TestSchema();
  CompileError error;
  const auto compiled = CompilePredicate(predicate, schema, options, &error);
  EXPECT_TRUE(compiled.has_value()) << error.Render(predicate);
  if (!compiled) return {};
  FilterHandle handle{};
  const std::int32_t status =
      FLT1_CreateFilter(0, compiled->plan.data(), static_cast<std::int16_t>(compiled->plan.size()),
                        compiled->pool.data(), static_cast<std::int16_t>(compiled->pool.size()), &handle);
  EXPECT_EQ(status, 0) << predicate;
  if (status != 0) return {};
  std::vector<bool> verdicts;
  FLT1_BeginSample(handle);
  for (const Row& row : rows) verdicts.push_back(FLT1_FilterRecord(handle, 0, RecordOf(schema, row).data()) == 0);
  std::uint32_t result = 0;
  FLT1_EndSample(handle, &result);
  FLT1_DestroyFilter(handle);
  return verdicts;
}

const std::vector<Row> kRows = {
    {{"NAME", "db"}, {"STATE", "RUN"}, {"CPU", "97"}, {"THREADS", "48"}, {"PORT", "5432"}, {"IO", "4000000000"},
     {"LOAD", "2.5"}, {"CITY", "Zürich"}, {"NOTE", "primary"}},
    {{"NAME", "web-0"}, {"STATE", "WAIT"}, {"CPU", "12"}, {"THREADS", "-1"}, {"PORT", "80"}, {"IO", "7"},
     {"LOAD", "0.25"}, {"CITY", "Bern"}, {"NOTE", ""}},
    {{"NAME", "web-10"}, {"STATE", "RUN"}, {"CPU", "90"}, {"THREADS", "64"}, {"PORT", "65535"}, {"IO", "0"},
     {"LOAD", "-1"}, {"CITY", "Genève"}, {"NOTE", "edge"}},
};

struct VerdictCase {
  std::string predicate;
  std::vector<bool> verdicts;  // for kRows
};

TEST(VexfiltPredicates, VerdictsForEveryRow) {
  const VerdictCase cases[] = {
      {"CPU > 90", {true, false, false}},
      {"CPU >= 90", {true, false, true}},
      {"90 <= CPU", {true, false, true}},
      {"CPU <> 12", {true, false, true}},
      {"THREADS < 0", {false, true, false}},
      {"PORT = 65535", {false, false, true}},
      {"IO > 3000000000", {true, false, false}},
      {"LOAD <= 0.25", {false, true, true}},
      {"NAME = 'web-0'", {false, true, false}},
      {"NAME = 'web'", {false, false, false}},
      {"NAME > 'web-0'", {false, false, true}},
      {"STATE = 'RUN'", {true, false, true}},
      {"NOTE = ''", {false, true, false}},
      {"CITY = 'Zürich'", {true, false, false}},
      {"NAME LIKE 'web-*'", {false, true, true}},
      {"NAME LIKE 'web-?'", {false, true, false}},
      {"NAME LIKE 'd?'", {true, false, false}},
      {"STATE LIKE '*AI*'", {false, true, false}},
      {"NAME NOT LIKE 'web*'", {true, false, false}},
      {"CITY LIKE 'Gen*'", {false, false, true}},
      {"CPU > THREADS", {true, true, true}},
      {"THREADS = CPU", {false, false, false}},
      {"STATE = NAME", {false, false, false}},
      {"CPU > 50 AND STATE = 'RUN'", {true, false, true}},
      {"CPU > 95 OR PORT = 80", {true, true, false}},
      {"NOT CPU > 50", {false, true, false}},
      {"NOT (CPU > 95 OR PORT = 80)", {false, false, true}},
      {"NOT NOT CPU > 95", {true, false, false}},
      {"(CPU > 95 OR NAME LIKE 'web-1*') AND NOT LOAD < 0", {true, false, false}},
      {"CPU < 50 OR (STATE = 'RUN' AND NOT (LOAD > 1 OR THREADS > 60))", {false, true, false}},
      {"cpu > 90 and name like 'd*' or port = 80", {true, true, false}},
  };
  for (const VerdictCase& c : cases) EXPECT_EQ(Verdicts(c.predicate, kRows), c.verdicts) << c.predicate;
}

struct ErrorCase {
  std::string predicate;
  std::string message;  // contained in the error
  int column;           // where the caret points
};

TEST(VexfiltPredicates, ErrorsPointAtTheOffendingColumn) {
  const ErrorCase cases[] = {
      {"CPU >", "expected a column, a number", 5},
      {"CPU > 90 AND", "expected a column, a number", 12},
      {"CPU 90", "expected a comparison", 4},
      {"(CPU > 1", "expected ')'", 8},
      {"CPU > 1)", "expected AND, OR", 7},
      {"FOO = 1", "unknown column 'FOO'", 0},
      {"CPU = 'x'", "compare it with a number", 6},
      {"NAME = 5", "compare it with a 'quoted' text", 7},
      {"CPU > 9.5", "not a whole number", 6},
      {"THREADS < 40000", "out of range", 10},
      {"CPU = NAME", "cannot compare CPU (int32) with NAME (char(8))", 6},
      {"NAME = 'much too long'", "longer than NAME", 7},
      {"CPU LIKE 'a*'", "LIKE needs a character column", 0},
      {"NAME = 'x", "not closed", 7},
      {"CPU # 1", "unexpected character '#'", 4},
      {"1 = 2", "not two values", 0},
      {"CHANGE(CPU) > 1", "needs --key", 0},
      {"CPU > 1 OR KEYS(NAME) IN ('a')", "only be joined to the rest with AND", 11},
      {"", "empty", 0},
  };
  const Schema schema = TestSchema();
  for (const ErrorCase& c : cases) {
    CompileError error;
    EXPECT_FALSE(CompilePredicate(c.predicate, schema, {}, &error).has_value()) << c.predicate;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.predicate << ": " << error.message;
    EXPECT_EQ(error.position, c.column) << c.predicate << ": " << error.message;
  }
}

TEST(VexfiltPredicates, RenderedErrorHasACaretUnderTheColumn) {
  const CompileError error{"unknown column 'FOO'", 6};
  EXPECT_EQ(error.Render("CPU > FOO"), "error: unknown column 'FOO'\n  CPU > FOO\n        ^\n");
}

TEST(VexfiltPredicates, ChangeSinceThePreviousSample) {
  const Schema schema = TestSchema();
  CompileOptions options;
  options.keyColumns = {"NAME"};
  CompileError error;
  const auto compiled = CompilePredicate("CHANGE(CPU) > 10 OR NAME = 'x'", schema, options, &error);
  ASSERT_TRUE(compiled.has_value()) << error.Render("CHANGE(CPU) > 10");
  FilterHandle handle{};
  ASSERT_EQ(FLT1_CreateFilter(0, compiled->plan.data(), static_cast<std::int16_t>(compiled->plan.size()),
                              compiled->pool.data(), static_cast<std::int16_t>(compiled->pool.size()), &handle),
            0);
  const auto sample = [&](const std::vector<Row>& rows) {
    std::vector<bool> verdicts;
    FLT1_BeginSample(handle);
    for (const Row& row : rows) verdicts.push_back(FLT1_FilterRecord(handle, 0, RecordOf(schema, row).data()) == 0);
    std::uint32_t result = 0;
    FLT1_EndSample(handle, &result);
    return verdicts;
  };
  EXPECT_EQ(sample({{{"NAME", "a"}, {"CPU", "10"}}, {{"NAME", "b"}, {"CPU", "50"}}, {{"NAME", "x"}, {"CPU", "1"}}}),
            (std::vector<bool>{false, false, true}))
      << "new keys have no change yet";
  EXPECT_EQ(sample({{{"NAME", "a"}, {"CPU", "30"}}, {{"NAME", "b"}, {"CPU", "55"}}}), (std::vector<bool>{true, false}));
  FLT1_DestroyFilter(handle);
}

TEST(VexfiltPredicates, ExpectedKeysThatDidNotComeAreRetrieved) {
  const Schema schema = TestSchema();
  CompileError error;
  const auto compiled = CompilePredicate("KEYS(NAME) IN ('db', 'web-0', 'gone') AND CPU > 50", schema, {}, &error);
  ASSERT_TRUE(compiled.has_value()) << error.message;
  ASSERT_EQ(KeysField(*compiled, schema), schema.Find("NAME"));
  FilterHandle handle{};
  ASSERT_EQ(FLT1_CreateFilter(0, compiled->plan.data(), static_cast<std::int16_t>(compiled->plan.size()),
                              compiled->pool.data(), static_cast<std::int16_t>(compiled->pool.size()), &handle),
            0);
  FLT1_BeginSample(handle);
  std::vector<bool> verdicts;
  for (const Row& row : kRows) verdicts.push_back(FLT1_FilterRecord(handle, 0, RecordOf(schema, row).data()) == 0);
  EXPECT_EQ(verdicts, (std::vector<bool>{true, false, true})) << "the keys do not change the verdicts";
  std::uint32_t result = 0;
  FLT1_EndSample(handle, &result);
  EXPECT_EQ(result & 0x8000u, 0x8000u);
  std::vector<std::string> missing;
  for (;;) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(schema.recordLength()), ' ');
    auto length = static_cast<std::uint32_t>(buffer.size());
    if (FLT1_RetrieveRecord(handle, buffer.data(), &length) != 0) break;
    missing.push_back(schema.Decode(*KeysField(*compiled, schema), buffer.data()));
  }
  EXPECT_EQ(missing, (std::vector<std::string>{"gone"}));
  FLT1_DestroyFilter(handle);
  EXPECT_EQ(Verdicts("KEYS(NAME) IN ('db')", kRows), (std::vector<bool>{true, true, true})) << "keys alone pass all";
}

TEST(VexfiltSchema, LayoutAndErrors) {
  const Schema schema = TestSchema();
  EXPECT_EQ(schema.Find("state")->column.offset, 8);
  EXPECT_EQ(schema.Find("CPU")->column.offset, 16) << "varchar(6) takes its 2-byte length too";
  EXPECT_EQ(schema.recordLength(), 8 + 8 + 4 + 2 + 2 + 4 + 8 + 8 + 12);
  const std::pair<std::string, std::string> bad[] = {
      {"A int64", "unknown type 'int64'"}, {"A char", "needs a length"}, {"A int32(4)", "takes no length"},
      {"A int32, a int16", "declared twice"}, {"1A int32", "not a column name"}, {"A int32,, B int32", "is empty"},
      {"A char(0)", "bad length"}, {"", "is empty"},
  };
  for (const auto& [text, message] : bad) {
    std::string error;
    EXPECT_FALSE(Schema::Parse(text, &error).has_value()) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
  }
  std::vector<std::uint8_t> record(static_cast<std::size_t>(schema.recordLength()), 0);
  EXPECT_NE(schema.Encode(*schema.Find("THREADS"), "40000", record).find("not an int16"), std::string::npos);
  EXPECT_NE(schema.Encode(*schema.Find("PORT"), "-1", record).find("not a uint16"), std::string::npos);
  EXPECT_NE(schema.Encode(*schema.Find("LOAD"), "1.5x", record).find("not a finite number"), std::string::npos);
  EXPECT_NE(schema.Encode(*schema.Find("NAME"), "123456789", record).find("longer than char(8)"), std::string::npos);
  EXPECT_EQ(schema.Encode(*schema.Find("STATE"), "ab", record), "");
  EXPECT_EQ(schema.Decode(*schema.Find("STATE"), record.data()), "ab");
}

TEST(VexfiltCsv, QuotesLineEndsAndLineNumbers) {
  std::vector<CsvRow> rows;
  std::string error;
  ASSERT_TRUE(ParseCsv("A,B\r\n\"x, \"\"y\"\"\",2\n\n\"multi\nline\",3\n,\n", &rows, &error)) << error;
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"x, \"y\"", "2"}));
  EXPECT_EQ(rows[2].line, 4);
  EXPECT_EQ(rows[2].fields[0], "multi\nline");
  EXPECT_EQ(rows[3].fields, (std::vector<std::string>{"", ""}));
  EXPECT_FALSE(ParseCsv("A\n\"open\n", &rows, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField("a,\"b\""), "\"a,\"\"b\"\"\"");
}

}  // namespace
}  // namespace vexfilt::cli

#else

TEST(VexfiltCli, NeedsTheCompilerLibrary) {
  GTEST_SKIP() << "link vexfilt_tests with vexfilt_compiler in tests/CMakeLists.txt to run the vexfilt tests";
}

#endif
