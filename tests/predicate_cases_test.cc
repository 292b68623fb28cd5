// Predicates over rows, kept as data in tests/data/cases/*.cases: compiled through the compiler's C interface
// and run by the library, one test per file. A failing case names its file and line.
//
//   # a comment line
//   schema    K char(8), V int32    begins a block: the columns in record order, as vexfilt reads them
//   key       K                     a column that tells a row of one sample from the next, for CHANGE
//   row       A, 100                the next row: values in schema order; an empty or missing one stays empty
//   expect    CHANGE(V) = 30   yes  whether the row passes the predicate (yes or no)
//   sample                          ends the sample the block's Filters are in and begins the next
//
// Each predicate of a block is compiled once, into one Filter that sees the rows of its own expect lines in
// their samples. Samples are a second apart on the library's clock, so a key missing from a whole sample is
// forgotten at its end. UTF-8 columns collate as en_US does; the time zone is UTC.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "vexcompile.h"
#include "vexfilt.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

const std::string kCases = VEXFILT_TEST_DATA "/cases/";

std::uint32_t g_seconds = 1000;
void SampleClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  *seconds = g_seconds;
  *nanoseconds = 0;
}

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t");
  return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A compiled predicate and its Filter, released together; `failure` says why either could not be made.
struct Compiled {
  ~Compiled() {
    FLT1_DestroyFilter(handle);  // a handle without a Filter is accepted
    VXC_FreePlan(plan);
  }
  VxcPlan* plan = nullptr;
  FilterHandle handle{};
  std::string failure;
};

// The lines from one `schema` line to the next.
class Block {
 public:
  explicit Block(std::string schema) : schema_(std::move(schema)) {}

  std::vector<std::string> keys, row;

  void NextSample() {
    std::uint32_t result = 0;
    for (auto& [predicate, compiled] : filters_) {
      if (!compiled.failure.empty()) continue;
      if (inSample_) FLT1_EndSample(compiled.handle, &result);
      FLT1_BeginSample(compiled.handle);
    }
    inSample_ = true;
  }

  // "yes" when the row passes `predicate`, "no" when it fails it, or what kept it from being run.
  std::string Verdict(const std::string& predicate) {
    const auto [at, added] = filters_.try_emplace(predicate);
    Compiled& compiled = at->second;
    if (added) Create(predicate, compiled);
    if (!compiled.failure.empty()) return compiled.failure;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(VXC_RecordLength(compiled.plan)));
    const auto length = static_cast<std::int32_t>(record.size());
    VxcError error{};
    VXC_ClearRecord(compiled.plan, record.data(), length, &error);
    for (std::size_t i = 0; i < row.size(); ++i) {
      const char* column = VXC_ColumnName(compiled.plan, static_cast<std::int32_t>(i));
      if (row[i].empty()) continue;
      if (VXC_PutValue(compiled.plan, column, row[i].c_str(), record.data(), length, &error) != VXC_OK) {
        return std::string("the row: ") + error.message;
      }
    }
    return FLT1_FilterRecord(compiled.handle, 0, record.data()) == 0 ? "yes" : "no";
  }

 private:
  void Create(const std::string& predicate, Compiled& compiled) {
    std::vector<const char*> keyNames;
    for (const std::string& key : keys) keyNames.push_back(key.c_str());
    const VxcOptions options{nullptr, nullptr, keyNames.data(), static_cast<std::int32_t>(keyNames.size())};
    VxcError error{};
    if (VXC_CompileText(schema_.c_str(), predicate.c_str(), &options, &compiled.plan, &error) != VXC_OK) {
      compiled.failure = std::string("refused: ") + error.message;
      return;
    }
    std::int16_t planLength = 0, poolLength = 0;
    const void* plan = VXC_PlanBytes(compiled.plan, &planLength);
    const void* pool = VXC_PoolBytes(compiled.plan, &poolLength);
    if (const std::int32_t st = FLT1_CreateFilter(0, plan, planLength, pool, poolLength, &compiled.handle); st != 0) {
      compiled.failure = "FLT1_CreateFilter gives " + std::to_string(st);
    } else if (inSample_) {
      FLT1_BeginSample(compiled.handle);
    }
  }

  std::string schema_;
  std::map<std::string, Compiled> filters_;
  bool inSample_ = false;
};

class PredicateCases : public ::testing::TestWithParam<std::string> {};

TEST_P(PredicateCases, Hold) {
  const std::string path = kCases + GetParam() + ".cases";
  std::ifstream file(path);
  ASSERT_TRUE(file) << path;
  testing::UtcZone zone;
  testing::CapturedTrace quiet;  // a timestamp MKTIME cannot read is reported as a trace line
  VEXH_SetClock(SampleClock, nullptr);
  std::optional<Block> block;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    std::istringstream words(line);
    std::string word, rest;
    words >> word;
    std::getline(words, rest);
    rest = Trim(rest);
    if (word.empty() || word[0] == '#') continue;
    if (word == "schema") {
      block.emplace(rest);
    } else if (!block) {
      ADD_FAILURE_AT(path.c_str(), number) << "a schema line must come first";
    } else if (word == "key") {
      block->keys.push_back(rest);
    } else if (word == "row") {
      block->row.clear();
      std::istringstream values(rest);
      for (std::string value; std::getline(values, value, ',');) block->row.push_back(Trim(value));
    } else if (word == "sample") {
      ++g_seconds;
      block->NextSample();
    } else if (const std::size_t split = rest.find_last_of(" \t"); word == "expect" && split != std::string::npos) {
      const std::string predicate = Trim(rest.substr(0, split)), expected = rest.substr(split + 1);
      const std::string verdict = block->Verdict(predicate);
      if (verdict != expected) {
        ADD_FAILURE_AT(path.c_str(), number) << predicate << ": expected " << expected << ", got " << verdict;
      }
    } else {
      ADD_FAILURE_AT(path.c_str(), number) << "not a case line: " << line;
    }
  }
  block.reset();
  VEXH_SetClock(nullptr, nullptr);
}

std::vector<std::string> CaseFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kCases)) {
    if (entry.path().extension() == ".cases") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Files, PredicateCases, ::testing::ValuesIn(CaseFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace vexfilt
