// Predicates over rows, kept as data in tests/data/cases/*.cases (the README there tells the format): each is
// compiled through the compiler's C interface and run by the library. One test per file; a failing case names
// its file and line.
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

// Samples are a second apart on the library's clock, so that a key no row of a whole sample has is forgotten
// at its end.
std::uint32_t g_seconds = 1000;
void SampleClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  *seconds = g_seconds;
  *nanoseconds = 0;
}

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t");
  return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A predicate compiled once for its block into one Filter, which sees the rows of the predicate's expect
// lines in their samples; `failure` says why either could not be made.
struct Compiled {
  ~Compiled() {
    FLT1_DestroyFilter(handle);  // a handle without a Filter is accepted
    VXC_FreePlan(plan);
  }
  VxcPlan* plan = nullptr;
  FilterHandle handle{};
  std::string failure;
};

// What the lines from one `schema` line to the next have said.
struct Block {
  std::string schema;
  std::vector<std::string> keys, row;
  std::map<std::string, Compiled> filters;  // by predicate
  bool inSample = false;
};

void Create(const Block& block, const std::string& predicate, Compiled& compiled) {
  std::vector<const char*> keys;
  for (const std::string& key : block.keys) keys.push_back(key.c_str());
  const VxcOptions options{nullptr, nullptr, keys.data(), static_cast<std::int32_t>(keys.size())};
  VxcError error{};
  if (VXC_CompileText(block.schema.c_str(), predicate.c_str(), &options, &compiled.plan, &error) != VXC_OK) {
    compiled.failure = std::string("refused: ") + error.message;
    return;
  }
  std::int16_t planLength = 0, poolLength = 0;
  const void* plan = VXC_PlanBytes(compiled.plan, &planLength);
  const void* pool = VXC_PoolBytes(compiled.plan, &poolLength);
  if (const std::int32_t st = FLT1_CreateFilter(0, plan, planLength, pool, poolLength, &compiled.handle); st != 0) {
    compiled.failure = "FLT1_CreateFilter gives " + std::to_string(st);
  } else if (block.inSample) {
    FLT1_BeginSample(compiled.handle);
  }
}

// "yes" when the block's row passes `predicate`, "no" when it fails it, or what kept it from being run.
std::string Verdict(Block& block, const std::string& predicate) {
  const auto [at, added] = block.filters.try_emplace(predicate);
  Compiled& compiled = at->second;
  if (added) Create(block, predicate, compiled);
  if (!compiled.failure.empty()) return compiled.failure;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(VXC_RecordLength(compiled.plan)));
  const auto length = static_cast<std::int32_t>(record.size());
  VxcError error{};
  VXC_ClearRecord(compiled.plan, record.data(), length, &error);
  for (std::size_t i = 0; i < block.row.size(); ++i) {
    const char* column = VXC_ColumnName(compiled.plan, static_cast<std::int32_t>(i));
    if (!block.row[i].empty() &&
        VXC_PutValue(compiled.plan, column, block.row[i].c_str(), record.data(), length, &error) != VXC_OK) {
      return std::string("the row: ") + error.message;
    }
  }
  return FLT1_FilterRecord(compiled.handle, 0, record.data()) == 0 ? "yes" : "no";
}

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
    const std::size_t split = rest.find_last_of(" \t");
    if (word.empty() || word[0] == '#') continue;
    if (word == "schema") {
      block.emplace().schema = rest;
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
      std::uint32_t result = 0;
      for (auto& [predicate, compiled] : block->filters) {
        if (!compiled.failure.empty()) continue;
        if (block->inSample) FLT1_EndSample(compiled.handle, &result);
        FLT1_BeginSample(compiled.handle);
      }
      block->inSample = true;
    } else if (word == "expect" && split != std::string::npos) {
      const std::string predicate = Trim(rest.substr(0, split)), expected = rest.substr(split + 1);
      const std::string verdict = Verdict(*block, predicate);
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
