// Compares joined by AND or OR and bound as one routine must answer every record as the walk element by
// element does, whichever members a walk would have skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "filter_fixture.h"
#include "plan/plan_builder.h"
#include "record.h"
#include "routines/joined_compares.h"
#include "vexfilt.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::Record;

constexpr std::int32_t kLength = 48;
const Column kCpu = Column::Long("CPU", 0);
const Column kPrio = Column::UShort("PRIO", 4);
const Column kMem = Column::Double("MEM", 8);
const Column kName = Column::Char("NAME", 16, 16);
const Column kUser = Column::VarChar("USER", 32, 16);

struct Row {
  std::int32_t cpu;
  double mem;
  std::string name;
  std::uint16_t prio = 0;
};

std::vector<std::uint8_t> RecordOf(const Row& row) {
  return Record(kLength, ' ').At(0, row.cpu).At(4, row.prio).At(8, row.mem).Text(16, row.name).bytes();
}

// Every combination of values on each side of the literals the plans below use.
std::vector<Row> Grid() {
  std::vector<Row> rows;
  for (std::int32_t cpu : {-5, 0, 50, 51, 90, 100}) {
    for (double mem : {0.0, 999.5, 1000.0, 5000.0, std::numeric_limits<double>::quiet_NaN()}) {
      for (const char* name : {"java", "javaw", "httpd", ""}) {
        for (std::uint16_t prio : {0, 7, 0xFFFF}) rows.push_back({cpu, mem, name, prio});
      }
    }
  }
  return rows;
}

int JoinLength(const BuiltFilter& built, int index) {
  const Step& step = built.step(index);
  return step.kind == StepKind::kJoin ? step.members : 0;
}

// The joined Filter answers every row of the grid as the plan walked element by element, and some pass.
void ExpectSameVerdicts(const PlanBuilder& plan, const PoolBuilder& pool, const BuiltFilter& built) {
  std::vector<std::vector<std::uint8_t>> records;
  for (const Row& row : Grid()) records.push_back(RecordOf(row));
  EXPECT_GT(testing::ExpectSameAsTheWalk(plan, pool, built, records), 0) << "the grid has rows that pass";
}

// CPU > 50 AND MEM < 1000.0 AND NAME = 'java'.
PlanBuilder& ThreeKinds(PlanBuilder& plan, PoolBuilder& pool) {
  plan.RecordLength(kLength).AllOf();
  plan.Compare(kCpu, op::kGT, pool.Long(50));
  plan.Compare(kMem, op::kLT, pool.Double(1000.0));
  plan.Compare(kName, op::kEQ, pool.Char("java", 16));
  return plan;
}

TEST(JoinedCompares, AndOfThreeKindsIsOneRoutine) {
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  BuiltFilter built(ThreeKinds(plan, pool), pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(JoinLength(built, 0), 3);
  EXPECT_TRUE(built.filter().firstElementDecides) << "one call decides every record";
  EXPECT_EQ(built.step(0).falseSkip, 3) << "the skip taken when the join fails is the plan's";
  EXPECT_EQ(JoinLength(built, 1), 0) << "members keep their own routines";
  EXPECT_EQ(built.element(1).trueSkip, 1);
  EXPECT_EQ(built.Evaluate(RecordOf({51, 999.5, "java"})), 0);
  EXPECT_EQ(built.Evaluate(RecordOf({51, 999.5, "javaw"})), 1);
  EXPECT_EQ(built.Evaluate(RecordOf({50, 999.5, "java"})), 1);
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, OrOfComparesIsOneRoutine) {
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  plan.RecordLength(kLength).AnyOf();
  plan.Compare(kCpu, op::kLE, pool.Long(0));
  plan.Compare(kPrio, op::kGE, pool.UShort(0x8000));  // unsigned: 0xFFFF is above it
  plan.Compare(kMem, op::kNE, pool.Double(0.0));
  plan.Compare(kName, op::kGT, pool.Char("java"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(JoinLength(built, 0), 4);
  EXPECT_TRUE(built.filter().firstElementDecides);
  EXPECT_EQ(built.Evaluate(RecordOf({5, 0.0, "java", 0xFFFF})), 0);
  EXPECT_EQ(built.Evaluate(RecordOf({5, 0.0, "httpd", 7})), 1);
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, WithoutARecordLengthNothingIsJoined) {
  // Members a walk would skip may lie past the end of a record the host was not asked to make longer.
  for (std::int32_t length : {0, -1}) {
    PoolBuilder pool;
    PlanBuilder plan("JOINS");
    ThreeKinds(plan, pool).RecordLength(length);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0) << length;
    EXPECT_EQ(JoinLength(built, 0), 0) << length;
    EXPECT_FALSE(built.filter().firstElementDecides) << length;
    ExpectSameVerdicts(plan, pool, built);
  }
}

TEST(JoinedCompares, OtherKindsOfElementEndTheJoin) {
  // LIKE, a varying column and a long text literal are not joined; the compares around them are.
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  plan.RecordLength(kLength).AllOf();
  plan.Compare(kCpu, op::kGE, pool.Long(0));
  plan.Compare(kCpu, op::kLT, pool.Long(100));
  plan.Like(kName, pool.Char("jav*"));
  plan.Compare(kUser, op::kNE, pool.VarChar("nobody"));
  plan.Compare(kMem, op::kLE, pool.Double(1000.0));
  plan.Compare(Column::Char("LINE", 0, 40), op::kNE, pool.Char(std::string(33, 'x')));
  plan.Compare(kPrio, op::kNE, pool.UShort(7));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(JoinLength(built, 0), 2);
  EXPECT_EQ(JoinLength(built, 2), 0);
  EXPECT_EQ(JoinLength(built, 3), 0);
  EXPECT_EQ(JoinLength(built, 4), 0) << "the long literal after it ends the join";
  EXPECT_EQ(JoinLength(built, 5), 0);
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, LongJoinsAreBoundAsConsecutiveJoins) {
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  plan.RecordLength(kLength).AllOf();
  plan.Compare(kCpu, op::kGT, pool.Long(-10));
  plan.Compare(kCpu, op::kLT, pool.Long(100));
  plan.Compare(kCpu, op::kNE, pool.Long(0));
  plan.Compare(kPrio, op::kNE, pool.UShort(7));
  plan.Compare(kCpu, op::kNE, pool.Long(50));  // NE on different columns in turn: no run of equalities
  plan.Compare(kMem, op::kGE, pool.Double(999.5));
  plan.Compare(kPrio, op::kLE, pool.UShort(0xFFF0));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(JoinLength(built, 0), joined_compares::kLongestJoin);
  EXPECT_EQ(JoinLength(built, joined_compares::kLongestJoin), 7 - joined_compares::kLongestJoin);
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, MembersStillAnswerWhenJumpedTo) {
  // NAME LIKE 'http*' jumps past the head into the join's second member.
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  plan.RecordLength(kLength);
  plan.Like(kName, pool.Char("http*")).TrueTo(2).FalseTo(1);
  plan.Compare(kCpu, op::kGT, pool.Long(50)).TrueTo(2).FalseToEnd();
  plan.Compare(kMem, op::kLT, pool.Double(1000.0)).TrueTo(3).FalseToEnd();
  plan.Compare(kPrio, op::kEQ, pool.UShort(7)).TrueToEnd().FalseToEnd();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(JoinLength(built, 1), 3);
  EXPECT_EQ(built.Evaluate(RecordOf({0, 0.0, "httpd", 7})), 0) << "CPU lies before the member jumped to";
  EXPECT_EQ(built.Evaluate(RecordOf({0, 0.0, "java", 7})), 1);
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, JoinEndingBeforeOtherElementsLeadsWhereItsLastMemberLeads) {
  // (CPU > 50 OR MEM < 1000.0) AND NAME = 'java'.
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  plan.RecordLength(kLength);
  plan.Compare(kCpu, op::kGT, pool.Long(50)).TrueTo(2).FalseTo(1);
  plan.Compare(kMem, op::kLT, pool.Double(1000.0)).TrueTo(2).FalseToEnd();
  plan.Compare(kName, op::kEQ, pool.Char("java")).TrueToEnd().FalseToEnd();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(JoinLength(built, 0), 2);
  EXPECT_EQ(built.step(0).trueSkip, 2);
  EXPECT_GE(built.step(0).falseSkip, 3) << "a failed OR ends the walk, as its last member's false skip does";
  EXPECT_EQ(built.element(0).falseSkip, 1) << "the plan copy keeps the host's skips";
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, RunOfEqualitiesIsNeverAMember) {
  // CPU > 50 AND (PRIO = 7 OR PRIO = 0): the run answers for both equalities, so the AND must walk into it.
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  plan.RecordLength(kLength);
  plan.Compare(kCpu, op::kGT, pool.Long(50)).TrueTo(1).FalseToEnd();
  plan.Compare(kPrio, op::kEQ, pool.UShort(7)).TrueToEnd().FalseTo(2);
  plan.Compare(kPrio, op::kEQ, pool.UShort(0)).TrueToEnd().FalseToEnd();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.step(1).kind, StepKind::kRun);
  EXPECT_EQ(built.step(1).members, 2);
  EXPECT_EQ(JoinLength(built, 0), 0);
  ExpectSameVerdicts(plan, pool, built);
}

TEST(JoinedCompares, ModifiedLiteralsAreComparedFromTheNextRecord) {
  // The head's compare is bound into the join's routine; it still reads its literal where it is kept.
  PoolBuilder pool;
  PlanBuilder plan("JOINS");
  BuiltFilter built(ThreeKinds(plan, pool), pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(JoinLength(built, 0), 3);
  EXPECT_EQ(built.Evaluate(RecordOf({40, 5.0, "httpd"})), 1);
  const std::int32_t cpu = 30;
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "CPU", 0, &cpu, sizeof cpu), 0);
  EXPECT_EQ(built.Evaluate(RecordOf({40, 5.0, "java"})), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "NAME", 0, "httpd", 5), 0);
  EXPECT_EQ(JoinLength(built, 0), 3) << "the join stays bound";
  EXPECT_EQ(built.Evaluate(RecordOf({40, 5.0, "httpd"})), 0);
  EXPECT_EQ(built.Evaluate(RecordOf({40, 5.0, "java"})), 1);
  EXPECT_EQ(built.Evaluate(RecordOf({30, 5.0, "httpd"})), 1);
}

}  // namespace
}  // namespace vexfilt
