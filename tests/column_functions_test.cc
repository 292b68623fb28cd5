// Column functions: MKTIME time arithmetic, the regular-expression functions, and the change of a value
// since the previous sample.
#include <gtest/gtest.h>

#include <ctime>
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
  MakeTime() : zone_("TZ", "UTC") { tzset(); }
  ~MakeTime() override { tzset(); }

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
  ScopedEnv zone_;
};

TEST_F(MakeTime, CarriesAndBorrowsAcrossMonthsAndLeapDays) {
  struct Case {
    std::string timestamp, increment, sign, result;
  };
  for (const Case& c : {Case{"1080131235959999", "1T", "+", "1080201000000000"},
                        Case{"1080301000000000", "1D", "-", "1080229000000000"},
                        Case{"1081231230000000", "90M", "+", "1090101003000000"},
                        Case{"1230615000010200", "1500T", "+", "1230615000011700"},
                        Case{"1230615000010200", "1500T", "-", "1230615000008700"},
                        Case{"1230615000010200", "-1500T", "+", "1230615000008700"},
                        Case{"1230615000010200", "-1500T", "-", "1230615000011700"},
                        Case{"1240229120000000", "1H", "+", "1240229130000000"},
                        Case{"1230615000000000", "86400S", "+", "1230616000000000"}}) {
    std::string out;
    EXPECT_EQ(Run(c.timestamp, c.increment, c.sign, &out), 0) << c.timestamp << c.sign << c.increment;
    EXPECT_EQ(out, c.result) << c.timestamp << " " << c.sign << c.increment;
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

TEST_F(MakeTime, ReadsTheWholeIncrementWhateverItsLength) {
  const std::string oneDay = std::string(31, '0') + "1D";  // 33 characters
  std::string out;
  EXPECT_EQ(Run("1080301000000000", oneDay, "+", &out), 0);
  EXPECT_EQ(out, "1080302000000000") << "the amount's last digit lies beyond the 31st character";
  EXPECT_EQ(Run("1080301000000000", "  \t-" + std::string(40, '0') + "90M", "+", &out), 0)
      << "blanks and a sign before the digits, as atoi reads them";
  EXPECT_EQ(out, "1080229223000000");
  EXPECT_EQ(Run("1080301000000000", "12xD", "+", &out), 0) << "digits up to the first other character";
  EXPECT_EQ(out, "1080313000000000");
}

TEST_F(MakeTime, AmountsBeyondAnIntAreNotWrapped) {
  std::string out;
  EXPECT_EQ(Run("1080301000000000", "4294967297D", "+", &out), 57) << "2^32 + 1 days is not one day";
  EXPECT_EQ(Run("1080301000000000", std::string(25, '9') + "D", "+", &out), 57) << "nor is it minus one";
  EXPECT_EQ(Run("1080301000000000", "3000000000T", "+", &out), 0) << "three million seconds fit in a calendar";
  EXPECT_EQ(out, "1080404172000000");
}

TEST_F(MakeTime, EmptyIncrementHasNoUnit) {
  std::uint8_t buffer[16] = {};
  std::int32_t length = 0;
  const std::string stamp = "1080301000000000", plus = "+";
  EXPECT_EQ(ShiftTimestamp(Bytes(stamp), 16, nullptr, 0, Bytes(plus), buffer, &length), 71)
      << "nothing is copied from an increment that is not there";
  EXPECT_EQ(length, 0);
}

TEST_F(MakeTime, ElementReadsALongIncrementFromThePool) {
  PoolBuilder pool;
  PlanBuilder plan("TIMES");
  const Column stamp = Column::Char("TS", 0, 16);
  plan.MakeTime(stamp, pool.Char("+"), pool.Char(std::string(38, '0') + "1D"));
  plan.Compare(stamp, op::kEQ, pool.Char("1080302000000000"))
      .Slot(slot::kCharResultLit)
      .LeftLiteral(pool.Char(std::string(16, ' ')));
  plan.AllOf();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.Evaluate(Record(32).Text(0, "1080301000000000").bytes()), 0);
}

TEST_F(MakeTime, ElementHandsTheTimestampToItsTarget) {
  PoolBuilder pool;
  PlanBuilder plan("TIMES");
  const Column stamp = Column::Char("TS", 0, 16);
  plan.MakeTime(stamp, pool.Char("+"), pool.Char("1D"));
  plan.Compare(stamp, op::kEQ, pool.Char("1080302000000000"))
      .Slot(slot::kCharResultLit)
      .LeftLiteral(pool.Char(std::string(16, ' ')));
  plan.AllOf();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.Evaluate(Record(32).Text(0, "1080301000000000").bytes()), 0);
  EXPECT_EQ(built.Evaluate(Record(32).Text(0, "1080302000000000").bytes()), 1);
  EXPECT_EQ(built.Evaluate(Record(32).Text(0, "10803010000000xx").bytes()), 1) << "a failing MKTIME does not hold";
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

}  // namespace
}  // namespace vexfilt

namespace vexfilt {
namespace {

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
    plan::ChangeControl control;
    control.options = options;
    control.keys = {Column::Char("KEY", 8, 8)};
    PoolBuilder pool;
    PlanBuilder plan("CHANGES");
    const plan::Literal scratch = pool.ChangeScratch(control);  // the scratch entry before the block's
    const plan::Literal block = pool.Change(control);
    plan::Element change = plan.Change(value, scratch, block);
    change.RightFlags(change.Record().rightFlags | moreRightFlags);
    plan.Always();
    built_ = std::make_unique<BuiltFilter>(plan, pool);
    ASSERT_EQ(built_->status(), 0);
  }
  void BeginSample() {
    ++g_seconds;
    ASSERT_EQ(FLT1_BeginSample(built_->handle()), 0);
  }
  void EndSample() {
    std::uint32_t result = 0;
    ASSERT_EQ(FLT1_EndSample(built_->handle(), &result), 0);
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
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", 130), 0);
  EXPECT_EQ(Target().leftResult, 30);
  EndSample();
  BeginSample();  // A is not seen: the end of this sample forgets it
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", 140), 207) << "a key that comes back is new again";
}

TEST_F(ChangeFunction, ControlBlockMarkedAsAColumnIsStillOnlyAControlBlock) {
  // Read as a column descriptor as well, the block would lend its own bytes to the scratch record, and the
  // first key written there would overwrite the key column count.
  Build(Column::Long("V", 0), 0, rep::kColumn);
  BeginSample();
  EXPECT_EQ(See("AAAAAAAA", 100), 207);
  EXPECT_EQ(See("BBBBBBBB", 500), 207) << "another key is another row";
  EndSample();
  BeginSample();
  EXPECT_EQ(See("AAAAAAAA", 130), 0);
  EXPECT_EQ(Target().leftResult, 30);
}

TEST_F(ChangeFunction, PercentChangeOfSignedAndUnsignedValues) {
  Build(Column::Long("V", 0), change_control::kPercent);
  BeginSample();
  See("A", 100);
  See("Z", 0);
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", 130), 0);
  EXPECT_EQ(Target().leftResult, 30);
  EXPECT_EQ(See("Z", 50), 0);
  EXPECT_EQ(Target().leftResult, 0) << "no percent of a previous 0";

  Build(Column::ULong("U", 0), change_control::kPercent);
  BeginSample();
  See("A", 100u);
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", 50u), 0);
  EXPECT_EQ(Target().leftResult, -50) << "an unsigned value that fell changes by a negative percent";
}

TEST_F(ChangeFunction, TwoByteChangesGoToTheTargetsShortWord) {
  Build(Column::UShort("U", 0));
  BeginSample();
  See("A", std::uint16_t{10});
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", std::uint16_t{5}), 0);
  EXPECT_EQ(static_cast<std::int16_t>(Target().alternateOperator), -5);
}

TEST_F(ChangeFunction, ExtremeSwingsSaturateInsteadOfWrapping) {
  Build(Column::Long("V", 0));
  BeginSample();
  See("A", std::numeric_limits<std::int32_t>::min());
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", std::numeric_limits<std::int32_t>::max()), 0);
  EXPECT_EQ(Target().leftResult, std::numeric_limits<std::int32_t>::max());
}

TEST_F(ChangeFunction, DoubleChangeSpansBothResultWords) {
  Build(Column::Double("D", 0));
  BeginSample();
  See("A", 1.5);
  EndSample();
  BeginSample();
  EXPECT_EQ(See("A", 4.0), 0);
  EXPECT_EQ(LoadUnaligned<double>(&Target().leftResult), 2.5);
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
  EndSample();
  BeginSample();
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

namespace vexfilt {
namespace {

TimeValue g_now{};
void SettableClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  *seconds = g_now.seconds;
  *nanoseconds = g_now.nanoseconds;
}

TEST(SampleStamps, SecondsAndHundredthsSinceCreationWithABorrow) {
  VEXH_SetClock(SettableClock, nullptr);
  g_now = {10, 700000000};
  plan::ChangeControl control;
  control.keys = {Column::Char("KEY", 8, 8)};
  PoolBuilder pool;
  PlanBuilder plan("STAMPS");
  plan.Change(Column::Long("V", 0), pool.ChangeScratch(control), pool.Change(control));
  plan.Always();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  g_now = {13, 200000000};
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 0);
  EXPECT_EQ(built.filter().sampleStamp, (2u << 8) + 50);
  g_now = {10, 700000000};
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 0);
  EXPECT_EQ(built.filter().sampleStamp, 0u);
  VEXH_SetClock(nullptr, nullptr);
}

}  // namespace
}  // namespace vexfilt
