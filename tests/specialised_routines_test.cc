// Specialised routines: the faster forms that creation binds instead of a cell's routine when an element's
// literal allows, which must answer every record as the cell's routine does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter_fixture.h"
#include "record.h"
#include "routines/byte_strings.h"
#include "routines/prefix_like.h"
#include "routines/routine_table.h"
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

const Column kName = Column::Char("NAME", 0, 16);

Routine GeneralLike() { return OperatorTable(Mode::kPlain, Op::kLike)[0].routine; }

// A Filter of one LIKE on the 16-byte NAME column.
class LikeFilter {
 public:
  explicit LikeFilter(const std::string& pattern, const Column& column = kName) {
    plan_.Like(column, pool_.Char(pattern));
    built_ = std::make_unique<BuiltFilter>(plan_, pool_);
    EXPECT_EQ(built_->status(), 0);
  }
  Routine routine() const { return built_->element(0).routine; }
  std::int32_t Evaluate(const std::string& name) const { return built_->Evaluate(Record(32, ' ').Text(0, name).bytes()); }
  const BuiltFilter& built() const { return *built_; }

 private:
  PoolBuilder pool_;
  PlanBuilder plan_{"LIKES"};
  std::unique_ptr<BuiltFilter> built_;
};

// What the general matcher answers for the 16 bytes of `name` blank padded.
std::int32_t MatcherStatus(const std::string& name, const std::string& pattern) {
  std::string value = name;
  value.resize(16, ' ');
  const auto* v = reinterpret_cast<const std::uint8_t*>(value.data());
  const auto* p = reinterpret_cast<const std::uint8_t*>(pattern.data());
  return ComparePattern(v, 16, p, static_cast<std::int32_t>(pattern.size()), 0) == 0 ? 0 : 1;
}

TEST(PrefixLike, PatternLengthsBeforeTrailingAsterisks) {
  const auto length = [](const std::string& p) {
    return prefix_like::PrefixLength(reinterpret_cast<const std::uint8_t*>(p.data()), static_cast<int>(p.size()));
  };
  EXPECT_EQ(length("java*"), 4);
  EXPECT_EQ(length("java***"), 4) << "a run of asterisks is one";
  EXPECT_EQ(length("*"), 0);
  EXPECT_EQ(length("ja a*"), 4) << "a blank is a plain byte";
  EXPECT_EQ(length("java"), -1) << "no asterisk at the end";
  EXPECT_EQ(length("j?va*"), -1);
  EXPECT_EQ(length("ja*va*"), -1);
  EXPECT_EQ(length(""), -1);
}

TEST(PrefixLike, PrefixPatternIsBoundToAPrefixRoutine) {
  const LikeFilter like("java*");
  EXPECT_NE(like.routine(), GeneralLike());
  EXPECT_TRUE(prefix_like::IsPrefixRoutine(like.routine()));
}

TEST(PrefixLike, AnswersEveryValueAsTheMatcherDoes) {
  const std::vector<std::string> patterns = {"java*", "java**", "*", "j*", "ja a*", "javaw*", "abcdefghijklmnop*"};
  const std::vector<std::string> names = {"java", "javaw", "jav", "Java", "ja a", "ja", "", "xjava",
                                          "abcdefghijklmnop", "abcdefghijklmno", "javajavajavajava"};
  for (const std::string& pattern : patterns) {
    const LikeFilter like(pattern);
    ASSERT_TRUE(prefix_like::IsPrefixRoutine(like.routine())) << pattern;
    for (const std::string& name : names) {
      EXPECT_EQ(like.Evaluate(name), MatcherStatus(name, pattern)) << "'" << name << "' LIKE '" << pattern << "'";
    }
  }
}

TEST(PrefixLike, OtherPatternsKeepTheMatcher) {
  for (const std::string pattern : {"j?va*", "*java", "ja*va*", "java"}) {
    EXPECT_EQ(LikeFilter(pattern).routine(), GeneralLike()) << pattern;
  }
}

TEST(PrefixLike, PrefixLongerThanTheColumnKeepsTheMatcher) {
  const LikeFilter like("abcdefghijklmnopq*");  // 17 plain bytes, a 16-byte column
  EXPECT_EQ(like.routine(), GeneralLike());
  EXPECT_EQ(like.Evaluate("abcdefghijklmnop"), 1);
}

TEST(PrefixLike, PatternLongerThanTwiceTheWidthStillNeverMatches) {
  // Width 2: a pattern of more than 5 bytes never matches, whatever its prefix.
  const LikeFilter like("a*****", Column::Char("TINY", 0, 2));
  EXPECT_EQ(like.routine(), GeneralLike());
  EXPECT_EQ(like.built().Evaluate(Record(32, ' ').Text(0, "ab").bytes()), 1);
}

TEST(PrefixLike, SubstringComparesFromItsStart) {
  PoolBuilder pool;
  PlanBuilder plan("LIKES");
  plan.Substring(kName, 2, op::kLike, pool.Char("java*"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_TRUE(prefix_like::IsPrefixRoutine(built.element(0).routine));
  EXPECT_EQ(built.Evaluate(Record(32, ' ').Text(0, "xxjava").bytes()), 0);
  EXPECT_EQ(built.Evaluate(Record(32, ' ').Text(0, "javaxx").bytes()), 1);
}

TEST(PrefixLike, ModifiedPatternIsBoundAgain) {
  const LikeFilter like("java*");
  const auto modify = [&](const std::string& pattern) {
    return FLT1_ModifyPredicate(like.built().handle(), "NAME", 0, pattern.data(), static_cast<std::int16_t>(pattern.size()));
  };
  ASSERT_EQ(modify("ht?p*"), 0);
  EXPECT_EQ(like.routine(), GeneralLike()) << "a routine for 'java' would answer the new pattern wrongly";
  EXPECT_EQ(like.Evaluate("http"), 0);
  EXPECT_EQ(like.Evaluate("java"), 1);
  ASSERT_EQ(modify("sshd*"), 0);
  EXPECT_TRUE(prefix_like::IsPrefixRoutine(like.routine()));
  EXPECT_EQ(like.Evaluate("sshd"), 0);
  EXPECT_EQ(like.Evaluate("java"), 1);
}

TEST(PrefixLike, TracedMatcherCallsKeepTheMatcher) {
  CapturedTrace trace;
  VEXH_SetTraceLevel("ComparePattern", 0x40);
  const LikeFilter like("java*");
  EXPECT_EQ(like.routine(), GeneralLike());
  trace.Clear();
  EXPECT_EQ(like.Evaluate("javaw"), 0);
  EXPECT_FALSE(trace.lines().empty()) << "the matcher's entry and exit are traced";
}

// One ordering of an integer column against a literal, evaluated on a record holding `value` at 0.
template <typename T>
std::int32_t Ordering(const Column& column, std::int32_t op, const plan::Literal& literal, T value, PoolBuilder& pool,
                      Routine* bound = nullptr) {
  PlanBuilder plan("INTS");
  plan.Compare(column, op, literal);
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 0);
  if (bound != nullptr) *bound = built.element(0).routine;
  return built.Evaluate(Record(32, 0).At(0, value).bytes());
}

TEST(SignednessForms, IntegerOrderingsFollowTheColumnsSignedness) {
  PoolBuilder pool;
  const plan::Literal one = pool.Long(1);
  Routine signedForm = nullptr, unsignedForm = nullptr;
  EXPECT_EQ(Ordering(Column::Long("L", 0), op::kGT, one, 0xFFFFFFFFu, pool, &signedForm), 1) << "-1 > 1 does not hold";
  EXPECT_EQ(Ordering(Column::ULong("L", 0), op::kGT, one, 0xFFFFFFFFu, pool, &unsignedForm), 0);
  EXPECT_NE(signedForm, unsignedForm);
  EXPECT_NE(signedForm, OperatorTable(Mode::kPlain, Op::kGT)[10].routine) << "the flag is not read per record";
  EXPECT_EQ(Ordering(Column::Long("L", 0), op::kLE, one, 0xFFFFFFFFu, pool), 0);
  EXPECT_EQ(Ordering(Column::ULong("L", 0), op::kLE, one, 0xFFFFFFFFu, pool), 1);
  const plan::Literal small = pool.Short(0x7FFF);
  EXPECT_EQ(Ordering(Column::UShort("S", 0), op::kGT, small, std::uint16_t{0x8000}, pool), 0) << "widened by zero";
  EXPECT_EQ(Ordering(Column::Short("S", 0), op::kGT, small, std::uint16_t{0x8000}, pool), 1) << "widened by sign";
  EXPECT_EQ(Ordering(Column::Short("S", 0), op::kLT, small, std::uint16_t{0x8000}, pool), 0);
  EXPECT_EQ(Ordering(Column::UShort("S", 0), op::kGE, small, std::uint16_t{0x7FFF}, pool), 0);
}

TEST(SignednessForms, EqualityKeepsTheCellsRoutine) {
  PoolBuilder pool;
  Routine bound = nullptr;
  EXPECT_EQ(Ordering(Column::ULong("L", 0), op::kEQ, pool.Long(-1), 0xFFFFFFFFu, pool, &bound), 0);
  EXPECT_EQ(bound, OperatorTable(Mode::kPlain, Op::kEQ)[10].routine) << "equality does not depend on signedness";
}

}  // namespace
}  // namespace vexfilt
