// Many records in one call: every status, and every effect a later call or sample can see, is what the same
// records passed one by one give.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/filter.h"
#include "guarded_bytes.h"
#include "test_support.h"
#include "vexcompile.h"
#include "vexfilt.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using testing::GuardedBytes;
using testing::UtcZone;

constexpr const char* kSchema = "ID int32, NAME char(8), CPU int32, MEM double, IO uint32, TS timestamp";

// A Filter of one compiled predicate, with the compiled plan to write its records.
class Compiled {
 public:
  explicit Compiled(const char* predicate) {
    static const char* const kKey[] = {"NAME"};
    const VxcOptions options{"BATCH", nullptr, kKey, 1};
    VxcError error{};
    EXPECT_EQ(VXC_CompileText(kSchema, predicate, &options, &plan_, &error), VXC_OK) << predicate << ": " << error.message;
    std::int16_t planLength = 0, poolLength = 0;
    const void* plan = VXC_PlanBytes(plan_, &planLength);
    const void* pool = VXC_PoolBytes(plan_, &poolLength);
    EXPECT_EQ(FLT1_CreateFilter(0, plan, planLength, pool, poolLength, &handle_), 0) << predicate;
  }
  ~Compiled() {
    FLT1_DestroyFilter(handle_);
    VXC_FreePlan(plan_);
  }
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;

  FilterHandle handle() const { return handle_; }
  const Filter& filter() const { return *FilterOf(handle_); }
  std::size_t recordLength() const { return static_cast<std::size_t>(VXC_RecordLength(plan_)); }

  // `count` random rows, each `stride` bytes apart; bytes between records hold 0xA5.
  std::vector<std::uint8_t> Rows(std::mt19937& random, int count, std::size_t stride) const {
    static const char* const kNames[] = {"init", "cron", "web-0", "web-1", "db", "java"};
    std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(count), 0xA5);
    for (int i = 0; i < count; ++i) {
      void* record = rows.data() + static_cast<std::size_t>(i) * stride;
      const auto length = static_cast<std::int32_t>(recordLength());
      VXC_ClearRecord(plan_, record, length, nullptr);
      const auto put = [&](const char* column, const std::string& value) {
        EXPECT_EQ(VXC_PutValue(plan_, column, value.c_str(), record, length, nullptr), VXC_OK) << column << value;
      };
      put("ID", std::to_string(i));
      put("NAME", kNames[random() % 6]);
      put("CPU", std::to_string(static_cast<int>(random() % 120) - 10));
      put("MEM", std::to_string(static_cast<int>(random() % 2000)) + ".5");
      put("IO", std::to_string(random() % 5000 + (random() % 4 == 0 ? 4000000000u : 0u)));
      put("TS", "2024-01-15 1" + std::to_string(random() % 10) + ":30:00");
    }
    return rows;
  }

  // The statuses of the sample `rows` and, after it, the expected keys it missed; in batches of `batch`
  // records (0: one FLT1_FilterRecord call each).
  std::vector<std::string> Sample(const std::uint8_t* rows, int count, std::size_t stride, int batch) const {
    std::vector<std::string> seen;
    EXPECT_EQ(FLT1_BeginSample(handle_), 0);
    std::vector<std::int32_t> statuses(static_cast<std::size_t>(count));
    for (int i = 0; i < count;) {
      const int n = batch == 0 ? 1 : std::min(batch, count - i);
      const std::uint8_t* first = rows + static_cast<std::size_t>(i) * stride;
      if (batch == 0) {
        statuses[static_cast<std::size_t>(i)] = FLT1_FilterRecord(handle_, 0, first);
      } else {
        EXPECT_EQ(FLT1_FilterRecords(handle_, 0, first, stride, n, &statuses[static_cast<std::size_t>(i)]), 0);
      }
      i += n;
    }
    for (std::int32_t status : statuses) seen.push_back(std::to_string(status));
    // Each element's record, work fields included, as the last record to reach it left it.
    for (int e = 0; e < filter().elementCount; ++e) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(&filter().elements[e]);
      seen.push_back("element " + std::to_string(e) + " " + ::testing::PrintToString(std::vector<std::uint8_t>(bytes, bytes + kElementRecordSize)));
    }
    std::uint32_t result = 0;
    EXPECT_EQ(FLT1_EndSample(handle_, &result), 0);
    std::vector<std::uint8_t> key(recordLength());
    for (std::uint32_t length = static_cast<std::uint32_t>(key.size());
         (result & VXF_RESULT_UNMATCHED_ENTRIES) && FLT1_RetrieveRecord(handle_, key.data(), &length) == 0;
         length = static_cast<std::uint32_t>(key.size())) {
      char* name = nullptr;
      EXPECT_EQ(VXC_GetValue(plan_, "NAME", key.data(), static_cast<std::int32_t>(key.size()), &name, nullptr), VXC_OK);
      seen.push_back(std::string("missing ") + (name != nullptr ? name : "?"));
      VXC_FreeText(name);
    }
    return seen;
  }

 private:
  VxcPlan* plan_ = nullptr;
  FilterHandle handle_{};
};

// Plans of compares only, of several steps.
const char* const kSteps[] = {
    "(CPU > 50 OR MEM < 100.0) AND NOT (ID = 1 OR ID = 2)",
    "NOT (NAME = 'db' OR NAME = 'cron') AND (IO > 4000 OR CPU <= 3)",
    "(NAME = 'web-0' OR CPU < 20) AND MEM >= 1000.0 OR ID < 10",
    "NAME = 'java' AND CPU > 80 OR NAME = 'init' AND CPU < 5 OR IO > 4000000000",
};

// Stateless compares, joins and runs; a change function; expected keys; MKTIME; a jump into the middle.
const char* const kPredicates[] = {
    "CPU > 90",
    "CPU > 50 AND MEM < 1000.0 AND NAME = 'java'",
    "NAME LIKE 'web*'",
    "ID = 3 OR ID = 5 OR ID = 8 OR ID = 13 OR ID = 21",
    "CHANGE(IO) > 100 OR CPU < 0",
    "PCTCHANGE(IO) >= 50 AND NOT NAME = 'db'",
    "KEYS(NAME) IN ('cron', 'db', 'ghost') AND CPU > 100",
    "MKTIME(TS, '+90M') > '2024-01-15 16:00' OR NAME CONTAINS 'eb'",
    kSteps[0],
    kSteps[1],
    kSteps[2],
    kSteps[3],
    // A jump into a join of text compares: both the join and the jump write the member's work fields.
    "(CPU < 20 OR ID = 3) AND NAME = 'db' OR NAME = 'cron'",
};

TEST(BatchEvaluation, AgreesWithOneByOneOverSamplesBatchSizesAndStrides) {
  const UtcZone utc;
  for (const char* predicate : kPredicates) {
    for (const int batch : {1, 7, 64, 1000}) {
      const Compiled single(predicate), batched(predicate);
      std::mt19937 random(17);
      const std::size_t stride = single.recordLength() + (batch == 7 || batch == 64 ? 13 : 0);
      for (int sample = 0; sample < 3; ++sample) {
        const std::vector<std::uint8_t> rows = single.Rows(random, 1000, stride);
        const std::vector<std::string> expected = single.Sample(rows.data(), 1000, stride, 0);
        EXPECT_EQ(batched.Sample(rows.data(), 1000, stride, batch), expected)
            << predicate << ", batches of " << batch << ", sample " << sample;
        if (std::string(predicate).starts_with("KEYS")) {
          EXPECT_EQ(expected.back(), "missing ghost");
        }
      }
    }
  }
}

TEST(BatchEvaluation, RecordsEndingAtAGuardPage) {
  // Each compare family's loop over a batch, and the walk.
  for (const char* predicate : {"NAME LIKE 'web*'", "NAME = 'cron'", "MEM < 100.5", "IO > 4000", "IO <= 4000000100",
                                "CPU >= 50", "CPU < 50", "CPU <> 7", "ID = 1 OR ID = 2", "NAME LIKE 'web*' OR CPU > 90"}) {
    const Compiled filter(predicate);
    std::mt19937 random(5);
    const std::vector<std::uint8_t> rows = filter.Rows(random, 64, filter.recordLength());
    const GuardedBytes guarded(rows);
    std::vector<std::int32_t> statuses(64, -1), one(64, -1);
    ASSERT_EQ(FLT1_FilterRecords(filter.handle(), 0, guarded.data(), filter.recordLength(), 64, statuses.data()), 0);
    for (std::size_t i = 0; i < 64; ++i) one[i] = FLT1_FilterRecord(filter.handle(), 0, rows.data() + i * filter.recordLength());
    EXPECT_EQ(statuses, one) << predicate;
  }
}

TEST(BatchEvaluation, RefusesMissingArgumentsAndNegativeCountsWithoutEvaluating) {
  const Compiled filter("CHANGE(IO) > 0");
  std::uint8_t record[64] = {};
  std::int32_t statuses[2] = {-7, -7};
  EXPECT_EQ(FLT1_FilterRecords(FilterHandle{}, 0, record, 32, 1, statuses), 1);
  EXPECT_EQ(FLT1_FilterRecords(filter.handle(), 0, nullptr, 32, 1, statuses), 1);
  EXPECT_EQ(FLT1_FilterRecords(filter.handle(), 0, record, 32, 1, nullptr), 1);
  EXPECT_EQ(FLT1_FilterRecords(filter.handle(), 0, record, 32, -1, statuses), 1);
  EXPECT_EQ(FLT1_FilterRecords(filter.handle(), 0, record, 32, 0, statuses), 0);
  EXPECT_EQ(statuses[0], -7) << "nothing was evaluated";
}

}  // namespace
}  // namespace vexfilt
