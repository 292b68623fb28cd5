// Column functions: MKTIME time arithmetic, the regular-expression functions, and the change of a value
// since the previous sample.
#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "core/change_control.h"
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
using testing::CapturedTrace;
using testing::Record;
using testing::ScopedEnv;

// MKTIME normalises in local time; these tests assume a zone without daylight saving.
class MakeTime : public ::testing::Test {
 protected:
  std::int32_t Run(const std::string& timestamp, const std::string& increment, const std::string& sign,
                   std::string* out) {
    std::uint8_t buffer[16] = {};
    std::int32_t length = 0;
    const std::int32_t st =
        ShiftTimestamp(Bytes(timestamp), static_cast<std::int32_t>(timestamp.size()), Bytes(increment),
                      static_cast<std::int32_t>(increment.size()), Bytes(sign), buffer, &length);
    if (st == 0) out->assign(reinterpret_cast<char*>(buffer), 16);
    return st;
  }
  static const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

  CapturedTrace trace_;
  testing::UtcZone zone_;
};

struct Moved {
  std::string timestamp, increment, sign;
  std::int32_t status;
  std::string result;
  const char* why = "";
};

TEST_F(MakeTime, CarriesAndBorrowsAcrossMonthsAndLeapDays) {
  const Moved cases[] = {
      {"1080131235959999", "1T", "+", 0, "1080201000000000"},  {"1080301000000000", "1D", "-", 0, "1080229000000000"},
      {"1081231230000000", "90M", "+", 0, "1090101003000000"}, {"1230615000010200", "1500T", "+", 0, "1230615000011700"},
      {"1230615000010200", "1500T", "-", 0, "1230615000008700"},
      {"1230615000010200", "-1500T", "+", 0, "1230615000008700"},
      {"1230615000010200", "-1500T", "-", 0, "1230615000011700"},
      {"1240229120000000", "1H", "+", 0, "1240229130000000"},  {"1230615000000000", "86400S", "+", 0, "1230616000000000"},
  };
  for (const Moved& c : cases) {
    std::string out;
    EXPECT_EQ(Run(c.timestamp, c.increment, c.sign, &out), 0) << c.timestamp << c.sign << c.increment;
    EXPECT_EQ(out, c.result) << c.timestamp << " " << c.sign << c.increment;
  }
}

TEST_F(MakeTime, IncrementAmountsAreReadWholeAndNeverWrapped) {
  const Moved cases[] = {
      {"1080301000000000", std::string(31, '0') + "1D", "+", 0, "1080302000000000",
       "the amount's last digit lies beyond the 31st character"},
      {"1080301000000000", "  \t-" + std::string(40, '0') + "90M", "+", 0, "1080229223000000",
       "blanks and a sign before the digits, as atoi reads them"},
      {"1080301000000000", "12xD", "+", 0, "1080313000000000", "digits up to the first other character"},
      {"1080301000000000", "4294967297D", "+", 57, "", "2^32 + 1 days is not one day"},
      {"1080301000000000", std::string(25, '9') + "D", "+", 57, "", "nor is it minus one"},
      {"1080301000000000", "3000000000T", "+", 0, "1080404172000000", "three million seconds fit in a calendar"},
  };
  for (const Moved& c : cases) {
    std::string out;
    EXPECT_EQ(Run(c.timestamp, c.increment, c.sign, &out), c.status) << c.why;
    EXPECT_EQ(out, c.result) << c.why;
  }
}

TEST_F(MakeTime, RefusesWithStatusAndMessage) {
  std::string out;
  EXPECT_EQ(Run("108013123595999", "1T", "+", &out), 58);
  EXPECT_EQ(Run("1080131 35959999", "1T", "+", &out), 57);
  EXPECT_EQ(Run("1080131235959999", "5X", "+", &out), 71);
  EXPECT_EQ(trace_.lines(), (std::vector<std::string>{
                                "MKTIME timestamp arg has invalid length 15",
                                "Non-numeric MKTIME timestamp arg: \"1080131 35959999\" ",
                                "Invalid MKTIME increment unit 'X'",
                            }));
  trace_.Clear();
  EXPECT_EQ(Run("1080131235959999", "2147483647D", "+", &out), 57) << "far beyond any calendar";
  ASSERT_FALSE(trace_.lines().empty());
  EXPECT_EQ(trace_.lines()[0].rfind("MKTIME result is not a valid timestamp", 0), 0u);
  EXPECT_TRUE(trace_.Contains("Rejected timestamp fields:"));
}

TEST_F(MakeTime, EmptyIncrementHasNoUnit) {
  std::uint8_t buffer[16] = {};
  std::int32_t length = 0;
  const std::string stamp = "1080301000000000", plus = "+";
  EXPECT_EQ(ShiftTimestamp(Bytes(stamp), 16, nullptr, 0, Bytes(plus), buffer, &length), 71)
      << "nothing is copied from an increment that is not there";
  EXPECT_EQ(length, 0);
}

TEST_F(MakeTime, ElementHandsTheTimestampToItsTarget) {
  // The increment is read from the pool whatever its length.
  for (const std::string& increment : {std::string("1D"), std::string(38, '0') + "1D"}) {
    PoolBuilder pool;
    PlanBuilder plan("TIMES");
    const Column stamp = Column::Char("TS", 0, 16);
    plan.MakeTime(stamp, pool.Char("+"), pool.Char(increment));
    plan.Compare(stamp, op::kEQ, pool.Char("1080302000000000"))
        .Slot(slot::kCharResultLit)
        .LeftLiteral(pool.Char(std::string(16, ' ')));
    plan.AllOf();
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    EXPECT_EQ(built.Evaluate(Record(32).Text(0, "1080301000000000").bytes()), 0) << increment;
    EXPECT_EQ(built.Evaluate(Record(32).Text(0, "1080302000000000").bytes()), 1);
    EXPECT_EQ(built.Evaluate(Record(32).Text(0, "10803010000000xx").bytes()), 1) << "a failing MKTIME does not hold";
  }
}

TEST(RegularExpressions, EveryElementAnswersUnavailable) {
  for (const Column& column : {Column::Char("TXT", 0, 8), Column::VarChar("VTX", 8, 10)}) {
    PoolBuilder pool;
    PlanBuilder plan("REGEX");
    plan.Function(fn::kRegexp).Column(column).Slot(column.Slot()).ResultTarget(1);
    plan.Always();
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    built.element(1).leftResult = 9;
    FilterElement& regexp = built.element(0);
    EXPECT_EQ(regexp.routine(regexp, Record(32, 'a').At(8, std::uint16_t{3}).bytes().data()), 5);
    EXPECT_EQ(built.element(1).leftResult, 0) << "the target's flag is cleared";
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

  void Build(const Column& value, std::uint32_t options = 0, std::uint16_t moreRightFlags = 0) {
    PoolBuilder pool;
    PlanBuilder plan("CHANGES");
    plan::Element change = testing::AddChange(plan, pool, value, Column::Char("KEY", 8, 8), options);
    change.RightFlags(change.Record().rightFlags | moreRightFlags);
    plan.Always();
    built_ = std::make_unique<BuiltFilter>(plan, pool);
    ASSERT_EQ(built_->status(), 0);
  }
  void NextSample() {
    std::uint32_t result = 0;
    ASSERT_EQ(FLT1_EndSample(built_->handle(), &result), 0);
    BeginSample();
  }
  void BeginSample() {
    ++g_seconds;
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
  }
  template <typename T>
  std::int32_t See(const std::string& key, T value) {
    FilterElement& change = built_->element(0);
    return change.routine(change, Record(32, ' ').At(0, value).Text(8, key).bytes().data());
  }
  FilterElement& Target() { return built_->element(1); }

  std::unique_ptr<BuiltFilter> built_;
};

TEST_F(ChangeFunction, NewKeyFirstThenTheChangeSinceTheLastSample) {
  Build(Column::Long("V", 0));
  BeginSample();
  Target().leftResult = -7;
  EXPECT_EQ(See("A", 100), 207) << "no previous value yet";
  EXPECT_EQ(Target().leftResult, -7) << "the target is not written";
  NextSample();
  EXPECT_EQ(See("A", 130), 0);
  EXPECT_EQ(Target().leftResult, 30);
  NextSample();  // A is not seen: the end of this sample forgets it
  NextSample();
  EXPECT_EQ(See("A", 140), 207) << "a key that comes back is new again";
}

// A value of one sample, then the next: the change the target gets, in the word its routine delivers into.
struct Change {
  const char* what;
  Column value;
  std::uint32_t options;
  double before, after, change;
};

TEST_F(ChangeFunction, ChangeOfEachValueTypeGoesToItsTarget) {
  const Change cases[] = {
      {"signed", Column::Long("V", 0), 0, 100, 130, 30},
      {"percent", Column::Long("V", 0), change_control::kPercent, 100, 130, 30},
      {"no percent of a previous 0", Column::Long("V", 0), change_control::kPercent, 0, 50, 0},
      {"an unsigned value that fell, by a negative percent", Column::ULong("U", 0), change_control::kPercent, 100, 50,
       -50},
      {"two bytes, into the target's short word", Column::UShort("U", 0), 0, 10, 5, -5},
      {"an extreme swing saturates", Column::Long("V", 0), 0, std::numeric_limits<std::int32_t>::min(),
       std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()},
      {"a double spans both result words", Column::Double("D", 0), 0, 1.5, 4.0, 2.5},
  };
  for (const Change& c : cases) {
    Build(c.value, c.options);
    const auto see = [&](double value) {
      switch (c.value.dataType) {
        case type::kDouble: return See("A", value);
        case type::kUShort: return See("A", static_cast<std::uint16_t>(value));
        case type::kULong: return See("A", static_cast<std::uint32_t>(value));
        default: return See("A", static_cast<std::int32_t>(value));
      }
    };
    BeginSample();
    see(c.before);
    NextSample();
    EXPECT_EQ(see(c.after), 0) << c.what;
    const FilterElement& target = Target();
    const double delivered = c.value.dataType == type::kDouble   ? LoadUnaligned<double>(&target.leftResult)
                             : c.value.dataType == type::kUShort ? static_cast<std::int16_t>(target.alternateOperator)
                                                                 : target.leftResult;
    EXPECT_EQ(delivered, c.change) << c.what;
  }
}

TEST_F(ChangeFunction, ControlBlockMarkedAsAColumnIsStillOnlyAControlBlock) {
  // Read as a column descriptor as well, the block would lend its own bytes to the scratch record, and the
  // first key written there would overwrite the key column count.
  Build(Column::Long("V", 0), 0, rep::kColumn);
  BeginSample();
  EXPECT_EQ(See("AAAAAAAA", 100), 207);
  EXPECT_EQ(See("BBBBBBBB", 500), 207) << "another key is another row";
  NextSample();
  EXPECT_EQ(See("AAAAAAAA", 130), 0);
  EXPECT_EQ(Target().leftResult, 30);
}

TEST_F(ChangeFunction, FireOnFirstSampleDeliversTheValueItself) {
  ScopedEnv fire("VEX_RATE_ENABLEFIRE", "YES");
  Build(Column::Long("V", 0));
  BeginSample();
  EXPECT_EQ(See("A", 77), 0);
  EXPECT_EQ(Target().leftResult, 77);
}

TEST_F(ChangeFunction, ValueTypeWithTheNullableBitTakesNoValuePath) {
  Build(Column::Long("V", 0).Nullable());
  BeginSample();
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
  BeginSample();
  EXPECT_EQ(See("A", 1), 1000);
}

}  // namespace
}  // namespace vexfilt
