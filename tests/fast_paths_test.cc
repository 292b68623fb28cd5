// Fast paths: the faster forms that creation binds instead of a cell's routine when an element's
// literal allows, which must answer every record as the cell's routine does.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "filter/configuration.h"
#include "filter_fixture.h"
#include "record.h"
#include "routines/byte_strings.h"
#include "routines/dispatch_tables.h"
#include "routines/equality_runs.h"
#include "routines/prefix_like.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;
using testing::ExpectSameAsTheWalk;
using testing::Record;

const Column kName = Column::Char("NAME", 0, 16);

Routine GeneralLike() { return OperatorTable(Mode::kPlain, Op::kLike)[slot::kCharColLit].routine; }
Routine PlainLongCompare(Op op) { return OperatorTable(Mode::kPlain, op)[slot::kLongColLit].routine; }

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

TEST(PrefixLike, PatternLengthsBeforeTrailingAsterisks) {
  // -1: no prefix routine; a run of asterisks is one, a blank a plain byte.
  const std::pair<std::string, int> cases[] = {{"java*", 4}, {"java***", 4}, {"*", 0},      {"ja a*", 4},
                                               {"java", -1}, {"j?va*", -1},  {"ja*va*", -1}, {"", -1}};
  for (const auto& [pattern, length] : cases) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(pattern.data());
    EXPECT_EQ(prefix_like::PrefixLength(bytes, static_cast<int>(pattern.size())), length) << pattern;
  }
}

TEST(PrefixLike, AnswersEveryValueAsTheMatcherDoes) {
  const std::vector<std::string> names = {"java", "javaw", "jav", "Java", "ja a", "ja", "", "xjava",
                                          "abcdefghijklmnop", "abcdefghijklmno", "javajavajavajava"};
  for (const std::string pattern : {"java*", "java**", "*", "j*", "ja a*", "javaw*", "abcdefghijklmnop*"}) {
    const LikeFilter like(pattern);
    ASSERT_TRUE(prefix_like::IsPrefixRoutine(like.routine())) << pattern;
    for (const std::string& name : names) {
      // The general matcher on the 16 bytes of the name blank padded.
      std::string value = name;
      value.resize(16, ' ');
      const std::int32_t matched = ComparePattern(reinterpret_cast<const std::uint8_t*>(value.data()), 16,
                                                  reinterpret_cast<const std::uint8_t*>(pattern.data()),
                                                  static_cast<std::int32_t>(pattern.size()), 0);
      EXPECT_EQ(like.Evaluate(name), matched == 0 ? 0 : 1) << "'" << name << "' LIKE '" << pattern << "'";
    }
  }
}

TEST(PrefixLike, PatternsWithoutAPrefixTheRoutineHoldsKeepTheMatcher) {
  const struct {
    std::string pattern;
    Column column;
    std::string value;  // with the verdict below, when not empty
    std::int32_t status;
  } cases[] = {
      {"j?va*", kName, "", 0},
      {"*java", kName, "", 0},
      {"ja*va*", kName, "", 0},
      {"java", kName, "", 0},
      {"abcdefghijklmnopq*", kName, "abcdefghijklmnop", 1},  // 17 plain bytes, a 16-byte column
      // Width 2: a pattern of more than 5 bytes never matches, whatever its prefix.
      {"a*****", Column::Char("TINY", 0, 2), "ab", 1},
  };
  for (const auto& c : cases) {
    const LikeFilter like(c.pattern, c.column);
    EXPECT_EQ(like.routine(), GeneralLike()) << c.pattern;
    if (!c.value.empty()) {
      EXPECT_EQ(like.Evaluate(c.value), c.status) << c.pattern;
    }
  }
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

TEST(PrefixLike, MatcherTracedAfterBindingTracesFromTheNextRecord) {
  CapturedTrace trace;
  const LikeFilter like("java*");
  ASSERT_TRUE(prefix_like::IsPrefixRoutine(like.routine()));
  VEXH_SetTraceLevel("ComparePattern", 0x40);
  trace.Clear();
  EXPECT_EQ(like.Evaluate("javaw"), 0);
  EXPECT_FALSE(trace.lines().empty()) << "the level raised at run time takes effect";
  // A batch reads the level once, and the matcher answers all of it.
  trace.Clear();
  const std::vector<std::uint8_t> records = Record(64, ' ').Text(0, "javaw").Text(32, "jav").bytes();
  std::int32_t statuses[2] = {-1, -1};
  ASSERT_EQ(FLT1_FilterRecords(like.built().handle(), 0, records.data(), 32, 2, statuses), 0);
  EXPECT_EQ(statuses[0], 0);
  EXPECT_EQ(statuses[1], 1);
  EXPECT_GE(trace.lines().size(), 4u) << "both calls' entry and exit";
  VEXH_ResetTraceLevels();
  trace.Clear();
  EXPECT_EQ(like.Evaluate("javaw"), 0);
  EXPECT_NE(like.Evaluate("jav"), 0);
  EXPECT_TRUE(trace.lines().empty());
}

// A varying column equal, or not, to a literal whose last bytes are blanks: the routine bound for the
// literal's significant bytes must leave every status and work field as the cell's general routine does.
TEST(VaryingEquality, AnswersAndWorkFieldsAreTheGeneralRoutines) {
  // 10 bytes of text, enough to read a word of them; and 4, too few.
  for (const Column& user : {Column::VarChar("USER", 0, 12), Column::VarChar("CODE", 0, 6)}) {
  const std::vector<std::string> literals = {"root", "root      ", "root  ", "", "   ", "ro ot",
                                             "abcdefgh", "abcdefghi", "abcdefghij", "abcdefghijklmnop ", "abcdefghijklmnopq"};
  // Values shorter, equal, longer with blanks, longer with a byte below or above the blank.
  const std::vector<std::string> values = {"", "r", "roo", "root", "root ", "root     ", "root\x1f", "root!",
                                           "rooT", "ro ot", "ro", "abcdefgh", "abcdefgh  ", "abcdefgh \x7f",
                                           "abcdefgh\x1f", "abcdefghij", "abcdefgi", "\xff", " ", "   "};
  for (const auto& [op, column] : {std::pair{op::kEQ, Op::kEQ}, std::pair{op::kNE, Op::kNE}}) {
    for (const std::string& literal : literals) {
      PoolBuilder pool;
      PlanBuilder plan("USERS");
      plan.Compare(user, op, pool.Char(literal));
      const BuiltFilter built(plan, pool);
      ASSERT_EQ(built.status(), 0);
      const Routine general = OperatorTable(Mode::kPlain, column)[slot::kVarCharColLit].routine;
      // 17 significant bytes are more than the forms cover: the general routine stays.
      EXPECT_EQ(built.element(0).routine == general, literal == "abcdefghijklmnopq") << literal;
      std::vector<std::vector<std::uint8_t>> records;
      for (const std::string& value : values) records.push_back(Record(16, 'x').Varying(0, value).bytes());
      // A length past the capacity: the whole column, prefix bytes included, is the value.
      records.push_back(Record(16, ' ').At<std::uint16_t>(0, 0x2020).bytes());
      for (const auto& record : records) {
        FilterElement expected = built.element(0);
        const std::int32_t status = general(expected, record.data());
        EXPECT_EQ(built.Evaluate(record), status) << "'" << literal << "' op " << op << " " << ::testing::PrintToString(record);
        const FilterElement& bound = built.element(0);
        EXPECT_EQ(bound.conditionCode, expected.conditionCode) << "'" << literal << "' " << ::testing::PrintToString(record);
        EXPECT_EQ(bound.leftScale, expected.leftScale);
        EXPECT_EQ(bound.alternateOperator, expected.alternateOperator);
      }
    }
  }
  }
}

TEST(VaryingEquality, ModifiedLiteralIsBoundAgain) {
  PoolBuilder pool;
  PlanBuilder plan("USERS");
  plan.Compare(Column::VarChar("USER", 0, 28), op::kEQ, pool.Char("root"));
  const BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  const Routine first = built.element(0).routine;
  const std::string longer = "postgres      ";
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "USER", 0, longer.data(), static_cast<std::int16_t>(longer.size())), 0);
  EXPECT_NE(built.element(0).routine, first) << "a routine for four significant bytes would compare only 'post'";
  EXPECT_EQ(built.Evaluate(Record(32, ' ').Varying(0, "postgres").bytes()), 0);
  EXPECT_EQ(built.Evaluate(Record(32, ' ').Varying(0, "postmark").bytes()), 1);
}

// One integer column at 0 against a literal: whether it holds for the record's value, and the routine bound.
struct Ordering {
  Column column;
  std::int32_t op;
  std::int32_t literal;
  std::uint32_t value;  // the record's bytes at 0: 4, or for a 2-byte column 2 of them
  bool holds;
};

TEST(SignednessForms, IntegerOrderingsFollowTheColumnsSignedness) {
  const Column l = Column::Long("L", 0), ul = Column::ULong("L", 0), s = Column::Short("S", 0),
               us = Column::UShort("S", 0);
  const Ordering cases[] = {
      {l, op::kGT, 1, 0xFFFFFFFF, false},  {ul, op::kGT, 1, 0xFFFFFFFF, true},  {l, op::kLE, 1, 0xFFFFFFFF, true},
      {ul, op::kLE, 1, 0xFFFFFFFF, false}, {l, op::kLT, 1, 0xFFFFFFFF, true},   {ul, op::kEQ, -1, 0xFFFFFFFF, true},
      {l, op::kNE, 5, 6, true},            {l, op::kGE, 5, 5, true},            {l, op::kLE, 5, 6, false},
      {us, op::kGT, 0x7FFF, 0x8000, true},  // widened by zero
      {s, op::kGT, 0x7FFF, 0x8000, false},  // widened by sign
      {s, op::kLT, 0x7FFF, 0x8000, true},  {us, op::kGE, 0x7FFF, 0x7FFF, true}, {s, op::kLE, -3, 0xFFFD, true},
  };
  Routine signedGT = nullptr, unsignedGT = nullptr;
  for (const Ordering& c : cases) {
    PoolBuilder pool;
    PlanBuilder plan("INTS");
    const bool wide = c.column.length == 4;
    plan.Compare(c.column, c.op, wide ? pool.Long(c.literal) : pool.Short(static_cast<std::int16_t>(c.literal)));
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    Record record(32, 0);
    wide ? record.At(0, c.value) : record.At(0, static_cast<std::uint16_t>(c.value));
    EXPECT_EQ(built.Evaluate(record.bytes()) == 0, c.holds)
        << c.column.name << (c.column.dataType == type::kULong || c.column.dataType == type::kUShort ? " unsigned" : "")
        << " op " << c.op << " " << c.literal << " on 0x" << std::hex << c.value;
    if (c.op == op::kGT && wide) (c.column.dataType == type::kLong ? signedGT : unsignedGT) = built.element(0).routine;
    if (c.op == op::kEQ) {
      EXPECT_EQ(built.element(0).routine, PlainLongCompare(Op::kEQ)) << "equality has no forms";
    }
  }
  EXPECT_NE(signedGT, unsignedGT);
  EXPECT_NE(signedGT, PlainLongCompare(Op::kGT)) << "the flag is not read per record";
}

// Runs of equalities on one integer column. PID is 4 bytes at 8, PPID 4 bytes at 12, PORT 2 bytes at 16.
const Column kPid = Column::Long("PID", 8);
const Column kPpid = Column::Long("PPID", 12);
const Column kPort = Column::UShort("PORT", 16);

std::vector<std::uint8_t> PidRecord(std::int32_t pid, std::int32_t ppid = 0, std::uint16_t port = 0) {
  return Record(32, 0).At(8, pid).At(12, ppid).At(16, port).bytes();
}

// Every PID × PPID record.
std::vector<std::vector<std::uint8_t>> PidRecords(std::initializer_list<std::int32_t> pids,
                                                  std::initializer_list<std::int32_t> ppids = {0}) {
  std::vector<std::vector<std::uint8_t>> records;
  for (std::int32_t pid : pids) {
    for (std::int32_t ppid : ppids) records.push_back(PidRecord(pid, ppid));
  }
  return records;
}

// How many elements the step at `index` answers for as a run of equalities; 0 when it is no run.
int RunLength(const BuiltFilter& built, int index) {
  const Step& step = built.step(index);
  return step.kind == StepKind::kRun ? step.members : 0;
}

// `PID = 11 OR PID = 22 OR ... OR PID = 55`, the literals each an entry of their own.
PlanBuilder& PidsAnyOf(PlanBuilder& plan, PoolBuilder& pool, const std::vector<std::int32_t>& pids) {
  plan.AnyOf();
  for (std::int32_t pid : pids) plan.Compare(kPid, op::kEQ, pool.Long(pid));
  return plan;
}

const std::vector<std::int32_t> kFivePids = {11, 22, 33, 44, 55};
const auto kProbes = {11, 22, 33, 44, 55, 0, 12, -11, 66, 0x7FFFFFFF};

TEST(EqualityRuns, OrOfEqualitiesOnOneColumnIsOneRoutine) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  BuiltFilter built(PidsAnyOf(plan, pool, kFivePids), pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), 5);
  EXPECT_TRUE(built.filter().firstElementDecides) << "one call decides every record";
  for (int i = 1; i < 5; ++i) {
    EXPECT_EQ(built.element(i).routine, PlainLongCompare(Op::kEQ)) << "element " << i << " keeps its own routine";
    EXPECT_EQ(built.element(i).trueSkip, 5 - i);
    EXPECT_EQ(built.element(i).falseSkip, 1);
  }
  EXPECT_EQ(built.step(0).trueSkip, 5) << "the skip taken on a match is the plan's";
  EXPECT_EQ(built.step(0).falseSkip, 5) << "a miss leads where the run's last element does";
  EXPECT_EQ(built.element(0).falseSkip, 1) << "the plan copy keeps the host's skips";
  for (std::int32_t pid : kProbes) {
    const bool listed = std::find(kFivePids.begin(), kFivePids.end(), pid) != kFivePids.end();
    EXPECT_EQ(built.Evaluate(PidRecord(pid)), listed ? 0 : 1) << pid;
  }
  EXPECT_EQ(ExpectSameAsTheWalk(plan, pool, built, PidRecords(kProbes)), 5);
}

TEST(EqualityRuns, ModifiedLiteralIsComparedFromTheNextRecord) {
  // The third element names the same bytes under another name, so that it alone is modified.
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.AnyOf();
  plan.Compare(kPid, op::kEQ, pool.Long(11));
  plan.Compare(kPid, op::kEQ, pool.Long(22));
  plan.Compare(Column::Long("PROCESS", 8), op::kEQ, pool.Long(33));
  plan.Compare(kPid, op::kEQ, pool.Long(44));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(RunLength(built, 0), 4);
  EXPECT_EQ(built.Evaluate(PidRecord(33)), 0);
  const std::int32_t replaced = 77;
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "PROCESS", 0, &replaced, sizeof replaced), 0);
  EXPECT_EQ(RunLength(built, 0), 4) << "the run's routine stays bound";
  EXPECT_EQ(built.Evaluate(PidRecord(33)), 1);
  EXPECT_EQ(built.Evaluate(PidRecord(77)), 0);
  for (std::int32_t pid : {11, 22, 44}) EXPECT_EQ(built.Evaluate(PidRecord(pid)), 0) << pid;

  // Modifying the head's column replaces every literal of the run that names it.
  const std::int32_t head = 5;
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "PID", 0, &head, sizeof head), 0);
  for (std::int32_t pid : {11, 22, 44}) EXPECT_EQ(built.Evaluate(PidRecord(pid)), 1) << pid;
  EXPECT_EQ(built.Evaluate(PidRecord(5)), 0);
  EXPECT_EQ(built.Evaluate(PidRecord(77)), 0);
}

TEST(EqualityRuns, InspectionReportsEveryElement) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  BuiltFilter built(PidsAnyOf(plan, pool, kFivePids), pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(RunLength(built, 0), 5);
  std::vector<std::int32_t> values;
  FilterInfo* info = nullptr;
  while (FLT1_GetFilter(built.handle(), &info) == 0 && values.size() < 10) {
    EXPECT_EQ(info->compareOperator, 1) << "EQ";
    EXPECT_EQ(info->logicalOperator, values.size() < 4 ? 7 : 0) << "OR but the last";
    EXPECT_EQ(std::string(info->columnName, 11), "PID        ");
    values.push_back(LoadUnaligned<std::int32_t>(info->value));
  }
  EXPECT_EQ(values, kFivePids);
}

TEST(EqualityRuns, DifferentColumnOrOperatorEndsTheRun) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.AnyOf();
  plan.Compare(kPid, op::kEQ, pool.Long(11));
  plan.Compare(kPid, op::kEQ, pool.Long(22));
  plan.Compare(kPpid, op::kEQ, pool.Long(33));  // another column
  plan.Compare(kPid, op::kEQ, pool.Long(44));
  plan.Compare(kPid, op::kGT, pool.Long(1000));  // another operator
  plan.Compare(kPid, op::kEQ, pool.Long(55));
  plan.Compare(kPid, op::kEQ, pool.Long(66));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), 2);
  EXPECT_EQ(RunLength(built, 2), 0);
  EXPECT_EQ(RunLength(built, 3), 0) << "one element is no run";
  EXPECT_EQ(RunLength(built, 4), 0);
  EXPECT_EQ(RunLength(built, 5), 2);
  ExpectSameAsTheWalk(plan, pool, built, PidRecords({11, 22, 33, 44, 55, 66, 1001, 0}, {0, 33}));
  EXPECT_EQ(built.Evaluate(PidRecord(0, 33)), 0);
  EXPECT_EQ(built.Evaluate(PidRecord(66)), 0);
  EXPECT_EQ(built.Evaluate(PidRecord(5)), 1);
}

TEST(EqualityRuns, EqualitiesJoinedByAndAreNoRun) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.AllOf();
  plan.Compare(kPid, op::kEQ, pool.Long(11));
  plan.Compare(kPid, op::kEQ, pool.Long(11));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), 0);
  EXPECT_EQ(built.Evaluate(PidRecord(11)), 0);
  EXPECT_EQ(built.Evaluate(PidRecord(12)), 1);
}

TEST(EqualityRuns, TrueSkipsToDifferentElementsEndTheRun) {
  // (PID = 11 OR PID = 22) AND PPID = 1, then PID = 33 OR ...: the second element's match leads elsewhere.
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.Compare(kPid, op::kEQ, pool.Long(11)).TrueTo(2).FalseTo(1);
  plan.Compare(kPid, op::kEQ, pool.Long(22)).TrueTo(3).FalseTo(2);
  plan.Compare(kPid, op::kEQ, pool.Long(33)).TrueToEnd().FalseTo(3);
  plan.Compare(kPpid, op::kEQ, pool.Long(1)).TrueToEnd().FalseToEnd();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), 0);
  EXPECT_EQ(RunLength(built, 1), 0);
  ExpectSameAsTheWalk(plan, pool, built, PidRecords({11, 22, 33, 44}, {0, 1}));
}

TEST(EqualityRuns, TracedFilterIsNotRun) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  PidsAnyOf(plan, pool, kFivePids);
  const testing::ElementByElement walked(plan, pool);
  ASSERT_EQ(walked.built().status(), 0);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(walked.built().element(i).routine, OperatorTable(Mode::kTraced, Op::kEQ)[slot::kLongColLit].routine) << i;
  }
  EXPECT_FALSE(walked.built().filter().firstElementDecides);
  EXPECT_EQ(walked.built().element(0).falseSkip, 1) << "the plan's skips";
}

TEST(EqualityRuns, ElementsInsideARunStillAnswerWhenJumpedTo) {
  // PPID = 9 jumps into the middle of the run: only the literals from there on are compared.
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.Compare(kPpid, op::kEQ, pool.Long(9)).TrueTo(3).FalseTo(1);
  plan.Compare(kPid, op::kEQ, pool.Long(11)).TrueToEnd().FalseTo(2);
  plan.Compare(kPid, op::kEQ, pool.Long(22)).TrueToEnd().FalseTo(3);
  plan.Compare(kPid, op::kEQ, pool.Long(33)).TrueToEnd().FalseTo(4);
  plan.Compare(kPid, op::kEQ, pool.Long(44)).TrueToEnd().FalseToEnd();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(RunLength(built, 1), 4);
  EXPECT_EQ(built.Evaluate(PidRecord(11, 0)), 0);
  EXPECT_EQ(built.Evaluate(PidRecord(11, 9)), 1) << "11 and 22 lie before the element jumped to";
  EXPECT_EQ(built.Evaluate(PidRecord(33, 9)), 0);
  ExpectSameAsTheWalk(plan, pool, built, PidRecords({11, 22, 33, 44, 55}, {0, 9}));
}

TEST(EqualityRuns, RunEndingBeforeOtherElementsLeadsWhereItsLastElementLeads) {
  // (PID = 11 OR PID = 22 OR PID = 33) AND PPID = 1: a match goes on to PPID, no match ends with 1.
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.Compare(kPid, op::kEQ, pool.Long(11)).TrueTo(3).FalseTo(1);
  plan.Compare(kPid, op::kEQ, pool.Long(22)).TrueTo(3).FalseTo(2);
  plan.Compare(kPid, op::kEQ, pool.Long(33)).TrueTo(3).FalseToEnd();
  plan.Compare(kPpid, op::kEQ, pool.Long(1)).TrueToEnd().FalseToEnd();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(RunLength(built, 0), 3);
  for (std::int32_t pid : {11, 22, 33, 44}) {
    for (std::int32_t ppid : {0, 1}) {
      EXPECT_EQ(built.Evaluate(PidRecord(pid, ppid)), (pid != 44 && ppid == 1) ? 0 : 1) << pid << " " << ppid;
    }
  }
  ExpectSameAsTheWalk(plan, pool, built, PidRecords({11, 22, 33, 44}, {0, 1}));
}

TEST(EqualityRuns, NotEqualJoinedByAndIsARun) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.AllOf();
  for (std::int32_t pid : {11, 22, 33}) plan.Compare(kPid, op::kNE, pool.Long(pid));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), 3);
  EXPECT_TRUE(built.filter().firstElementDecides);
  for (std::int32_t pid : kProbes) {
    EXPECT_EQ(built.Evaluate(PidRecord(pid)), (pid == 11 || pid == 22 || pid == 33) ? 1 : 0) << pid;
  }
  ExpectSameAsTheWalk(plan, pool, built, PidRecords(kProbes));
}

TEST(EqualityRuns, TwoByteColumnsCompareTheirBits) {
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  plan.AnyOf();
  for (std::uint16_t port : {80, 443, 0xFFFF}) plan.Compare(kPort, op::kEQ, pool.UShort(port));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), 3);
  std::vector<std::vector<std::uint8_t>> records;
  for (std::uint16_t port : {80, 443, 0xFFFF, 0x7FFF, 0, 8080}) {
    records.push_back(PidRecord(0, 0, port));
    EXPECT_EQ(built.Evaluate(records.back()), (port == 80 || port == 443 || port == 0xFFFF) ? 0 : 1) << port;
  }
  ExpectSameAsTheWalk(plan, pool, built, records);
}

TEST(EqualityRuns, LongRunsAreBoundAsConsecutiveRuns) {
  std::vector<std::int32_t> pids;
  for (std::int32_t i = 1; i <= equality_runs::kLongestRun + 4; ++i) pids.push_back(i * 10);
  PoolBuilder pool;
  PlanBuilder plan("RUNS");
  BuiltFilter built(PidsAnyOf(plan, pool, pids), pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(RunLength(built, 0), equality_runs::kLongestRun);
  EXPECT_EQ(RunLength(built, equality_runs::kLongestRun), 4);
  for (std::int32_t pid : pids) EXPECT_EQ(built.Evaluate(PidRecord(pid)), 0) << pid;
  for (std::int32_t pid : {0, 5, 15, 1000}) EXPECT_EQ(built.Evaluate(PidRecord(pid)), 1) << pid;
}

}  // namespace
}  // namespace vexfilt
