// The vexfilt language over several samples, run through the program's own run path (RunSamples, which
// prints the matching rows and the missing keys): cases kept by name.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#if __has_include("predicate.h")
#include "csv.h"
#include "predicate.h"
#include "run.h"
#include "schema.h"
#include "vexhost.h"

namespace vexfilt::cli {
namespace {

// ---------------------------------------------------------------------------------------------------------
// Running a predicate the way the program does.

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

RunOutput Run(const Schema& schema, const std::string& predicate, const CompileOptions& options,
              const std::vector<Sample>& samples) {
  RunOutput output;
  output.missing.resize(samples.size());
  CompileError error;
  const auto compiled = CompilePredicate(predicate, schema, options, &error);
  if (!compiled) {
    output.error = error.Render(predicate);
    return output;
  }
  Captured out, err;
  RunOptions run;
  run.sampleHeadings = true;
  output.status = RunSamples(schema, *compiled, samples, run, out.file(), err.file());
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
// Cases kept by name.

using Table = std::vector<std::vector<std::string>>;  // a sample: the header, then the rows

// The run of `predicate` over the samples, which the caller expects to compile and run.
RunOutput RunTables(const char* schemaText, const std::string& predicate, const std::vector<Table>& tables,
                    const std::vector<std::string>& keyColumns = {}) {
  const Schema schema = ParsedSchema(schemaText);
  std::vector<Sample> samples;
  for (const Table& table : tables) samples.push_back(CsvSample("sample" + std::to_string(samples.size() + 1), table));
  CompileOptions options;
  options.keyColumns = keyColumns;
  RunOutput output = Run(schema, predicate, options, samples);
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

}  // namespace
}  // namespace vexfilt::cli

#endif
