// Bad plans refused before they can mislead evaluation, every allocation failing in turn, and Filters used
// on several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "core/memory.h"
#include "filter_fixture.h"
#include "guarded_bytes.h"
#include "host/trace.h"
#include "record.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using plan::SearchList;
using testing::BuiltFilter;
using testing::CapturedTrace;
using testing::GuardedBytes;
using testing::Record;
using testing::ScopedEnv;

std::string RefusalOf(PlanBuilder& plan, PoolBuilder& pool) {
  CapturedTrace trace;
  BuiltFilter built(plan, pool);
  EXPECT_EQ(built.status(), 6);
  return trace.lines().empty() ? "" : trace.lines()[0].substr(0, trace.lines()[0].find(" - Table"));
}

TEST(RecordReads, EveryOperandLiesInsideTheRecord) {
  {
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    plan.RecordLength(8).Compare(Column::Long("A", 6), op::kEQ, pool.Long(1));
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 6");
  }
  {
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    const Column right = Column::Long("B", 10);
    plan.RecordLength(12).CompareColumns(Column::Long("A", 0), op::kEQ, right, pool.ColumnDescriptor(right));
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid rightColumnOffset 10");
  }
  {
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    plan.RecordLength(32).Substring(Column::VarChar("V", 0, 12), -3, op::kEQ, pool.Char("X"));
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnLength 12");
  }
  {
    plan::ChangeControl control;
    control.keys = {Column::Char("KEY", 30, 8)};
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    const plan::Literal scratch = pool.ChangeScratch(control);
    const plan::Literal block = pool.Change(control);
    plan.RecordLength(32).Change(Column::Long("V", 0), scratch, block);
    plan.Always();
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid rightLiteralId 2");
  }
  {
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    plan.RecordLength(32).Compare(Column::Char("C", 0, 8), op::kEQ, pool.Char("AB")).SubstringOffset(1 << 26);
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 0") << "compared from the offset";
    plan.At(0).Record().columnLength = 0;
    plan.At(0).Record().substringOffset = 0;
    plan.At(0).Record().columnOffset = 31;
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 31") << "a column of no length";
    plan.At(0).Record().columnLength = 8;
    plan.At(0).Record().columnOffset = 0;
    plan.At(0).Record().substringOffset = 1 << 26;
    // The routine is chosen by the operator's low 16 bits, and so is what it reads.
    plan.At(0).Record().compareOperator = static_cast<std::int32_t>(0xF9000000u | op::kEQ);
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 0");
  }
  {
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    plan.RecordLength(32).Like(Column::Char("C", 0, 8), pool.Char("A*")).SubstringOffset(9);
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid substringOffset 9");
  }
  {
    plan::ChangeControl control;
    control.keys = {Column::Char("KEY", 8, 8)};
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    const plan::Literal block = pool.Change(control);
    plan.RecordLength(32).Change(Column::Long("V", 0), plan::Literal{99, 0, 0}, block);
    plan.Always();
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid leftLiteralId 99") << "no scratch record";
  }
  {
    // A left column whose flags name no type takes the character routine, which compares an integer right column that
    // creation did not scale as text of its declared length: that length must fit, not the integer's 4 bytes.
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    const Column right = Column::Long("B", 28);
    plan.RecordLength(32).CompareColumns(Column::Short("A", 0), op::kEQ, right, pool.ColumnDescriptor(right));
    plan.At(0).Record().leftFlags = rep::kNullable | rep::kMixed | rep::kColumn;
    plan.At(0).Record().rightScale = 40;
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid rightColumnOffset 28");
  }
  {
    // A change element reads its value by the type its flags name, whatever length the column claims.
    plan::ChangeControl control;
    control.keys = {Column::Char("KEY", 0, 8)};
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    const plan::Literal scratch = pool.ChangeScratch(control);
    const plan::Literal block = pool.Change(control);
    plan.RecordLength(32).Change(Column::Long("V", 30), scratch, block).ResultTarget(1);
    plan.Always();
    plan.At(0).Record().columnLength = 0;
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 30");
  }
  {
    // A varying column's prefix is read even when the column claims no bytes.
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    plan.RecordLength(32).Compare(Column::VarChar("V", 31, 8), op::kEQ, pool.Char("A"));
    plan.At(0).Record().columnLength = 0;
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 31");
  }
  {
    // Columns of mixed representations are each read by their own flags: here the left one as 16 bytes of
    // text, though the slot is the 2-byte integers'.
    PoolBuilder pool;
    PlanBuilder plan("BOUNDS");
    const Column right = Column::Long("B", 0);
    plan.RecordLength(32).CompareColumns(Column::Short("A", 24), op::kEQ, right, pool.ColumnDescriptor(right));
    plan.At(0).Record().leftFlags = rep::kChar;
    plan.At(0).Record().columnLength = 16;
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 24");
  }
  PoolBuilder pool;
  PlanBuilder fits("BOUNDS");
  fits.RecordLength(8).Compare(Column::Long("A", 4), op::kEQ, pool.Long(1));
  EXPECT_EQ(BuiltFilter(fits, pool).status(), 0);
}

TEST(RecordReads, ValidPlansAreAcceptedWhereTheirReadsFit) {
  // A fixed one-byte search column in the record's last byte: only a list whose first entry says the
  // column is varying has a length prefix read.
  for (const std::uint8_t entryType : {std::uint8_t{0}, std::uint8_t{0x80}}) {
    PoolBuilder pool;
    PlanBuilder plan("READS");
    plan.RecordLength(8).Search(Column::Char("F", 7, 1), pool.Search(SearchList::Of({"A"}, 0, entryType)));
    plan.Always();
    if (entryType != 0) {
      EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid columnOffset 7");
      continue;
    }
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    FLT1_BeginSample(built.handle());
    GuardedBytes record(Record(8, ' ').Text(7, "A").bytes());
    FLT1_FilterRecord(built.handle(), 0, record.data());
    std::uint32_t result = 0;
    FLT1_EndSample(built.handle(), &result);
    std::uint8_t buffer[8];
    std::uint32_t length = sizeof buffer;
    EXPECT_EQ(FLT1_RetrieveRecord(built.handle(), buffer, &length), 514) << "the one key was found";
  }

  // A locale-aware substring counts characters: one that starts beyond the column's data is a single blank.
  PoolBuilder pool;
  PlanBuilder plan("READS");
  plan.RecordLength(4).Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  plan.Substring(Column::Utf8Char("T", 0, 4), 6, op::kEQ, pool.Utf8Char(" ")).LeftLiteralLength(1);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  GuardedBytes record(Record(4, ' ').Text(0, "ab\xC3\xA9").bytes());
  EXPECT_EQ(FLT1_FilterRecord(built.handle(), 0, record.data()), 0);
}

TEST(RecordReads, ColumnPairsAreProvedAsTheirRoutinesReadThem) {
  // A right column flagged as a scaled number is read as text by the plain routines when the left operand
  // is not converted (over the left literal length) and by every LIKE (over its pattern length): the
  // number's own width does not bound the read.
  for (const std::int32_t comparison : {op::kEQ, op::kLike}) {
    for (const std::int32_t offset : {60, 56}) {
      PoolBuilder pool;
      PlanBuilder plan("READS");
      plan.RecordLength(64)
          .CompareColumns(Column::Char("L", 0, 8), comparison, Column::Char("R", offset, 8),
                          pool.ColumnDescriptor(Column::Char("R", offset, 8)))
          .DataType(0)
          .RightLiteralLength(8)
          .RightFlags(rep::kLong | rep::kScaledMixed | rep::kColumn);
      plan.At(0).Record().leftFlags = rep::kNameNormalised;
      if (offset == 60) {
        EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid rightColumnOffset 60") << comparison;
        continue;
      }
      BuiltFilter built(plan, pool);
      ASSERT_EQ(built.status(), 0) << comparison;
      GuardedBytes record(Record(64, ' ').bytes());
      FLT1_FilterRecord(built.handle(), 0, record.data());
    }
  }
}

TEST(SearchLists, NegativeDataOffsetIsRefused) {
  PoolBuilder pool;
  PlanBuilder plan("LISTS");
  SearchList list = SearchList::Of({"ALPHA"}, 8);
  list.dataOffset = -4;
  const plan::Literal literal = pool.Search(list);
  plan.RecordLength(8).Search(Column::Char("NAME", 0, 8), literal);
  EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid rightLiteralId " + std::to_string(literal.id));
}

TEST(ValueAreas, ScaledOperandsReadAsMixedNumbersHaveBoth) {
  // The locale-aware routine for a varying column against a column reads the pair as numbers of different
  // scales when the right operand's flags say so, though the left one is not marked mixed: the plan must
  // then give both value areas. Without the left one that read would write through a null pointer.
  PoolBuilder pool;
  PlanBuilder plan("AREAS");
  plan.RecordLength(32).Compare(Column::Utf8VarChar("V", 0, 16), op::kEQ, pool.Long(5)).Slot(slot::kLocaleVarCharColCol).RightColumnOffset(20);
  plan.At(0).Record().leftFlags = rep::kUtf8 | rep::kVarying | rep::kShort | rep::kScaled;
  plan.At(0).Record().rightFlags = rep::kLong | rep::kScaledMixed;
  EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid leftLiteralId 0");
}

TEST(EvaluationWrites, NeverReachIntoABlockAnotherElementTrusts) {
  // A timestamp written over a search list would give the next search a count that leads outside it.
  PoolBuilder pool;
  PlanBuilder plan("WRITES");
  const Column stamp = Column::Char("TS", 0, 16);
  plan.MakeTime(stamp, pool.Char("+"), pool.Char("1D")).ResultOperand(1);
  plan.Search(Column::Char("NAME", 16, 8), pool.Search(SearchList::Of({"ALPHA", "BETA"}, 8)));
  EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid resultOperand 1");

  // A change element's scratch record laid over another change element's control block.
  plan::ChangeControl control;
  control.keys = {Column::Char("KEY", 8, 8)};
  PoolBuilder changes;
  PlanBuilder twice("WRITES");
  const plan::Literal scratch = changes.ChangeScratch(control);
  const plan::Literal first = changes.Change(control);
  const plan::Literal second = changes.Change(control);
  twice.Change(Column::Long("V", 0), scratch, first).ResultTarget(2);
  twice.Change(Column::Long("V", 0), first, second).ResultTarget(1);
  twice.Always();
  EXPECT_EQ(RefusalOf(twice, changes).rfind("Filter Element ", 0), 0u);

  // A value area laid over a change control block, on an element that reads into its value areas because
  // its right operand is a scaled number, though its left operand is not marked mixed.
  PoolBuilder areas;
  PlanBuilder scaled("WRITES");
  const plan::Literal block = areas.Change(control);
  scaled.RecordLength(32).Change(Column::Long("V", 0), areas.ChangeScratch(control), block).ResultTarget(1);
  scaled.Compare(Column::Utf8VarChar("T", 16, 8), op::kEQ, areas.Char("0123456789ABCDEF"))
      .Slot(slot::kLocaleVarCharColCol)
      .RightColumnOffset(24)
      .LeftLiteral(block);
  scaled.At(1).Record().leftFlags = rep::kUtf8 | rep::kVarying | rep::kShort | rep::kScaled;
  scaled.At(1).Record().rightFlags = rep::kLong | rep::kScaledMixed;
  const std::string refusal = RefusalOf(scaled, areas);
  EXPECT_EQ(refusal.rfind("Filter Element 1 invalid leftLiteralId ", 0), 0u) << refusal;
}

TEST(EvaluationWrites, BlocksOfTwoElementsNeverOverlap) {
  // A search list laid over a change control block: the change routine writes its cache references over
  // the list's counts, and the search its match flags over the block's key entries.
  plan::ChangeControl control;
  control.keys = {Column::Char("KEY", 8, 8)};
  PoolBuilder pool;
  PlanBuilder plan("WRITES");
  const plan::Literal block = pool.Change(control);
  plan.RecordLength(16).Change(Column::Long("V", 0), pool.ChangeScratch(control), block).ResultTarget(2);
  plan.Search(Column::Char("KEY", 8, 8), block);
  plan.Always();
  EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 1 invalid rightLiteralId " + std::to_string(block.id));

  // Two searches of one list are sound: each marks the entries its values match.
  PoolBuilder lists;
  PlanBuilder shared("WRITES");
  const plan::Literal list = lists.Search(SearchList::Of({"ALPHA", "BETA"}, 8));
  shared.RecordLength(16).Search(Column::Char("A", 0, 8), list);
  shared.Search(Column::Char("B", 8, 8), list);
  EXPECT_EQ(BuiltFilter(shared, lists).status(), 0);
}

TEST(ChangeValues, FitTheWordTheirRoutineDeliversInto) {
  // The 2-byte change routine writes into a 16-bit word of its target; a double there would overwrite the
  // target's type and function code.
  plan::ChangeControl control;
  control.keys = {Column::Char("KEY", 8, 8)};
  for (const Column& value : {Column::Double("V", 0), Column::Long("V", 0)}) {
    PoolBuilder pool;
    PlanBuilder plan("CHANGES");
    plan.RecordLength(16).Change(value, pool.ChangeScratch(control), pool.Change(control)).Slot(slot::kShortColLit).ResultTarget(1);
    plan.Always();
    EXPECT_EQ(RefusalOf(plan, pool), "Filter Element 0 invalid dataType " + std::to_string(value.dataType));
  }
  PoolBuilder pool;
  PlanBuilder fits("CHANGES");
  fits.RecordLength(16).Change(Column::Short("V", 0), pool.ChangeScratch(control), pool.Change(control)).Slot(slot::kShortColLit).ResultTarget(1);
  fits.Always();
  EXPECT_EQ(BuiltFilter(fits, pool).status(), 0);
}

TEST(FunctionCodes, SearchCodeUnderAnyOperatorHasItsListChecked) {
  // The function code alone chooses the search routine; its list is checked whatever the operator says, or
  // a count larger than the list would lead the search outside it.
  for (const std::int32_t oper : {op::kFunc, op::kEQ, std::int32_t{0x7FFF}}) {
    SearchList list = SearchList::Of({"AAA", "BBB"}, 8);
    list.count = 3;
    PoolBuilder pool;
    PlanBuilder plan("SEARCH");
    plan.Search(Column::Char("NAME", 0, 8), pool.Search(list));
    plan.At(0).Record().compareOperator = oper;
    CapturedTrace trace;
    EXPECT_EQ(BuiltFilter(plan, pool).status(), 6) << "operator " << oper;
  }
}

TEST(FunctionCodes, CodeInTheNameBytesChoosesTheRoutineAndTheRelease) {
  // A control byte where the name begins is a one-byte function code; it replaces the 32-bit code before
  // the routine is chosen, so that the cache a change element gets is the one destruction releases.
  plan::ChangeControl control;
  control.keys = {Column::Char("KEY", 8, 8)};
  CapturedTrace quiet;
  const long before = OutstandingBlocks();
  for (const char* name : {"\x01VALUE", "VALUE"}) {
    PoolBuilder pool;
    PlanBuilder plan("CODES");
    const plan::Literal scratch = pool.ChangeScratch(control);
    const plan::Literal block = pool.Change(control);
    plan.Change(Column::Long("V", 0), scratch, block).ResultTarget(1).ColumnName(name);
    plan.Always();
    BuiltFilter built(plan, pool);
    if (name[0] == 1) {
      EXPECT_EQ(built.status(), 1) << "the always-holding function has no routine for a 4-byte column";
      continue;
    }
    ASSERT_EQ(built.status(), 0);
    EXPECT_EQ(built.Evaluate(Record(32, ' ').Text(8, "KEY1").bytes()), 0) << "a new key, then Always";
  }
  EXPECT_EQ(OutstandingBlocks(), before);
}

TEST(AllocationFailures, EveryFailurePointGivesACleanStatusAndLeaksNothing) {
  const std::string path = "/tmp/vexfilt-alloc-sweep.txt";
  std::ofstream(path) << "alpha\nbeta\n";
  int failurePoints = 0;
  for (long n = 0;; ++n) {
    const long before = OutstandingBlocks();
    PoolBuilder pool;
    PlanBuilder plan("ALLOC");
    plan.Search(Column::Char("NAME", 0, 40), pool.Search(SearchList::File(path, 40)));
    plan.Compare(Column::VarChar("NOTE", 40, 22), op::kEQ, pool.Char("x"));
    plan.StringSearch(Column::Char("NAME", 0, 40), pool.Char("ph"));
    plan::ChangeControl control;
    control.keys = {Column::Char("NAME", 0, 8)};
    const plan::Literal scratch = pool.ChangeScratch(control);
    const plan::Literal block = pool.Change(control);
    plan.Change(Column::Long("CPU", 64), scratch, block).ResultTarget(1);
    plan.Always();
    FailAllocationAfter(n);
    CapturedTrace quiet;
    std::int32_t created, modified = -1, searched = -1;
    {
      BuiltFilter built(plan, pool);
      created = built.status();
      if (created == 0) {
        // A row key seen for the first time is cached: the change element answers 1000 when it cannot be.
        FLT1_BeginSample(built.handle());
        built.Evaluate(Record(72, ' ').Text(0, "alpha").bytes());
        std::uint32_t result = 0;
        FLT1_EndSample(built.handle(), &result);
        modified = FLT1_ModifyPredicate(built.handle(), "NOTE", 0, "changed", 7);
        searched = FLT1_ModifyPredicate(built.handle(), "NAME", fn::kStringSearch, "ta", 2);
      }
    }
    const bool reached = FailAllocationAfter(-1) < 0;
    EXPECT_EQ(OutstandingBlocks(), before) << "failure point " << n;
    EXPECT_TRUE(created == 0 || created == 7) << n;
    EXPECT_TRUE(modified == -1 || modified == 0 || modified == 7) << n;
    EXPECT_TRUE(searched == -1 || searched == 0 || searched == 7) << n;
    if (!reached) break;
    ++failurePoints;
    ASSERT_LT(n, 50);
  }
  FailAllocationAfter(-1);
  std::remove(path.c_str());
  // The Filter, the list read from the file, the change cache and its buckets, the first row's record and
  // cache entry, then one buffer per modification.
  EXPECT_EQ(failurePoints, 8);
}

// A trace sink that takes no memory: an allocation failure in the sweeps below can only be the library's.
class LineLengths {
 public:
  LineLengths() { VEXH_SetTraceSink(&LineLengths::Sink, this); }
  ~LineLengths() {
    VEXH_SetTraceSink(nullptr, nullptr);
    VEXH_ResetTraceLevels();
  }
  LineLengths(const LineLengths&) = delete;
  LineLengths& operator=(const LineLengths&) = delete;

  int lines = 0;
  std::size_t longest = 0;

 private:
  static void Sink(void* context, const char* line) {
    auto* self = static_cast<LineLengths*>(context);
    ++self->lines;
    self->longest = std::max(self->longest, std::strlen(line));
  }
};

// Runs `call` with each operator new it makes failing in turn, after `prepare` (which may allocate); every
// run must end in `call` returning, never in an exception. Returns how many failure points were met.
template <typename Prepare, typename Call>
int SweepOperatorNew(Prepare prepare, Call call) {
  for (long n = 0;; ++n) {
    prepare();
    bool escaped = false;
    testing::FailOperatorNewAfter(n);
    try {
      call();
    } catch (...) {
      escaped = true;
    }
    const bool reached = testing::FailOperatorNewAfter(-1) < 0;
    EXPECT_FALSE(escaped) << "an exception left the library at failure point " << n;
    if (!reached || n == 100) return static_cast<int>(n);
  }
}

// A Filter whose elements have the traced routines: VEX_TRACEFILTER names its table at creation.
std::unique_ptr<BuiltFilter> TracedFilter(PlanBuilder& plan, const PoolBuilder& pool) {
  ForgetTraceFilterSetting();
  ScopedEnv named("VEX_TRACEFILTER", "TRACED");
  plan.TableName("TRACED");
  VEXH_SetTraceLevel(nullptr, 0x01);
  auto built = std::make_unique<BuiltFilter>(plan, pool);
  VEXH_ResetTraceLevels();
  ForgetTraceFilterSetting();
  return built;
}

TEST(AllocationFailures, TracedLineLongerThanItsBufferLeavesTheRecordsStatus) {
  LineLengths lengths;
  PoolBuilder pool;
  PlanBuilder plan;
  plan.Compare(Column::Double("D", 0), op::kGT, pool.Double(1e300));  // each value prints 301 digits
  const auto built = TracedFilter(plan, pool);
  ASSERT_EQ(built->status(), 0);
  const std::vector<std::uint8_t> record = Record().At(0, 2e300).bytes();
  VEXH_SetTraceLevel(nullptr, 0x01);
  ASSERT_EQ(built->Evaluate(record), 0);
  ASSERT_GT(lengths.longest, 600u) << "the line must be longer than the 511 characters written without memory";

  std::int32_t st = -1;
  EXPECT_EQ(SweepOperatorNew([] {}, [&] { st = FLT1_FilterRecord(built->handle(), 0, record.data()); }), 0)
      << "a traced record takes nothing from operator new";
  EXPECT_EQ(st, 0);

  // The library's own memory: a line that cannot have it is written as far as it fits without.
  int failurePoints = 0;
  for (long n = 0; n < 10; ++n) {
    lengths.longest = 0;
    FailAllocationAfter(n);
    st = built->Evaluate(record);
    if (FailAllocationAfter(-1) >= 0) break;
    ++failurePoints;
    EXPECT_EQ(st, 0) << n;
    EXPECT_EQ(lengths.longest, 511u) << n;
  }
  EXPECT_EQ(failurePoints, 2) << "the line grows into a block, and is formatted once more into another";
}

TEST(AllocationFailures, FirstReadOfTraceLevelsInARecordThrowsNothing) {
  LineLengths lengths;
  PoolBuilder pool;
  PlanBuilder plan;
  plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(7));
  const auto built = TracedFilter(plan, pool);
  ASSERT_EQ(built->status(), 0);
  const std::vector<std::uint8_t> record = Record().At(0, 7).bytes();
  ScopedEnv levels("VEX_TRACE_LEVEL", "0x00, FLT1_CreateFilter=0x11, SomeBlockWithALongerName=0x80, Long=0x01");

  std::int32_t st = -1;
  EXPECT_EQ(SweepOperatorNew([] { ForgetTraceLevels(); },
                             [&] { st = FLT1_FilterRecord(built->handle(), 0, record.data()); }),
            0)
      << "reading the levels takes nothing from operator new";
  EXPECT_EQ(st, 0);
  lengths.lines = 0;
  ForgetTraceLevels();
  EXPECT_EQ(built->Evaluate(record), 0);
  EXPECT_EQ(lengths.lines, 1) << "the printer's own setting was read";
}

TEST(AllocationFailures, HostConfigurationThrowsNothing) {
  LineLengths lengths;
  ScopedEnv levels("VEX_TRACE_LEVEL", "0x00, FLT1_CreateFilter=0x11, SomeBlockWithALongerName=0x80");
  const char* name = "AnotherBlockWithALongName";
  SweepOperatorNew([] { ForgetTraceLevels(); }, [&] { VEXH_SetTraceLevel(name, 0x41); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceLevel("YetAnotherBlockWithALongName", 0x11); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceLevel(nullptr, 0x02); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceLevel(name, 0x41); });
  static TraceBlock block{"AnotherBlockWithALongName", kFilterUnit, __LINE__};
  EXPECT_EQ(TraceLevelOf(block), 0x41u);
  SweepOperatorNew([] {}, [] { VEXH_ResetTraceLevels(); });
  EXPECT_EQ(TraceLevelOf(block), 0u);
  SweepOperatorNew([] {}, [] { VEXH_SetClock(nullptr, nullptr); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceSink(nullptr, nullptr); });
}

TEST(Threads, FiltersOnSeveralThreadsAtOnce) {
  // Each thread creates, samples and destroys Filters of its own: a comparison chain, and a change element
  // beside an expected-keys list whose missing key is retrieved after every sample.
  struct Tally {
    int passes = 0, changes = 0, missing = 0;
  };
  auto work = [](int seed, Tally* tally) {
    for (int round = 0; round < 40; ++round) {
      PoolBuilder pool;
      PlanBuilder plan("THREADS");
      plan.RecordLength(32).AllOf();
      plan.Like(Column::Char("NAME", 8, 8), pool.Char("ab*"));
      plan.Compare(Column::Long("CPU", 0), op::kGT, pool.Long(seed));
      BuiltFilter built(plan, pool);

      plan::ChangeControl control;
      control.keys = {Column::Char("NAME", 8, 8)};
      PoolBuilder watchPool;
      PlanBuilder watch("WATCH");
      watch.RecordLength(32);
      const plan::Literal scratch = watchPool.ChangeScratch(control);
      const plan::Literal block = watchPool.Change(control);
      watch.Change(Column::Long("CPU", 0), scratch, block).ResultTarget(1);
      watch.Always();
      watch.Search(Column::Char("NAME", 8, 8), watchPool.Search(SearchList::Of({"abc", "zzz"}, 8)));
      BuiltFilter watcher(watch, watchPool);
      if (built.status() != 0 || watcher.status() != 0) return;

      for (int sample = 0; sample < 2; ++sample) {
        FLT1_BeginSample(built.handle());
        FLT1_BeginSample(watcher.handle());
        for (int i = 0; i < 50; ++i) {
          const Record record = Record(32, ' ').At(0, i + sample).Text(8, i % 2 ? "abc" : "xyz");
          tally->passes += built.Evaluate(record.bytes()) == 0;
          if (i < 2) {
            watcher.element(1).leftResult = 0;
            FLT1_FilterRecord(watcher.handle(), 0, record.bytes().data());
            tally->changes += watcher.element(1).leftResult == 1;  // CPU is one more than a sample ago
          }
        }
        std::uint32_t result = 0;
        FLT1_EndSample(built.handle(), &result);
        FLT1_EndSample(watcher.handle(), &result);
        std::vector<std::uint8_t> buffer(64);
        std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
        while (FLT1_RetrieveRecord(watcher.handle(), buffer.data(), &length) == 0) {
          ++tally->missing;
          length = static_cast<std::uint32_t>(buffer.size());
        }
      }
    }
  };
  std::vector<Tally> tallies(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t * 10, &tallies[static_cast<std::size_t>(t)]);
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    int expected = 0;
    for (int sample = 0; sample < 2; ++sample) {
      for (int i = 0; i < 50; ++i) expected += (i % 2) && i + sample > t * 10;
    }
    const Tally& tally = tallies[static_cast<std::size_t>(t)];
    EXPECT_EQ(tally.passes, 40 * expected) << t;
    EXPECT_EQ(tally.changes, 40 * 2) << "the second sample sees both keys move by one: " << t;
    EXPECT_EQ(tally.missing, 40 * 2) << "zzz goes missing in every sample: " << t;
  }
}

}  // namespace
}  // namespace vexfilt
