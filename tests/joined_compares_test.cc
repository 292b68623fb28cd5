// Compares joined by AND or OR and bound as one routine must answer every record as the walk element by
// element does, whichever members a walk would have skipped.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "filter_fixture.h"
#include "record.h"
#include "routines/joined_compares.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;

constexpr std::int32_t kLength = 48;
const Column kCpu = Column::Long("CPU", 0);
const Column kPrio = Column::UShort("PRIO", 4);
const Column kMem = Column::Double("MEM", 8);
const Column kName = Column::Char("NAME", 16, 16);

std::vector<std::uint8_t> RecordOf(std::int32_t cpu, double mem, const std::string& name, std::uint16_t prio = 0) {
  return testing::Record(kLength, ' ').At(0, cpu).At(4, prio).At(8, mem).Text(16, name).bytes();
}

// How many elements the step at `index` answers for as a join; 0 when it is no join.
int JoinLength(const BuiltFilter& built, int index) {
  const Step& step = built.step(index);
  return step.kind == StepKind::kJoin ? step.members : 0;
}

// The joined Filter answers every combination of values on each side of the literals the plans use as the plan
// walked element by element does, and some pass.
void ExpectSameVerdicts(const PlanBuilder& plan, const PoolBuilder& pool, const BuiltFilter& built) {
  std::vector<std::vector<std::uint8_t>> records;
  for (std::int32_t cpu : {-5, 0, 50, 51, 90, 100}) {
    for (double mem : {0.0, 999.5, 1000.0, 5000.0, std::numeric_limits<double>::quiet_NaN()}) {
      for (const char* name : {"java", "javaw", "httpd", ""}) {
        for (std::uint16_t prio : {0, 7, 0xFFFF}) records.push_back(RecordOf(cpu, mem, name, prio));
      }
    }
  }
  EXPECT_GT(testing::ExpectSameAsTheWalk(plan, pool, built, records), 0) << "the grid has rows that pass";
}

// CPU > 50 AND MEM < 1000.0 AND NAME = 'java'.
void ThreeKinds(PlanBuilder& plan, PoolBuilder& pool) {
  plan.AllOf();
  plan.Compare(kCpu, op::kGT, pool.Long(50));
  plan.Compare(kMem, op::kLT, pool.Double(1000.0));
  plan.Compare(kName, op::kEQ, pool.Char("java", 16));
}

struct JoinCase {
  const char* what;
  std::int32_t recordLength;
  std::function<void(PlanBuilder&, PoolBuilder&)> write;
  std::vector<std::pair<int, int>> joins;  // an element, and the length of the join it heads (0: none)
  std::function<void(const BuiltFilter&)> more = [](const BuiltFilter&) {};
};

TEST(JoinedCompares, JoinsFollowThePlanAndAnswerAsTheWalk) {
  using joined_compares::kLongestJoin;
  const JoinCase cases[] = {
      {"an AND of three kinds is one routine; its members keep their own", kLength, ThreeKinds, {{0, 3}, {1, 0}},
       [](const BuiltFilter& built) {
         EXPECT_TRUE(built.filter().firstElementDecides) << "one call decides every record";
         EXPECT_EQ(built.step(0).falseSkip, 3) << "the skip taken when the join fails is the plan's";
         EXPECT_EQ(built.element(1).trueSkip, 1);
         EXPECT_EQ(built.Evaluate(RecordOf(51, 999.5, "java")), 0);
         EXPECT_EQ(built.Evaluate(RecordOf(51, 999.5, "javaw")), 1);
         EXPECT_EQ(built.Evaluate(RecordOf(50, 999.5, "java")), 1);
       }},
      {"an OR of compares is one routine", kLength,
       [](PlanBuilder& plan, PoolBuilder& pool) {
         plan.AnyOf();
         plan.Compare(kCpu, op::kLE, pool.Long(0));
         plan.Compare(kPrio, op::kGE, pool.UShort(0x8000));  // unsigned: 0xFFFF is above it
         plan.Compare(kMem, op::kNE, pool.Double(0.0));
         plan.Compare(kName, op::kGT, pool.Char("java"));
       },
       {{0, 4}},
       [](const BuiltFilter& built) {
         EXPECT_TRUE(built.filter().firstElementDecides);
         EXPECT_EQ(built.Evaluate(RecordOf(5, 0.0, "java", 0xFFFF)), 0);
         EXPECT_EQ(built.Evaluate(RecordOf(5, 0.0, "httpd", 7)), 1);
       }},
      // Members a walk would skip may lie past the end of a record the host was not asked to make longer.
      {"without a record length nothing is joined", 0, ThreeKinds, {{0, 0}},
       [](const BuiltFilter& built) { EXPECT_FALSE(built.filter().firstElementDecides); }},
      {"nor with a negative one", -1, ThreeKinds, {{0, 0}}},
      {"LIKE, a varying column and a long text literal end the join", kLength,
       [](PlanBuilder& plan, PoolBuilder& pool) {
         plan.AllOf();
         plan.Compare(kCpu, op::kGE, pool.Long(0));
         plan.Compare(kCpu, op::kLT, pool.Long(100));
         plan.Like(kName, pool.Char("jav*"));
         plan.Compare(Column::VarChar("USER", 32, 16), op::kNE, pool.VarChar("nobody"));
         plan.Compare(kMem, op::kLE, pool.Double(1000.0));  // the long literal after it ends this join
         plan.Compare(Column::Char("LINE", 0, 40), op::kNE, pool.Char(std::string(33, 'x')));
         plan.Compare(kPrio, op::kNE, pool.UShort(7));
       },
       {{0, 2}, {2, 0}, {3, 0}, {4, 0}, {5, 0}}},
      {"long joins are bound as consecutive joins", kLength,
       [](PlanBuilder& plan, PoolBuilder& pool) {
         plan.AllOf();
         plan.Compare(kCpu, op::kGT, pool.Long(-10));
         plan.Compare(kCpu, op::kLT, pool.Long(100));
         plan.Compare(kCpu, op::kNE, pool.Long(0));
         plan.Compare(kPrio, op::kNE, pool.UShort(7));
         plan.Compare(kCpu, op::kNE, pool.Long(50));  // NE on different columns in turn: no run of equalities
         plan.Compare(kMem, op::kGE, pool.Double(999.5));
         plan.Compare(kPrio, op::kLE, pool.UShort(0xFFF0));
       },
       {{0, kLongestJoin}, {kLongestJoin, 7 - kLongestJoin}}},
      {"members still answer when jumped to: NAME LIKE 'http*' jumps past the head", kLength,
       [](PlanBuilder& plan, PoolBuilder& pool) {
         plan.Like(kName, pool.Char("http*")).TrueTo(2).FalseTo(1);
         plan.Compare(kCpu, op::kGT, pool.Long(50)).TrueTo(2).FalseToEnd();
         plan.Compare(kMem, op::kLT, pool.Double(1000.0)).TrueTo(3).FalseToEnd();
         plan.Compare(kPrio, op::kEQ, pool.UShort(7)).TrueToEnd().FalseToEnd();
       },
       {{1, 3}},
       [](const BuiltFilter& built) {
         EXPECT_EQ(built.Evaluate(RecordOf(0, 0.0, "httpd", 7)), 0) << "CPU lies before the member jumped to";
         EXPECT_EQ(built.Evaluate(RecordOf(0, 0.0, "java", 7)), 1);
       }},
      {"a join ending before other elements leads where its last member leads: (CPU > 50 OR MEM < 1000.0) AND NAME",
       kLength,
       [](PlanBuilder& plan, PoolBuilder& pool) {
         plan.Compare(kCpu, op::kGT, pool.Long(50)).TrueTo(2).FalseTo(1);
         plan.Compare(kMem, op::kLT, pool.Double(1000.0)).TrueTo(2).FalseToEnd();
         plan.Compare(kName, op::kEQ, pool.Char("java")).TrueToEnd().FalseToEnd();
       },
       {{0, 2}},
       [](const BuiltFilter& built) {
         EXPECT_EQ(built.step(0).trueSkip, 2);
         EXPECT_GE(built.step(0).falseSkip, 3) << "a failed OR ends the walk, as its last member's false skip does";
         EXPECT_EQ(built.element(0).falseSkip, 1) << "the plan copy keeps the host's skips";
       }},
      {"a run of equalities answers for both, so CPU > 50 AND (PRIO = 7 OR PRIO = 0) walks into it", kLength,
       [](PlanBuilder& plan, PoolBuilder& pool) {
         plan.Compare(kCpu, op::kGT, pool.Long(50)).TrueTo(1).FalseToEnd();
         plan.Compare(kPrio, op::kEQ, pool.UShort(7)).TrueToEnd().FalseTo(2);
         plan.Compare(kPrio, op::kEQ, pool.UShort(0)).TrueToEnd().FalseToEnd();
       },
       {{0, 0}},
       [](const BuiltFilter& built) {
         EXPECT_EQ(built.step(1).kind, StepKind::kRun);
         EXPECT_EQ(built.step(1).members, 2);
       }},
  };
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(c.what);
    PoolBuilder pool;
    PlanBuilder plan("JOINS");
    plan.RecordLength(c.recordLength);
    c.write(plan, pool);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    for (const auto& [index, length] : c.joins) EXPECT_EQ(JoinLength(built, index), length) << "element " << index;
    c.more(built);
    ExpectSameVerdicts(plan, pool, built);
  }
}

TEST(JoinedCompares, ModifiedLiteralsAreComparedFromTheNextRecord) {
  // The head's compare is bound into the join's routine; it still reads its literal where it is kept.
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  ThreeKinds(plan.RecordLength(kLength), pool);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(JoinLength(built, 0), 3);
  EXPECT_EQ(built.Evaluate(RecordOf(40, 5.0, "httpd")), 1);
  const std::int32_t cpu = 30;
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "CPU", 0, &cpu, sizeof cpu), 0);
  EXPECT_EQ(built.Evaluate(RecordOf(40, 5.0, "java")), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "NAME", 0, "httpd", 5), 0);
  EXPECT_EQ(JoinLength(built, 0), 3) << "the join stays bound";
  EXPECT_EQ(built.Evaluate(RecordOf(40, 5.0, "httpd")), 0);
  EXPECT_EQ(built.Evaluate(RecordOf(40, 5.0, "java")), 1);
  EXPECT_EQ(built.Evaluate(RecordOf(30, 5.0, "httpd")), 1);
}

}  // namespace
}  // namespace vexfilt
