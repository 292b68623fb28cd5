// The vexfilt program's schema, CSV reader and predicate compiler: predicates run against records through the
// library, and the errors a person sees.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "csv.h"
#include "error_text.h"
#include "language.h"
#include "filter_owner.h"
#include "plan_file.h"
#include "plan_view.h"
#include "predicate.h"
#include "schema.h"
#include "vexcompile.h"
#include "vexfilt.h"

namespace vexfilt::cli {
namespace {

constexpr const char* kSchema =
    "NAME char(8), STATE varchar(6), CPU int32, THREADS int16, PORT uint16, IO uint32, LOAD double, "
    "CITY utf8char(8), NOTE utf8varchar(10), START timestamp, STOP timestamp";

using Row = std::map<std::string, std::string>;

Schema TestSchema() {
  std::string error;
  auto schema = Schema::Parse(kSchema, &error);
  EXPECT_TRUE(schema.has_value()) << error;
  return *schema;
}

std::vector<std::uint8_t> RecordOf(const Schema& schema, const Row& row) {
  std::vector<std::uint8_t> record = schema.EmptyRecord();
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
  EXPECT_TRUE(compiled.has_value()) << error.message;
  if (!compiled) return {};
  const FilterOwner filter(*compiled);
  EXPECT_EQ(filter.status(), 0) << predicate;
  if (filter.status() != 0) return {};
  std::vector<bool> verdicts;
  FLT1_BeginSample(filter.handle());
  for (const Row& row : rows) verdicts.push_back(FLT1_FilterRecord(filter.handle(), 0, RecordOf(schema, row).data()) == 0);
  std::uint32_t result = 0;
  FLT1_EndSample(filter.handle(), &result);
  return verdicts;
}

const std::vector<Row> kRows = {
    {{"NAME", "db"}, {"STATE", "RUN"}, {"CPU", "97"}, {"THREADS", "48"}, {"PORT", "5432"}, {"IO", "4000000000"},
     {"LOAD", "2.5"}, {"CITY", "Zürich"}, {"NOTE", "primary"}, {"START", "2024-01-31 23:00:00"},
     {"STOP", "2024-02-01 01:00:00"}},
    {{"NAME", "web-0"}, {"STATE", "WAIT"}, {"CPU", "12"}, {"THREADS", "-1"}, {"PORT", "80"}, {"IO", "7"},
     {"LOAD", "0.25"}, {"CITY", "Bern"}, {"NOTE", ""}, {"START", "2024-01-15 10:00:00"},
     {"STOP", "2024-01-15 10:59:59.999"}},
    {{"NAME", "web-10"}, {"STATE", "RUN"}, {"CPU", "90"}, {"THREADS", "64"}, {"PORT", "65535"}, {"IO", "0"},
     {"LOAD", "-1"}, {"CITY", "Genève"}, {"NOTE", "edge"}, {"START", "2024-03-01 00:00:00"},
     {"STOP", "2024-02-29 00:00:00"}},
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
      // A pattern matches the whole value, not a beginning of it.
      {"NAME LIKE 'web'", {false, false, false}},
      {"NAME LIKE 'w*0'", {false, true, true}},
      {"NAME LIKE '*-10'", {false, false, true}},
      {"STATE LIKE 'RU'", {false, false, false}},
      {"STATE LIKE 'RUN'", {true, false, true}},
      {"STATE LIKE 'W*T'", {false, true, false}},
      {"NOTE LIKE '*ge'", {false, false, true}},
      {"NOTE LIKE 'ed'", {false, false, false}},
      {"NOTE LIKE ''", {false, true, false}},
      {"NOTE LIKE '*'", {true, true, true}},
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
      // Substrings count from 1; a UTF-8 column's in characters, not bytes.
      {"SUBSTR(NAME, 1, 3) = 'web'", {false, true, true}},
      {"SUBSTR(NAME, 4, 2) = '-1'", {false, false, true}},
      {"SUBSTR(NAME, 1, 2) > 'db'", {false, true, true}},
      {"SUBSTR(STATE, 2, 2) = 'AI'", {false, true, false}},
      {"SUBSTR(CITY, 3, 2) = 'ri'", {true, false, false}},
      {"SUBSTR(CITY, 4, 1) = 'è'", {false, false, true}},
      {"SUBSTR(NOTE, 2, 3) = 'dge'", {false, false, true}},
      // String search, plain and locale-aware, fixed and varying.
      {"NAME CONTAINS 'eb-1'", {false, false, true}},
      {"NAME NOT CONTAINS 'web'", {true, false, false}},
      {"STATE CONTAINS 'U'", {true, false, true}},
      {"CITY CONTAINS 'ève'", {false, false, true}},
      {"NOTE CONTAINS 'rim'", {true, false, false}},
      // Timestamps: literals, MKTIME against a literal and against another column, carries across months.
      {"START < '2024-02-01'", {true, true, false}},
      {"START = '2024-01-15 10:00'", {false, true, false}},
      {"MKTIME(START, '+1H') >= '2024-02-01 00:00:00'", {true, false, true}},
      {"MKTIME(START, '+2H') = STOP", {true, false, false}},
      {"STOP = MKTIME(START, '-1D')", {false, false, true}},
      {"STOP < MKTIME(START, '+3600000T')", {false, true, true}},
      {"NOT MKTIME(START, '90M') > STOP", {true, false, false}},
  };
  for (const VerdictCase& c : cases) EXPECT_EQ(Verdicts(c.predicate, kRows), c.verdicts) << c.predicate;
}

struct ErrorCase {
  std::string predicate;
  std::string message;  // contained in the error
  int column;           // where the caret points
};

TEST(VexfiltPredicates, APlanLongerThanItsLengthFieldHoldsIsRefused) {
  const Schema schema = TestSchema();
  CompileError error;
  std::string predicate = "CPU > 0";
  for (int i = 1; i < 170; ++i) predicate += " AND CPU > " + std::to_string(i);
  EXPECT_TRUE(CompilePredicate(predicate, schema, {}, &error).has_value()) << "170 elements fit: " << error.message;
  predicate += " AND CPU > 170";
  EXPECT_FALSE(CompilePredicate(predicate, schema, {}, &error).has_value());
  EXPECT_NE(error.message.find("171 elements"), std::string::npos) << error.message;
  EXPECT_NE(error.message.find("a plan holds at most 170 elements"), std::string::npos) << error.message;
}

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
      {"CHANGE(CPU) > 1 OR NOT PCTCHANGE(IO) > 2", "a predicate holds one CHANGE() or PCTCHANGE(): a second would not see the rows CHANGE(CPU) decides", 23},
      {"CPU > 1 OR KEYS(NAME) IN ('a')", "only be joined to the rest with AND", 11},
      {"", "empty", 0},
      {"SUBSTR(NAME, 7, 3) = 'x'", "SUBSTR(NAME, 7, 3) reaches past the 8 characters of NAME", 13},
      {"SUBSTR(NAME, 0, 2) = 'x'", "must be a whole number from 1", 13},
      {"SUBSTR(NAME, 1, 2) = 'abc'", "longer than the 2 characters", 21},
      {"SUBSTR(NAME, 1, 2) LIKE 'a*'", "LIKE takes a column, not SUBSTR", 0},
      {"SUBSTR(CPU, 1, 2) = 'a'", "SUBSTR() needs a character column", 0},
      {"NOTE LIKE 'a\xEF\xBF\xBF*'", "holds U+FFFF, which ends text values", 10},
      {"CITY = 'a\xC3'", "is not valid UTF-8", 7},
      // A timestamp is compared with timestamps only; the text functions do not see its digits.
      {"START = NAME", "cannot compare START (timestamp) with NAME (char(8))", 8},
      {"START LIKE '1*'", "LIKE needs a character column", 0},
      {"SUBSTR(START, 1, 3) = '124'", "SUBSTR() needs a character column; START is timestamp", 0},
      {"SUBSTR(NAME, 1, 2) = 5", "can only be compared with a 'quoted' text", 21},
      {"CPU CONTAINS 'x'", "CONTAINS needs a character column", 0},
      {"NAME CONTAINS ''", "at least one character", 14},
      {"MKTIME(NAME, '+1D') > '2024-01-01'", "MKTIME() needs a timestamp column", 0},
      {"MKTIME(START, '+1X') > '2024-01-01'", "increment '+1X' is not [+|-]AMOUNT UNIT", 14},
      {"MKTIME(START, '+1D') > 'soon'", "is a timestamp; compare it with", 23},
      {"START > 5", "START is a timestamp", 8},
      {"START = '2024-02-30x'", "START is a timestamp", 8},
      {"CHANGE(THREADS) > 1", "only 4-byte changes", 0},
      {"PCTCHANGE(LOAD) > 1", "only 4-byte changes", 0},
      {"CPU = CHANGE(CPU)", "a column is compared with a value, another column or MKTIME", 6},
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
  const struct {
    const char* predicate;
    int position;
    const char* rendered;
  } cases[] = {
      {"CPU > FOO", 6, "error: unknown column 'FOO'\n  CPU > FOO\n        ^\n"},
      {"CPU >", 5, "error: unknown column 'FOO'\n  CPU >\n       ^\n"},
      // Only the line of the error, named; characters, not bytes, before the caret; tabs kept.
      {"CPU > 1 AND\n  FOO = 2", 14, "error: line 2: unknown column 'FOO'\n    FOO = 2\n    ^\n"},
      {"CITY = 'Zürich' OR FOO", 20, "error: unknown column 'FOO'\n  CITY = 'Zürich' OR FOO\n                     ^\n"},
      {"\tFOO", 1, "error: unknown column 'FOO'\n  \tFOO\n  \t^\n"},
      {"CPU > 1", -1, "error: unknown column 'FOO'\n"},
  };
  for (const auto& c : cases) {
    // The place travels as a line and a character, as the compiler's C interface reports it.
    const CompileError::Place place = CompileError{"unknown column 'FOO'", c.position}.PlaceIn(c.predicate);
    VxcError error{VXC_BAD_PREDICATE, place.line, place.column, "unknown column 'FOO'"};
    EXPECT_EQ(CompileErrorText(c.predicate, error), c.rendered) << c.predicate;
  }
}

TEST(VexfiltPredicates, UtfColumnsCollateInTheChosenLanguage) {
  // Swedish sorts Ä after Z, German beside A; a byte comparison would put it after Z for both.
  const std::vector<Row> rows = {{{"CITY", "Ärlig"}}, {{"CITY", "Zug"}}, {{"CITY", "Arosa"}}};
  const struct {
    const char* language;
    std::vector<bool> verdicts;
  } cases[] = {{"de_DE", {true, false, true}}, {"sv_SE", {false, false, true}}, {"en", {true, false, true}}};
  for (const auto& c : cases) {
    CompileOptions options;
    std::string error;
    ASSERT_TRUE(ParseLanguage(c.language, &options.languageId, &error)) << error;
    EXPECT_EQ(Verdicts("CITY < 'B'", rows, options), c.verdicts) << c.language;
  }
}

TEST(VexfiltLanguage, NamesAndNumbers) {
  const struct {
    const char* text;
    std::uint32_t id;
  } good[] = {{"en_US", 0x03480001}, {"sv_SE", 0x02F00008}, {"de-CH", 0x02F40002}, {"fr", 0x00FA0003},
              {"PL_pl", 0x0268000D}, {"0x02760002", 0x02760002}};
  for (const auto& c : good) {
    std::uint32_t id = 0;
    std::string error;
    EXPECT_TRUE(ParseLanguage(c.text, &id, &error)) << c.text << ": " << error;
    EXPECT_EQ(id, c.id) << c.text;
  }
  EXPECT_EQ(LanguageName(0x02F40002), "de_CH");
  EXPECT_EQ(LanguageName(0x0348000E), "0x0348000E") << "language 14 is not in the table";
  const std::pair<const char*, const char*> bad[] = {
      {"xx_US", "unknown language 'xx'"}, {"de_XX", "unknown country 'XX'"}, {"de_150", "unknown country '150'"},
      {"0x1G", "is not a language id"}};
  for (const auto& [text, message] : bad) {
    std::uint32_t id = 0;
    std::string error;
    EXPECT_FALSE(ParseLanguage(text, &id, &error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
  }
}

// The plan's jump list: each element's routine and where its true and false outcomes lead (an element id,
// or the verdict when evaluation leaves the plan).
std::string Wiring(const std::string& predicate) {
  const Schema schema = TestSchema();
  CompileOptions options;
  options.keyColumns = {"NAME"};
  CompileError compileError;
  const auto compiled = CompilePredicate(predicate, schema, options, &compileError);
  if (!compiled) return compileError.message;
  std::string error;
  const auto view = ReadPlan(compiled->plan, &error);
  if (!view) return error;
  const auto target = [&](int index) {
    if (index == kPass) return std::string("pass");
    if (index == kFail) return std::string("fail");
    return std::to_string(view->elements[static_cast<std::size_t>(index)].record.elementId);
  };
  std::string out;
  for (const PlanElementView& e : view->elements) {
    out += (out.empty() ? "" : ", ") + e.routine + " " + target(e.onTrue) + "/" + target(e.onFalse);
  }
  return out;
}

TEST(VexfiltPredicates, ConditionsCompileToShortCircuitJumps) {
  const std::pair<std::string, std::string> cases[] = {
      {"CPU > 90", "ColGTLit pass/fail"},
      {"CPU > 90 AND PORT = 80", "ColGTLit 2/fail, ColEQLit pass/fail"},
      {"CPU > 90 OR PORT = 80", "ColGTLit pass/2, ColEQLit pass/fail"},
      // NOT exchanges the targets; a verdict that leaving the plan cannot give goes through a sink.
      {"NOT CPU > 90", "ColGTLit 3/2, True pass/fail, NeverHolds pass/fail"},
      {"NOT (CPU > 90 AND PORT = 80)", "ColGTLit 2/3, ColEQLit 4/3, True pass/fail, NeverHolds pass/fail"},
      {"(CPU > 90 OR PORT = 80) AND NAME LIKE 'w*'", "ColGTLit 3/2, ColEQLit 3/fail, ColLILit pass/fail"},
      {"CPU > 1 AND (PORT = 2 OR NOT IO = 3)",
       "ColGTLit 2/fail, ColEQLit pass/3, ColEQLit 5/4, True pass/fail, NeverHolds pass/fail"},
      // Functions hand their value to the next element; without a value the comparison is false.
      {"CHANGE(IO) > 5", "CHGLong 2/fail, ResultGTLit pass/fail"},
      // The side with a change function goes first, so that every row reaches it.
      {"CPU > 80 OR CHANGE(IO) > 500", "CHGLong 2/3, ResultGTLit pass/3, ColGTLit pass/fail"},
      {"MKTIME(START, '+1D') > '2024-01-01'", "MKTIME 2/fail, FuncGTLit pass/fail"},
      {"STOP > MKTIME(START, '+1D')", "MKTIME 2/fail, ColGTLit pass/fail"},
      // The search holds for no record and leads on either way.
      {"KEYS(NAME) IN ('a') AND CPU > 1", "Search 2/2, ColGTLit pass/fail"},
      {"KEYS(NAME) IN ('a')", "Search 2/2, True pass/fail"},
      // Locale-aware routines sit 25 slots on.
      {"CITY LIKE 'Z*' AND NOTE CONTAINS 'x'", "FixColLILit 2/fail, VarColStrLit pass/fail"},
      {"SUBSTR(NAME, 1, 2) = 'ab' OR THREADS > CPU", "ColEQLit pass/2, ColGTCol pass/fail"},
      // A UTF-8 pattern reads the value and its end mark, which is never empty.
      {"NOTE LIKE 'e*'", "FixColLILit pass/fail"},
      {"CITY LIKE '*'", "FixColLILit pass/fail"},
  };
  for (const auto& [predicate, wiring] : cases) EXPECT_EQ(Wiring(predicate), wiring) << predicate;
}

TEST(VexfiltPlanFile, KeepsTheBytesAndTheSchema) {
  SavedPlan saved{"A int32, B char(4)", "A > 1\nAND B = 'x'", {{1, 2, 3, '\n', 0}, {9, 8}}};
  const std::string bytes = EncodePlanFile(saved);
  SavedPlan back;
  std::string error;
  ASSERT_TRUE(DecodePlanFile(bytes, &back, &error)) << error;
  EXPECT_EQ(back.schema, saved.schema);
  EXPECT_EQ(back.predicate, "A > 1 AND B = 'x'") << "the predicate is kept on one line";
  EXPECT_EQ(back.compiled.plan, saved.compiled.plan);
  EXPECT_EQ(back.compiled.pool, saved.compiled.pool);
  const std::pair<std::string, std::string> bad[] = {
      {"PLAN\n", "not a vexfilt plan file"},
      {bytes.substr(0, bytes.size() - 2), "cut short inside its pool bytes"},
      {bytes + "x", "goes on after its pool"},
      {"VEXFILT PLAN 3\nschema A int32\nplan 0\n\npool 1\nx\n", "plan length '0' is not 1 to 32767"},
      {"VEXFILT PLAN 3\nschema A int32\npool 1\nx\n", "no 'plan' block"},
      {"VEXFILT PLAN 3\nplan 1\nx\n", "no 'schema' line"},
      {"VEXFILT PLAN 1\nschema A int32\nplan 1\nx\npool 1\nx\n", "written by an earlier vexfilt"},
      {"VEXFILT PLAN 2\nschema A int32, N utf8char(4)\nplan 1\nx\npool 1\nx\n", "held UTF-8 columns otherwise"},
  };
  for (const auto& [text, message] : bad) {
    EXPECT_FALSE(DecodePlanFile(text, &back, &error)) << text;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  EXPECT_TRUE(DecodePlanFile("VEXFILT PLAN 2\nschema A int32, B char(4)\nplan 1\nx\npool 1\nx\n", &back, &error))
      << "a plan of the version before over columns laid out as now still loads: " << error;
}

TEST(VexfiltSchema, TimestampsReadAsPeopleWriteThem) {
  const std::pair<std::string, std::string> cases[] = {
      {"2024-01-15 12:30:00.250", "1240115123000250"}, {"2024-01-15T12:30", "1240115123000000"},
      {"2024-01-15", "1240115000000000"},              {"1999-12-31 23:59:59", "0991231235959000"},
      {"1240115123000250", "1240115123000250"},        {" 2024-01-15 ", "1240115000000000"},
      {"2024-13-01", ""},                              {"2024-01-15 12", ""},
      {"2024/01/15", ""},                              {"2024-01-15 12:30:00.5", ""},
      {"", ""},                                        {"1899-12-31", ""},
  };
  for (const auto& [text, digits] : cases) EXPECT_EQ(TimestampDigits(text), digits) << text;
  EXPECT_EQ(TimestampText("1240115123000250"), "2024-01-15 12:30:00.250");
  EXPECT_EQ(TimestampText("bad             "), "bad") << "what is not a timestamp is shown as it is";
}

TEST(VexfiltPredicates, ExpectedKeysThatDidNotComeAreRetrieved) {
  const Schema schema = TestSchema();
  CompileError error;
  const auto compiled = CompilePredicate("KEYS(NAME) IN ('db', 'web-0', 'gone') AND CPU > 50", schema, {}, &error);
  ASSERT_TRUE(compiled.has_value()) << error.message;
  ASSERT_EQ(KeysField(*compiled, schema), schema.Find("NAME"));
  const FilterOwner filter(*compiled);
  ASSERT_EQ(filter.status(), 0);
  FLT1_BeginSample(filter.handle());
  std::vector<bool> verdicts;
  for (const Row& row : kRows) verdicts.push_back(FLT1_FilterRecord(filter.handle(), 0, RecordOf(schema, row).data()) == 0);
  EXPECT_EQ(verdicts, (std::vector<bool>{true, false, true})) << "the keys do not change the verdicts";
  std::uint32_t result = 0;
  FLT1_EndSample(filter.handle(), &result);
  EXPECT_EQ(result & 0x8000u, 0x8000u);
  std::vector<std::string> missing;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(schema.recordLength()), ' ');
  for (auto length = static_cast<std::uint32_t>(buffer.size());
       FLT1_RetrieveRecord(filter.handle(), buffer.data(), &length) == 0; length = static_cast<std::uint32_t>(buffer.size())) {
    missing.push_back(schema.Decode(*KeysField(*compiled, schema), buffer.data()));
  }
  EXPECT_EQ(missing, (std::vector<std::string>{"gone"}));
  EXPECT_EQ(Verdicts("KEYS(NAME) IN ('db')", kRows), (std::vector<bool>{true, true, true})) << "keys alone pass all";
}

TEST(VexfiltSchema, LayoutAndErrors) {
  const Schema schema = TestSchema();
  EXPECT_EQ(schema.Find("state")->column.offset, 9) << "char(8) takes a byte more, that ends its value";
  EXPECT_EQ(schema.Find("CPU")->column.offset, 16) << "so does varchar(6)";
  EXPECT_EQ(schema.Find("NOTE")->column.offset, 49) << "utf8char(8) takes its length, the value and an end mark";
  EXPECT_EQ(schema.Find("NOTE")->marked.offset, 51);
  EXPECT_EQ(schema.recordLength(), 9 + 7 + 4 + 2 + 2 + 4 + 8 + 13 + 15 + 16 + 16);
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
  EXPECT_NE(schema.Encode(*schema.Find("LOAD"), "1e309", record).find("not a finite number"), std::string::npos);
  EXPECT_EQ(schema.Encode(*schema.Find("LOAD"), "1e-310", record), "") << "a subnormal number is a number, as in a predicate";
  EXPECT_NE(schema.Encode(*schema.Find("NAME"), "123456789", record).find("longer than char(8)"), std::string::npos);
  EXPECT_EQ(schema.Encode(*schema.Find("STATE"), "ab", record), "");
  EXPECT_EQ(schema.Decode(*schema.Find("STATE"), record.data()), "ab");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 9, 7), std::string("ab\0\x01\x01\x01\x01", 7))
      << "the value, a zero byte, then 0x01 fill";
  EXPECT_EQ(schema.Encode(*schema.Find("NAME"), "ab  ", record), "");
  EXPECT_EQ(schema.Decode(*schema.Find("NAME"), record.data()), "ab") << "a char value's trailing blanks are padding";
  EXPECT_EQ(schema.Encode(*schema.Find("STATE"), "ab  ", record), "");
  EXPECT_EQ(schema.Decode(*schema.Find("STATE"), record.data()), "ab  ") << "a varchar value keeps them";
  EXPECT_NE(schema.Encode(*schema.Find("NAME"), std::string("a\x01b", 3), record).find("0x00 or 0x01"), std::string::npos);
  EXPECT_EQ(schema.Encode(*schema.Find("NAME"), std::string("a\0b", 3), record),
            "'a\\x00b' holds a byte 0x00 or 0x01, which end text values in records")
      << "a zero byte in a value is shown, not taken for the message's end";
  EXPECT_EQ(schema.Encode(*schema.Find("CITY"), "Z\xC3\xBCrich ", record), "");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 36, 13), std::string("\x07\0Z\xC3\xBCrich\xEF\xBF\xBF  ", 13))
      << "a utf8char value without its trailing blanks: its length, the value, the end mark, blanks";
  EXPECT_EQ(schema.Decode(*schema.Find("CITY"), record.data()), "Z\xC3\xBCrich");
  EXPECT_EQ(schema.Encode(*schema.Find("NOTE"), "b ", record), "");
  EXPECT_EQ(schema.Decode(*schema.Find("NOTE"), record.data()), "b ") << "a utf8varchar value keeps them";
  for (const char* bad : {"a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF"}) {
    EXPECT_NE(schema.Encode(*schema.Find("NOTE"), bad, record).find("is not valid UTF-8"), std::string::npos) << bad;
  }
  EXPECT_NE(schema.Encode(*schema.Find("NOTE"), "a\xEF\xBF\xBF", record).find("holds U+FFFF"), std::string::npos);
}

TEST(VexfiltSchema, ColumnsPlacedAtTheirOffsetsDescribeAHostsRecord) {
  std::string error;
  const auto schema = Schema::Parse("PID int32 at 4, NAME char(7) at 8, CPU int16, record 64", &error);
  ASSERT_TRUE(schema.has_value()) << error;
  EXPECT_EQ(schema->Find("PID")->column.offset, 4);
  EXPECT_EQ(schema->Find("CPU")->column.offset, 16) << "a column without 'at' follows the one before it";
  EXPECT_EQ(schema->recordLength(), 64);
  EXPECT_EQ(schema->Text(), "PID int32 at 4, NAME char(7) at 8, CPU int16 at 16, record 64");
  const auto again = Schema::Parse(schema->Text(), &error);
  ASSERT_TRUE(again.has_value()) << error;
  EXPECT_EQ(again->Text(), schema->Text()) << "the text reads back as the same layout";
  EXPECT_EQ(Schema::Parse("A int32, B int16", &error)->Text(), "A int32, B int16") << "a packed schema stays plain";

  CompileError compileError;
  const auto compiled = CompilePredicate("CPU > 5 AND NAME LIKE 'we?*'", *schema, {}, &compileError);
  ASSERT_TRUE(compiled.has_value()) << compileError.message;
  const FilterOwner filter(*compiled);
  ASSERT_EQ(filter.status(), 0);
  const FilterHandle handle = filter.handle();
  std::vector<std::uint8_t> record = schema->EmptyRecord();
  EXPECT_EQ(record.size(), 64u);
  EXPECT_EQ(schema->Encode(*schema->Find("NAME"), "web", record), "");
  EXPECT_EQ(schema->Encode(*schema->Find("CPU"), "9", record), "");
  EXPECT_EQ(FLT1_FilterRecord(handle, 0, record.data()), 0);
  EXPECT_EQ(schema->Encode(*schema->Find("CPU"), "5", record), "");
  EXPECT_NE(FLT1_FilterRecord(handle, 0, record.data()), 0);

  const std::pair<std::string, std::string> bad[] = {
      {"A int32 at 0, B int16 at 2", "schema column 'B' (bytes 2 to 3) overlaps 'A' (bytes 0 to 3)"},
      {"A int32, record 2", "the records are 2 bytes, but the columns take 4"},
      {"A int32 at -1", "bad offset '-1'"},
      {"A int32 at 29998", "longer than 30000 bytes"},
      {"A int32, record 0", "bad record length '0'"},
  };
  for (const auto& [text, message] : bad) {
    EXPECT_FALSE(Schema::Parse(text, &error).has_value()) << text;
    EXPECT_NE(error.find(message), std::string::npos) << text << ": " << error;
  }
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
