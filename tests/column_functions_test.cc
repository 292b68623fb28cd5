// Column functions where the predicate language cannot reach (tests/data/predicates/routines.cases
// holds what it can): MKTIME's amounts and refusals, the regular-expression functions, and changes delivered
// into words no comparison of the language reads.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/change_control.h"
#include "core/memory.h"
#include "filter_fixture.h"
#include "record.h"
#include "routines/change_cache.h"
#include "routines/mktime.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::Record;

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// MKTIME normalises in local time: UTC here. Its refusals are traced.
class MakeTime : public ::testing::Test {
 protected:
  // The status of moving `timestamp`, then the timestamp it moved to when the status is 0.
  static std::string Shift(const std::string& timestamp, const std::string& increment, const std::string& sign) {
    std::uint8_t buffer[16] = {};
    std::int32_t written = 0;
    // An increment that is not there is not read: nothing is copied from it.
    const std::int32_t st = ShiftTimestamp(Bytes(timestamp), static_cast<std::int32_t>(timestamp.size()),
                                           increment.empty() ? nullptr : Bytes(increment),
                                           static_cast<std::int32_t>(increment.size()), Bytes(sign), buffer, &written);
    EXPECT_EQ(written, st == 0 ? 16 : 0) << timestamp << " " << sign << increment;
    return std::to_string(st) + (st == 0 ? " " + std::string(reinterpret_cast<char*>(buffer), 16) : "");
  }

  testing::UtcZone zone_;
  testing::CapturedTrace trace_;
};

TEST_F(MakeTime, AmountsAreReadAsAtoiReadsThemAndNeverWrapped) {
  const struct {
    std::string timestamp, increment, sign, moved;
    const char* why;
  } cases[] = {
      {"1230615000010200", "-1500T", "+", "0 1230615000008700", "a negative amount moves the other way"},
      {"1230615000010200", "-1500T", "-", "0 1230615000011700", "and back again"},
      {"1080301000000000", std::string(31, '0') + "1D", "+", "0 1080302000000000", "a digit past the 31st"},
      {"1080301000000000", "  \t-" + std::string(40, '0') + "90M", "+", "0 1080229223000000", "blanks and a sign"},
      {"1080301000000000", "12xD", "+", "0 1080313000000000", "digits up to the first other character"},
      {"1080301000000000", "4294967297D", "+", "57", "2^32 + 1 days is not one day"},
      {"1080301000000000", std::string(25, '9') + "D", "+", "57", "nor is it minus one"},
      {"1080301000000000", "3000000000T", "+", "0 1080404172000000", "three million seconds fit in a calendar"},
  };
  for (const auto& c : cases) EXPECT_EQ(Shift(c.timestamp, c.increment, c.sign), c.moved) << c.why;
}

TEST_F(MakeTime, RefusesWithStatusAndMessage) {
  EXPECT_EQ(Shift("108013123595999", "1T", "+"), "58");
  EXPECT_EQ(Shift("1080131 35959999", "1T", "+"), "57");
  EXPECT_EQ(Shift("1080131235959999", "5X", "+"), "71");
  EXPECT_EQ(trace_.lines(), (std::vector<std::string>{
                                "MKTIME timestamp arg has invalid length 15",
                                "Non-numeric MKTIME timestamp arg: \"1080131 35959999\" ",
                                "Invalid MKTIME increment unit 'X'",
                            }));
  trace_.Clear();
  EXPECT_EQ(Shift("1080131235959999", "2147483647D", "+"), "57") << "far beyond any calendar";
  ASSERT_FALSE(trace_.lines().empty());
  EXPECT_EQ(trace_.lines()[0].rfind("MKTIME result is not a valid timestamp", 0), 0u);
  EXPECT_TRUE(trace_.Contains("Rejected timestamp fields:"));
  EXPECT_EQ(Shift("1080301000000000", "", "+"), "71") << "an empty increment has no unit";
}

TEST_F(MakeTime, ElementReadsTheWholeIncrementFromThePool) {
  // The language writes at most nine digits; a host's pool may hold any number.
  const auto built = testing::MakeFilter([](PlanBuilder& plan, PoolBuilder& pool) {
    const Column stamp = Column::Char("TS", 0, 16);
    plan.MakeTime(stamp, pool.Char("+"), pool.Char(std::string(38, '0') + "1D"));
    plan.Compare(stamp, op::kEQ, pool.Char("1080302000000000"))
        .Slot(slot::kCharResultLit)
        .LeftLiteral(pool.Char(std::string(16, ' ')));
    plan.AllOf();
  });
  ASSERT_EQ(built->status(), 0);
  EXPECT_EQ(built->Evaluate(Record(32).Text(0, "1080301000000000").bytes()), 0);
}

TEST(RegularExpressions, EveryElementAnswersUnavailable) {
  for (const Column& column : {Column::Char("TXT", 0, 8), Column::VarChar("VTX", 8, 10)}) {
    const auto built = testing::MakeFilter([&](PlanBuilder& plan, PoolBuilder&) {
      plan.Function(fn::kRegexp).Column(column).Slot(column.Slot()).ResultTarget(1);
      plan.Always();
    });
    ASSERT_EQ(built->status(), 0);
    built->element(1).leftResult = 9;
    FilterElement& regexp = built->element(0);
    EXPECT_EQ(regexp.routine(regexp, Record(32, 'a').At(8, std::uint16_t{3}).bytes().data()), 5);
    EXPECT_EQ(built->element(1).leftResult, 0) << "the target's flag is cleared";
  }
}

// The host's clock, moved by the tests: each sample one second after the last.
std::uint32_t g_seconds = 1000;
void TestClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  *seconds = g_seconds;
  *nanoseconds = 0;
}

// A change element on `value` keyed by an 8-byte name at offset 8, handing its change to element 1.
class ChangeFunction : public ::testing::Test {
 protected:
  ChangeFunction() { VEXH_SetClock(TestClock, nullptr); }
  ~ChangeFunction() override { VEXH_SetClock(nullptr, nullptr); }

  void Build(const Column& value, std::uint16_t moreRightFlags = 0) {
    PoolBuilder pool;
    PlanBuilder plan("CHANGES");
    plan::Element change = testing::AddChange(plan, pool, value, Column::Char("KEY", 8, 8));
    change.RightFlags(change.Record().rightFlags | moreRightFlags);
    plan.Always();
    built_ = std::make_unique<BuiltFilter>(plan, pool);
    ASSERT_EQ(built_->status(), 0);
    NextSample();
  }
  void NextSample() {
    std::uint32_t result = 0;
    ASSERT_EQ(inSample_ ? FLT1_EndSample(built_->handle(), &result) : 0, 0);
    ++g_seconds;
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
    inSample_ = true;
  }
  template <typename T>
  std::int32_t See(const std::string& key, T value) {
    FilterElement& change = built_->element(0);
    return change.routine(change, Record(32, ' ').At(0, value).Text(8, key).bytes().data());
  }
  FilterElement& Target() { return built_->element(1); }

  std::unique_ptr<BuiltFilter> built_;
  bool inSample_ = false;
};

// A new key's record is stored in one block with its cache entry. Without memory for it, the element says
// so and answers 1000; once the table can take no more keys, it says the table refused and answers 207.
// Neither leaks, and the keys already held still answer.
TEST_F(ChangeFunction, NewKeyWithoutMemoryOrRoomSaysWhichAndLeaksNothing) {
  Build(Column::Long("V", 0));
  const long before = OutstandingBlocks();
  testing::CapturedTrace trace;
  VEXH_SetTraceLevel("VXO2_ChangeValue", 0x80);
  FailAllocationAfter(0);
  EXPECT_EQ(See("A", 1), 1000);
  FailAllocationAfter(-1);
  EXPECT_TRUE(trace.Contains("Change Function record Allocation error. status=1000")) << ::testing::PrintToString(trace.lines());
  EXPECT_EQ(OutstandingBlocks(), before);

  // 51,455 buckets at most, grown at three quarters: the 38,592nd key is refused.
  for (int i = 0; i < 38'591; ++i) {
    std::string key = std::to_string(i);
    key.insert(0, 8 - key.size(), '0');
    ASSERT_EQ(See(key, 1), 207) << i;
  }
  trace.Clear();
  const long held = OutstandingBlocks();
  EXPECT_EQ(See("refused!", 1), 207);
  EXPECT_TRUE(trace.Contains("Change Hashtable error. status=1000")) << ::testing::PrintToString(trace.lines());
  EXPECT_EQ(OutstandingBlocks(), held);
  NextSample();
  EXPECT_EQ(See("00012345", 5), 0) << "a held key still finds its value";
  VEXH_ResetTraceLevels();
}

// A value of one sample, then the next: a new key leaves the target alone, and the change goes into the word
// the target's routine reads, which for two bytes and doubles is none the language compares.
TEST_F(ChangeFunction, ChangeOfEachValueTypeGoesToItsTargetsWord) {
  const struct {
    Column value;
    double before, after, change;
  } cases[] = {{Column::Long("V", 0), 100, 130, 30},
               {Column::UShort("U", 0), 10, 5, -5},  // into the target's short word
               {Column::Double("D", 0), 1.5, 4.0, 2.5}};  // over both result words
  for (const auto& c : cases) {
    inSample_ = false;
    Build(c.value);
    const auto see = [&](double value) {
      switch (c.value.dataType) {
        case type::kDouble: return See("A", value);
        case type::kUShort: return See("A", static_cast<std::uint16_t>(value));
        default: return See("A", static_cast<std::int32_t>(value));
      }
    };
    Target().leftResult = -7;
    EXPECT_EQ(see(c.before), 207) << c.value.name << ": no previous value yet";
    EXPECT_EQ(Target().leftResult, -7) << c.value.name;
    NextSample();
    EXPECT_EQ(see(c.after), 0) << c.value.name;
    const FilterElement& target = Target();
    const double delivered = c.value.dataType == type::kDouble   ? LoadUnaligned<double>(&target.leftResult)
                             : c.value.dataType == type::kUShort ? static_cast<std::int16_t>(target.alternateOperator)
                                                                 : target.leftResult;
    EXPECT_EQ(delivered, c.change) << c.value.name;
  }
}

TEST_F(ChangeFunction, ControlBlockMarkedAsAColumnIsStillOnlyAControlBlock) {
  // Read as a column descriptor as well, the block would lend its own bytes to the scratch record, and the
  // first key written there would overwrite the key column count.
  Build(Column::Long("V", 0), rep::kColumn);
  EXPECT_EQ(See("AAAAAAAA", 100), 207);
  EXPECT_EQ(See("BBBBBBBB", 500), 207) << "another key is another row";
  NextSample();
  EXPECT_EQ(See("AAAAAAAA", 130), 0);
  EXPECT_EQ(Target().leftResult, 30);
}

TEST_F(ChangeFunction, FireOnFirstSampleDeliversTheValueItself) {
  testing::ScopedEnv fire("VEX_RATE_ENABLEFIRE", "YES");
  Build(Column::Long("V", 0));
  EXPECT_EQ(See("A", 77), 0);
  EXPECT_EQ(Target().leftResult, 77);
}

TEST_F(ChangeFunction, ValueTypeWithTheNullableBitTakesNoValuePath) {
  Build(Column::Long("V", 0).Nullable());
  See("A", 1);
  NextSample();
  Target().leftResult = 99;
  EXPECT_EQ(See("A", 5), 0);
  EXPECT_EQ(Target().leftResult, 99);
}

TEST_F(ChangeFunction, MissingCacheAnswers1000) {
  Build(Column::Long("V", 0));
  // As creation leaves a block whose cache could not be made.
  auto* control = static_cast<std::uint8_t*>(built_->element(0).rightData);
  DestroyChangeCache(change_control::CacheOf(control));
  StoreUnaligned<void*>(control + change_control::kCache, nullptr);
  EXPECT_EQ(See("A", 1), 1000);
}

}  // namespace
}  // namespace vexfilt
