// The vexfilt program's schema, CSV reader and predicate compiler: predicates run over samples as the program
// runs them, and the errors a person sees. The predicate cases are kept in tests/data/predicates.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "error_text.h"
#include "language.h"
#include "plan_file.h"
#include "plan_view.h"
#include "predicate.h"
#include "schema.h"
#include "sql_oracle.h"
#include "test_support.h"

namespace vexfilt::cli {
namespace {

// The cases of one file of tests/data/predicates, a line each after the lines that set them up:
//
//   schema ID int32, K char(4)     starts a group: its schema, and no samples, key columns or language yet
//   key K                          the key columns, for CHANGE
//   language de_DE                 the collation of UTF-8 columns
//   sample                         a sample: the CSV lines indented below it, its header first; the samples
//     ID,K                         that follow one another are one run, and a sample after a case begins
//     1,a                          the next run
//   K = 'a' -> 1 3                 the run matches these rows, named by their first field ('quoted' when it
//                                  is empty or holds a blank), or none; "missing" and each sample's missing
//                                  keys follow when a sample missed one, '|' between samples and '-' for none
//   K = 1 ! with a 'quoted' @4     it does not compile: words of its message, and the byte it points at
//   K = 'a' => ColEQLit pass/fail  it compiles to these routines, and where their true and false outcomes lead
//
// A line that begins with '#' is a comment; \xHH is a byte.
class PredicateCases {
 public:
  explicit PredicateCases(std::filesystem::path path) : path_(std::move(path)) {}

  void Run() {
    std::ifstream in(path_);
    ASSERT_TRUE(in) << path_;
    bool runStarted = false;
    for (std::string line; std::getline(in, line);) {
      ++line_;
      line = Unescaped(line);
      if (line.empty() || line[0] == '#') continue;
      if (line.starts_with("schema ")) {
        schema_ = line.substr(7), language_.clear(), keys_.clear(), samples_.clear();
      } else if (line.starts_with("key ")) {
        keys_.clear();
        for (std::size_t at = 4; at < line.size(); at = line.find_first_not_of(", ", line.find_first_of(", ", at))) {
          keys_.push_back(line.substr(at, line.find_first_of(", ", at) - at));
        }
      } else if (line.starts_with("language ")) {
        language_ = line.substr(9);
      } else if (line == "sample") {
        if (runStarted) samples_.clear();
        runStarted = false;
        samples_.push_back({"sample" + std::to_string(samples_.size() + 1), ""});
      } else if (line.starts_with("  ") && !samples_.empty()) {
        samples_.back().text += line.substr(2) + "\n";
      } else {
        runStarted = true;
        Case(line);
      }
    }
  }

 private:
  static std::string Unescaped(const std::string& line) {
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const bool escape = i + 3 < line.size() && line.compare(i, 2, "\\x") == 0 &&
                          std::isxdigit(static_cast<unsigned char>(line[i + 2])) &&
                          std::isxdigit(static_cast<unsigned char>(line[i + 3]));
      text += escape ? static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16)) : line[i];
      if (escape) i += 3;
    }
    return text;
  }

  void Case(const std::string& line) {
    std::size_t at = line.starts_with("! ") ? 0 : std::string::npos, length = 2;
    for (const char* marker : {" -> ", " => ", " ! "}) {
      const std::size_t found = line.rfind(marker);
      if (found != std::string::npos && (at == std::string::npos || found > at))
        at = found, length = std::strlen(marker);
    }
    if (at == std::string::npos) return Fail(line, "neither ->, => nor ! follows the predicate");
    const std::string predicate = line.substr(0, at), expected = line.substr(at + length);
    const char kind = line[at == 0 ? 0 : at + 1];
    if (kind == '-') {
      const testing::RunOutput output =
          testing::Run(schema_, predicate, keys_, samples_, language_.empty() ? nullptr : language_.c_str());
      if (const std::string rows = Rows(output); rows != expected) Fail(predicate, "matches " + rows);
      return;
    }
    std::string error;
    const auto schema = Schema::Parse(schema_, &error);
    CompileOptions options;
    options.keyColumns = keys_;
    if (!schema || (!language_.empty() && !ParseLanguage(language_, &options.languageId, &error)))
      return Fail(line, error);
    CompileError problem;
    const auto compiled = CompilePredicate(predicate, *schema, options, &problem);
    if (kind == '=') {
      const std::string jumps = compiled ? Jumps(*compiled) : "an error: " + problem.message;
      if (jumps != expected) Fail(predicate, "compiles to " + jumps);
      return;
    }
    const std::size_t place = expected.rfind(" @");
    const bool found =
        place != std::string::npos && problem.message.find(expected.substr(0, place)) != std::string::npos;
    if (compiled || !found || std::to_string(problem.position) != expected.substr(place + 2)) {
      Fail(predicate, compiled ? "compiles" : problem.message + " @" + std::to_string(problem.position));
    }
  }

  // What the run printed, written as the cases write it.
  static std::string Rows(const testing::RunOutput& output) {
    if (!output.Ran()) return "status " + std::to_string(output.status) + ": " + output.error;
    const auto quoted = [](const std::string& text, bool always) {
      return always || text.empty() || text.find(' ') != std::string::npos ? "'" + text + "'" : text;
    };
    std::string rows, missing;
    for (const std::string& id : output.ids) rows += (rows.empty() ? "" : " ") + quoted(id, false);
    for (std::size_t s = 0; s < output.missing.size(); ++s) {
      missing += s ? " |" : "";
      if (output.missing[s].empty()) missing += " -";
      for (const std::string& key : output.missing[s]) missing += " " + quoted(key, true);
    }
    return (rows.empty() ? "none" : rows) + (missing.find('\'') != std::string::npos ? " missing" + missing : "");
  }

  // The plan's jump list: each element's routine and where its true and false outcomes lead (an element id,
  // or the verdict when evaluation leaves the plan).
  static std::string Jumps(const CompiledPlan& compiled) {
    std::string error;
    const auto view = ReadPlan(compiled.plan, &error);
    if (!view) return error;
    const auto target = [&](int index) {
      if (index == kPass || index == kFail) return std::string(index == kPass ? "pass" : "fail");
      return std::to_string(view->elements[static_cast<std::size_t>(index)].record.elementId);
    };
    std::string out;
    for (const PlanElementView& e : view->elements) {
      out += (out.empty() ? "" : ", ") + e.routine + " " + target(e.onTrue) + "/" + target(e.onFalse);
    }
    return out;
  }

  void Fail(const std::string& what, const std::string& outcome) const {
    ADD_FAILURE_AT(path_.c_str(), line_) << what << ": " << outcome;
  }

  std::filesystem::path path_;
  int line_ = 0;
  std::string schema_, language_;
  std::vector<std::string> keys_;
  std::vector<Sample> samples_;
};

TEST(VexfiltPredicates, AnswerAsTheirCasesSay) {
  const testing::UtcZone utc;  // MKTIME moves local time
  const testing::QuietLibrary quiet;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(VEXFILT_TEST_DATA "/predicates")) {
    if (entry.path().extension() != ".cases") continue;
    PredicateCases(entry.path()).Run();
    ++files;
  }
  EXPECT_GE(files, 3);
}

// Each text is refused by `parse`, with an error that holds the words given.
template <typename Parse>
void ExpectRefusals(const std::vector<std::pair<std::string, std::string>>& cases, Parse&& parse) {
  for (const auto& [text, words] : cases) {
    std::string error;
    EXPECT_FALSE(parse(text, &error)) << text;
    EXPECT_NE(error.find(words), std::string::npos) << text << ": " << error;
  }
}

TEST(VexfiltPredicates, APlanLongerThanItsLengthFieldHoldsIsRefused) {
  std::string error;
  const auto schema = Schema::Parse("CPU int32", &error);
  CompileError problem;
  std::string predicate = "CPU > 0";
  for (int i = 1; i < 170; ++i) predicate += " AND CPU > " + std::to_string(i);
  EXPECT_TRUE(CompilePredicate(predicate, *schema, {}, &problem).has_value())
      << "170 elements fit: " << problem.message;
  EXPECT_FALSE(CompilePredicate(predicate + " AND CPU > 170", *schema, {}, &problem).has_value());
  EXPECT_NE(problem.message.find("171 elements"), std::string::npos) << problem.message;
  EXPECT_NE(problem.message.find("a plan holds at most 170 elements"), std::string::npos) << problem.message;
}

TEST(VexfiltPredicates, RenderedErrorHasACaretUnderTheColumn) {
  const struct {
    const char* predicate;
    int position;
    const char* rendered;
  } cases[] = {
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

TEST(VexfiltLanguage, NamesAndNumbers) {
  const std::pair<const char*, std::uint32_t> good[] = {{"en_US", 0x03480001}, {"sv_SE", 0x02F00008},
                                                        {"de-CH", 0x02F40002}, {"fr", 0x00FA0003},
                                                        {"PL_pl", 0x0268000D}, {"0x02760002", 0x02760002}};
  for (const auto& [text, expected] : good) {
    std::uint32_t id = 0;
    std::string error;
    EXPECT_TRUE(ParseLanguage(text, &id, &error)) << text << ": " << error;
    EXPECT_EQ(id, expected) << text;
  }
  EXPECT_EQ(LanguageName(0x02F40002), "de_CH");
  EXPECT_EQ(LanguageName(0x0348000E), "0x0348000E") << "language 14 is not in the table";
  std::uint32_t id = 0;
  ExpectRefusals({{"xx_US", "unknown language 'xx'"},
                  {"de_XX", "unknown country 'XX'"},
                  {"de_150", "unknown country '150'"},
                  {"0x1G", "is not a language id"}},
                 [&](const std::string& text, std::string* error) { return ParseLanguage(text, &id, error); });
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
  ExpectRefusals(
      {{bytes.substr(0, bytes.size() - 2), "cut short inside its pool bytes"},
       {bytes + "x", "goes on after its pool"},
       {"VEXFILT PLAN 3\nschema A int32\nplan 0\n\npool 1\nx\n", "plan length '0' is not 1 to 32767"},
       {"VEXFILT PLAN 3\nschema A int32\npool 1\nx\n", "no 'plan' block"},
       {"VEXFILT PLAN 3\nplan 1\nx\n", "no 'schema' line"},
       {"VEXFILT PLAN 1\nschema A int32\nplan 1\nx\npool 1\nx\n", "written by an earlier vexfilt"},
       {"VEXFILT PLAN 2\nschema A int32, N utf8char(4)\nplan 1\nx\npool 1\nx\n", "held UTF-8 columns otherwise"}},
      [&](const std::string& text, std::string* message) { return DecodePlanFile(text, &back, message); });
  EXPECT_TRUE(DecodePlanFile("VEXFILT PLAN 2\nschema A int32, B char(4)\nplan 1\nx\npool 1\nx\n", &back, &error))
      << "a plan of the version before over columns laid out as now still loads: " << error;
}

TEST(VexfiltSchema, TimestampsReadAsPeopleWriteThem) {
  const std::pair<std::string, std::string> cases[] = {
      {"2024-01-15 12:30:00.250", "1240115123000250"},
      {"2024-01-15T12:30", "1240115123000000"},
      {"2024-01-15", "1240115000000000"},
      {"1999-12-31 23:59:59", "0991231235959000"},
      {"1240115123000250", "1240115123000250"},
      {" 2024-01-15 ", "1240115000000000"},
      {"2024-13-01", ""},
      {"2024-01-15 12", ""},
      {"2024/01/15", ""},
      {"2024-01-15 12:30:00.5", ""},
      {"", ""},
      {"1899-12-31", ""},
  };
  for (const auto& [text, digits] : cases) EXPECT_EQ(TimestampDigits(text), digits) << text;
  EXPECT_EQ(TimestampText("1240115123000250"), "2024-01-15 12:30:00.250");
  EXPECT_EQ(TimestampText("bad             "), "bad") << "what is not a timestamp is shown as it is";
}

const auto kSchemaRefused = [](const std::string& text, std::string* error) {
  return Schema::Parse(text, error).has_value();
};

TEST(VexfiltSchema, LayoutAndErrors) {
  std::string error;
  const auto schema = Schema::Parse(
      "NAME char(8), STATE varchar(6), CPU int32, THREADS int16, PORT uint16, IO uint32, LOAD double, "
      "CITY utf8char(8), NOTE utf8varchar(10), START timestamp, STOP timestamp",
      &error);
  ASSERT_TRUE(schema.has_value()) << error;
  EXPECT_EQ(schema->Find("state")->column.offset, 9) << "char(8) takes a byte more, that ends its value";
  EXPECT_EQ(schema->Find("CPU")->column.offset, 16) << "so does varchar(6)";
  EXPECT_EQ(schema->Find("NOTE")->column.offset, 49) << "utf8char(8) takes its length, the value and an end mark";
  EXPECT_EQ(schema->Find("NOTE")->marked.offset, 51);
  EXPECT_EQ(schema->recordLength(), 9 + 7 + 4 + 2 + 2 + 4 + 8 + 13 + 15 + 16 + 16);
  ExpectRefusals({{"A int64", "unknown type 'int64'"},
                  {"A char", "needs a length"},
                  {"A int32(4)", "takes no length"},
                  {"A int32, a int16", "declared twice"},
                  {"1A int32", "not a column name"},
                  {"A int32,, B int32", "is empty"},
                  {"A char(0)", "bad length"},
                  {"", "is empty"}},
                 kSchemaRefused);
  std::vector<std::uint8_t> record(static_cast<std::size_t>(schema->recordLength()), 0);
  const auto encoded = [&](const char* column, const std::string& value) {
    return schema->Encode(*schema->Find(column), value, record);
  };
  const auto decoded = [&](const char* column) { return schema->Decode(*schema->Find(column), record.data()); };
  const auto bytes = [&](int offset, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(record.data()) + offset, length);
  };
  EXPECT_NE(encoded("THREADS", "40000").find("not an int16"), std::string::npos);
  EXPECT_NE(encoded("PORT", "-1").find("not a uint16"), std::string::npos);
  EXPECT_NE(encoded("LOAD", "1.5x").find("not a finite number"), std::string::npos);
  EXPECT_NE(encoded("LOAD", "1e309").find("not a finite number"), std::string::npos);
  EXPECT_EQ(encoded("LOAD", "1e-310"), "") << "a subnormal number is a number, as in a predicate";
  EXPECT_NE(encoded("NAME", "123456789").find("longer than char(8)"), std::string::npos);
  EXPECT_EQ(encoded("STATE", "ab"), "");
  EXPECT_EQ(decoded("STATE"), "ab");
  EXPECT_EQ(bytes(9, 7), std::string("ab\0\x01\x01\x01\x01", 7)) << "the value, a zero byte, then 0x01 fill";
  EXPECT_EQ(encoded("NAME", "ab  "), "");
  EXPECT_EQ(decoded("NAME"), "ab") << "a char value's trailing blanks are padding";
  EXPECT_EQ(encoded("STATE", "ab  "), "");
  EXPECT_EQ(decoded("STATE"), "ab  ") << "a varchar value keeps them";
  EXPECT_NE(encoded("NAME", std::string("a\x01b", 3)).find("0x00 or 0x01"), std::string::npos);
  EXPECT_EQ(encoded("NAME", std::string("a\0b", 3)),
            "'a\\x00b' holds a byte 0x00 or 0x01, which end text values in records")
      << "a zero byte in a value is shown, not taken for the message's end";
  EXPECT_EQ(encoded("CITY", "Z\xC3\xBCrich "), "");
  EXPECT_EQ(bytes(36, 13), std::string("\x07\0Z\xC3\xBCrich\xEF\xBF\xBF  ", 13))
      << "a utf8char value without its trailing blanks: its length, the value, the end mark, blanks";
  EXPECT_EQ(decoded("CITY"), "Z\xC3\xBCrich");
  EXPECT_EQ(encoded("NOTE", "b "), "");
  EXPECT_EQ(decoded("NOTE"), "b ") << "a utf8varchar value keeps them";
  for (const char* bad : {"a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF"}) {
    EXPECT_NE(encoded("NOTE", bad).find("is not valid UTF-8"), std::string::npos) << bad;
  }
  EXPECT_NE(encoded("NOTE", "a\xEF\xBF\xBF").find("holds U+FFFF"), std::string::npos);
}

// A host's record: the columns at their offsets, in a record longer than they take. That a plan reads them
// there is a predicate case.
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
  ExpectRefusals({{"A int32 at 0, B int16 at 2", "schema column 'B' (bytes 2 to 3) overlaps 'A' (bytes 0 to 3)"},
                  {"A int32, record 2", "the records are 2 bytes, but the columns take 4"},
                  {"A int32 at -1", "bad offset '-1'"},
                  {"A int32 at 29998", "longer than 30000 bytes"},
                  {"A int32, record 0", "bad record length '0'"}},
                 kSchemaRefused);
}

}  // namespace
}  // namespace vexfilt::cli
