// Bad plans refused before they can mislead evaluation, every allocation failing in turn, and Filters used on
// several threads at once. Each refusal of creation has its status and message; an accepted plan is run once
// over a record that ends where memory does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// A plan and what creation says of it: "" when it accepts it, else its status and each line it wrote, up to
// " - Table" (after which come the table name, checked here, and the Filter's address). An accepted plan is
// run once over a record of its length, ending where memory does, that starts with `record` and is blank after.
struct Creation {
  const char* what;
  std::string says;
  std::function<void(PlanBuilder&, PoolBuilder&)> write;
  std::string record = "";
  std::int32_t answer = -1;  // what that run answers, where it matters
};

void ExpectCreations(const std::vector<Creation>& cases) {
  for (const Creation& c : cases) {
    PoolBuilder pool;
    PlanBuilder plan("CHECKS");
    c.write(plan, pool);
    const long before = OutstandingBlocks();
    CapturedTrace trace;  // refusals are written whatever the trace level
    std::string said;
    {
      const BuiltFilter built(plan, pool);
      if (built.status() != 0) {
        said = std::to_string(built.status());
        EXPECT_EQ(built.handle().filter, nullptr) << c.what << ": the handle is not written on failure";
      } else if (const std::uint32_t length = built.filter().recordLength; length > 0) {
        const GuardedBytes record(Record(length, ' ').Text(0, c.record).bytes());
        const std::int32_t answer = FLT1_FilterRecord(built.handle(), 0, record.data());
        EXPECT_TRUE(c.answer < 0 || answer == c.answer) << c.what << " answers " << answer;
      }
    }
    for (const std::string& line : trace.lines()) {
      const std::size_t table = line.find(" - Table ");
      if (table != std::string::npos) {
        EXPECT_EQ(line.find(" - Table CHECKS     0x", table), table) << line;
      }
      said += (said.find(' ') == std::string::npos ? " " : "\n") + line.substr(0, table);
    }
    EXPECT_EQ(said, c.says) << c.what;
    EXPECT_EQ(OutstandingBlocks(), before) << c.what;
  }
}

PlanBuilder& Always(PlanBuilder& plan, int count) {
  for (int i = 0; i < count; ++i) plan.Always();
  return plan;
}

// One always-holding element in a plan and a pool of these versions.
auto Versions(std::int16_t plan, std::int16_t pool) {
  return [=](PlanBuilder& p, PoolBuilder& q) {
    p.Always().plan().Version(plan);
    q.Version(pool);
  };
}

const Column kKey8 = Column::Char("KEY", 8, 8);

TEST(Creation, HeadersLengthsSkipsAndOwnership) {
  ExpectCreations({
      {"a plan version above the newest", "6 Unsupported version of FilterPlan or LiteralPool - 21845/131",
       Versions(21845, 131)},
      {"a plan version below the oldest", "6 Unsupported version of FilterPlan or LiteralPool - 129/131",
       Versions(129, 131)},
      {"a pool version above the newest", "6 Unsupported version of FilterPlan or LiteralPool - 131/21845",
       Versions(131, 21845)},
      {"the newest versions", "", Versions(21844, 21844)},
      {"the oldest versions", "", Versions(130, 130)},
      {"version 130 with longer elements", "6 Filter Element Length Error- 200/192",
       [](auto& plan, auto&) { Always(plan, 1).Version(130).ElementLength(200); }},
      {"version 130 records beyond the plan's length", "6 Filter Element Length Error- 192/192",
       [](auto& plan, auto&) {
         Always(plan, 2).Version(130).BufferLength(kPlanHeaderSize + kElementRecordSize + 100);
       }},
      // Three records 200 bytes apart need 624 bytes: the last one only its first 192.
      {"records 200 bytes apart", "",
       [](auto& plan, auto&) { Always(plan, 3).ElementLength(200).TotalLength(624).BufferLength(624); }},
      {"a total length below the minimum",
       "6 Filter version 131 Package/Element Length Error- 623 = 623 < 624 200/192 ",
       [](auto& plan, auto&) { Always(plan, 3).ElementLength(200).TotalLength(623).BufferLength(623); }},
      {"a total length not the length given",
       "6 Filter version 131 Package/Element Length Error- 632 = 640 < 624 200/192 ",
       [](auto& plan, auto&) { Always(plan, 3).ElementLength(200).TotalLength(640); }},
      {"elements shorter than a record", "6 Filter version 131 Package/Element Length Error- 424 = 424 < 424 100/192 ",
       [](auto& plan, auto&) { Always(plan, 3).ElementLength(100).TotalLength(424).BufferLength(424); }},
      {"a negative element count", "6 Filter version 131 Package/Element Length Error- 32 = 32 < -160 192/192 ",
       [](auto& plan, auto&) { plan.ElementCount(-1); }},
      {"a plan shorter than its header", "6 FilterPlan or LiteralPool shorter than its header - 20/16",
       [](auto& plan, auto&) { plan.BufferLength(20); }},
      {"a pool shorter than its header", "6 FilterPlan or LiteralPool shorter than its header - 32/8",
       [](auto&, auto& pool) { pool.BufferLength(8); }},
      {"a skip that does not move forward", "6 Filter Element 1 invalid falseSkip 0",
       [](auto& plan, auto&) { Always(plan, 2).At(1).Skips(1, 0); }},
      // The owned-literal bit marks memory that modification allocated; taken from a plan, it would make
      // destruction free a pointer into the Filter's own block: refused after the element bound its literal.
      {"owned operands, refused later", "6 Filter Element 1 invalid trueSkip 0",
       [](auto& plan, auto& pool) {
         plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(5)).RightFlags(0x1000).LeftFlags(0x1004);
         plan.Always().Skips(0, 1);
       }},
      {"owned operands", "",
       [](auto& plan, auto& pool) {
         plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(5)).RightFlags(0x1000).LeftFlags(0x1004);
       }},
      // A control byte where the name begins is a one-byte function code that replaces the 32-bit one before
      // the routine is chosen, so that the cache a change element gets is the one destruction releases.
      {"a change under the always-holding code in its name",
       "1 Unsupported Record Mode Slot - 10 Operator 33 FunctionSet 1",
       [](auto& plan, auto& pool) {
         testing::AddChange(plan, pool, Column::Long("V", 0), kKey8).ColumnName("\x01VALUE");
         plan.Always();
       }},
  });
}

TEST(Creation, MissingOrEmptyArgumentsGiveOneWithoutMessage) {
  CapturedTrace trace;
  const auto plan = PlanBuilder().Always().plan().Build();
  const auto pool = PoolBuilder().Build();
  const auto planLength = static_cast<std::int16_t>(plan.size());
  const auto poolLength = static_cast<std::int16_t>(pool.size());
  FilterHandle handle{};
  EXPECT_EQ(FLT1_CreateFilter(0, nullptr, planLength, pool.data(), poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), 0, pool.data(), poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), -5, pool.data(), poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), planLength, nullptr, poolLength, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), planLength, pool.data(), 0, &handle), 1);
  EXPECT_EQ(FLT1_CreateFilter(0, plan.data(), planLength, pool.data(), poolLength, nullptr), 1);
  EXPECT_EQ(handle.filter, nullptr);
  EXPECT_TRUE(trace.lines().empty());
}

// A right column flagged as a scaled number is read as text by the plain routines when the left operand is not
// converted (over the left literal length) and by every LIKE (over its pattern length): the number's own width
// does not bound the read.
auto ScaledRightColumn(std::int32_t comparison, std::int32_t offset) {
  return [=](PlanBuilder& plan, PoolBuilder& pool) {
    const Column right = Column::Char("R", offset, 8);
    plan.RecordLength(64)
        .CompareColumns(Column::Char("L", 0, 8), comparison, right, pool.ColumnDescriptor(right))
        .DataType(0)
        .RightLiteralLength(8)
        .RightFlags(rep::kLong | rep::kScaledMixed | rep::kColumn)
        .LeftFlags(rep::kNameNormalised);
  };
}

TEST(Creation, EveryOperandLiesInsideTheRecord) {
  ExpectCreations({
      {"a column past the end", "6 Filter Element 0 invalid columnOffset 6",
       [](auto& plan, auto& pool) { plan.RecordLength(8).Compare(Column::Long("A", 6), op::kEQ, pool.Long(1)); }},
      {"a column that ends the record", "",
       [](auto& plan, auto& pool) { plan.RecordLength(8).Compare(Column::Long("A", 4), op::kEQ, pool.Long(1)); }},
      {"a right column past the end", "6 Filter Element 0 invalid rightColumnOffset 10",
       [](auto& plan, auto& pool) {
         const Column right = Column::Long("B", 10);
         plan.RecordLength(12).CompareColumns(Column::Long("A", 0), op::kEQ, right, pool.ColumnDescriptor(right));
       }},
      {"a scaled right column read as text", "6 Filter Element 0 invalid rightColumnOffset 60",
       ScaledRightColumn(op::kEQ, 60)},
      {"the same read by a LIKE", "6 Filter Element 0 invalid rightColumnOffset 60", ScaledRightColumn(op::kLike, 60)},
      {"a scaled right column read as text where it fits", "", ScaledRightColumn(op::kEQ, 56)},
      {"the same read by a LIKE where it fits", "", ScaledRightColumn(op::kLike, 56)},
      {"a substring before the column", "6 Filter Element 0 invalid columnLength 12",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32).Substring(Column::VarChar("V", 0, 12), -3, op::kEQ, pool.Char("X"));
       }},
      {"a change key past the end", "6 Filter Element 0 invalid rightLiteralId 2",
       [](auto& plan, auto& pool) {
         testing::AddChange(plan.RecordLength(32), pool, Column::Long("V", 0), Column::Char("KEY", 30, 8));
         plan.Always();
       }},
      {"a compare from a far substring offset", "6 Filter Element 0 invalid columnOffset 0",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32).Compare(Column::Char("C", 0, 8), op::kEQ, pool.Char("AB")).SubstringOffset(1 << 26);
       }},
      {"a column of no length at the end", "6 Filter Element 0 invalid columnOffset 31",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32).Compare(Column::Char("C", 31, 8), op::kEQ, pool.Char("AB")).ColumnLength(0);
       }},
      // The routine is chosen by the operator's low 16 bits, and so is what it reads.
      {"an operator with high bits", "6 Filter Element 0 invalid columnOffset 0",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32)
             .Compare(Column::Char("C", 0, 8), op::kEQ, pool.Char("AB"))
             .SubstringOffset(1 << 26)
             .Operator(static_cast<std::int32_t>(0xF9000000u | op::kEQ));
       }},
      {"a LIKE past its column", "6 Filter Element 0 invalid substringOffset 9",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32).Like(Column::Char("C", 0, 8), pool.Char("A*")).SubstringOffset(9);
       }},
      {"a change without its scratch record", "6 Filter Element 0 invalid leftLiteralId 99",
       [](auto& plan, auto& pool) {
         const plan::Literal block = pool.Change({.keys = {kKey8}});
         plan.RecordLength(32).Change(Column::Long("V", 0), plan::Literal{99, 0, 0}, block);
         plan.Always();
       }},
      // A left column whose flags name no type takes the character routine, which compares an integer right
      // column that creation did not scale as text of its declared length: that length must fit, not 4 bytes.
      {"a right integer read as text", "6 Filter Element 0 invalid rightColumnOffset 28",
       [](auto& plan, auto& pool) {
         const Column right = Column::Long("B", 28);
         plan.RecordLength(32)
             .CompareColumns(Column::Short("A", 0), op::kEQ, right, pool.ColumnDescriptor(right))
             .LeftFlags(rep::kNullable | rep::kMixed | rep::kColumn)
             .RightScale(40);
       }},
      // A change element reads its value by the type its flags name, whatever length the column claims.
      {"a change value of no length", "6 Filter Element 0 invalid columnOffset 30",
       [](auto& plan, auto& pool) {
         testing::AddChange(plan.RecordLength(32), pool, Column::Long("V", 30), Column::Char("KEY", 0, 8))
             .ColumnLength(0);
         plan.Always();
       }},
      {"a varying prefix of a column of no length", "6 Filter Element 0 invalid columnOffset 31",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32).Compare(Column::VarChar("V", 31, 8), op::kEQ, pool.Char("A")).ColumnLength(0);
       }},
      // Columns of mixed representations are each read by their own flags: here the left one as 16 bytes of
      // text, though the slot is the 2-byte integers'.
      {"a left column read as text", "6 Filter Element 0 invalid columnOffset 24",
       [](auto& plan, auto& pool) {
         const Column right = Column::Long("B", 0);
         plan.RecordLength(32)
             .CompareColumns(Column::Short("A", 24), op::kEQ, right, pool.ColumnDescriptor(right))
             .LeftFlags(rep::kChar)
             .ColumnLength(16);
       }},
      // A fixed one-byte search column in the record's last byte: only a list whose first entry says the
      // column is varying has a length prefix read.
      {"a varying search key in the last byte", "6 Filter Element 0 invalid columnOffset 7",
       [](auto& plan, auto& pool) {
         plan.RecordLength(8).Search(Column::Char("F", 7, 1), pool.Search(SearchList::Of({"A"}, 0, 0x80)));
         plan.Always();
       }},
      {"a fixed search key in the last byte", "",
       [](auto& plan, auto& pool) {
         plan.RecordLength(8).Search(Column::Char("F", 7, 1), pool.Search(SearchList::Of({"A"}, 0, 0)));
       }},
      // A locale-aware substring counts characters: one that starts beyond the column's data is a single blank.
      {"a locale-aware substring beyond the data", "",
       [](auto& plan, auto& pool) {
         plan.RecordLength(4).Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
         plan.Substring(Column::Utf8Char("T", 0, 4), 6, op::kEQ, pool.Utf8Char(" ")).LeftLiteralLength(1);
       },
       "ab\xC3\xA9", 0},
  });
}

// The function code alone chooses the search routine; its list is checked whatever the operator says, or a
// count larger than the list would lead the search outside it.
auto OverCountedList(std::int32_t comparison) {
  return [=](PlanBuilder& plan, PoolBuilder& pool) {
    SearchList list = SearchList::Of({"AAA", "BBB"}, 8);
    list.count = 3;
    plan.Search(Column::Char("NAME", 0, 8), pool.Search(list)).Operator(comparison);
  };
}

// The 2-byte change routine writes into a 16-bit word of its target; a double or a 4-byte value there would
// overwrite the target's type and function code.
auto ChangeIntoAWord(const Column& value) {
  return [=](PlanBuilder& plan, PoolBuilder& pool) {
    testing::AddChange(plan.RecordLength(16), pool, value, kKey8).Slot(slot::kShortColLit);
    plan.Always();
  };
}

TEST(Creation, EveryLiteralBlockAnElementTrustsIsProvedAndNoOtherWritesIt) {
  ExpectCreations({
      {"a search list with a negative data offset", "6 Filter Element 0 invalid rightLiteralId 1",
       [](auto& plan, auto& pool) {
         SearchList list = SearchList::Of({"ALPHA"}, 8);
         list.dataOffset = -4;
         plan.RecordLength(8).Search(Column::Char("NAME", 0, 8), pool.Search(list));
       }},
      // The locale-aware routine for a varying column against a column reads the pair as numbers of different
      // scales when the right operand's flags say so, though the left one is not marked mixed: the plan must
      // then give both value areas. Without the left one that read would write through a null pointer.
      {"scaled operands without a left value area", "6 Filter Element 0 invalid leftLiteralId 0",
       [](auto& plan, auto& pool) {
         plan.RecordLength(32)
             .Compare(Column::Utf8VarChar("V", 0, 16), op::kEQ, pool.Long(5))
             .Slot(slot::kLocaleVarCharColCol)
             .RightColumnOffset(20)
             .LeftFlags(rep::kUtf8 | rep::kVarying | rep::kShort | rep::kScaled)
             .RightFlags(rep::kLong | rep::kScaledMixed);
       }},
      {"a search list counting more keys than it holds", "6 Filter Element 0 invalid rightLiteralId 1",
       OverCountedList(op::kFunc)},
      {"the same under EQ", "6 Filter Element 0 invalid rightLiteralId 1", OverCountedList(op::kEQ)},
      {"the same under an unknown operator", "6 Filter Element 0 invalid rightLiteralId 1", OverCountedList(0x7FFF)},
      {"a double change into a 16-bit word", "6 Filter Element 0 invalid dataType 480",
       ChangeIntoAWord(Column::Double("V", 0))},
      {"a 4-byte change into a 16-bit word", "6 Filter Element 0 invalid dataType 496",
       ChangeIntoAWord(Column::Long("V", 0))},
      {"a 2-byte change into a 16-bit word", "", ChangeIntoAWord(Column::Short("V", 0))},
      // Evaluation never writes into a block another element trusts.
      // A timestamp written over a search list would give the next search a count that leads outside it.
      {"a timestamp written over a search list", "6 Filter Element 0 invalid resultOperand 1",
       [](auto& plan, auto& pool) {
         plan.MakeTime(Column::Char("TS", 0, 16), pool.Char("+"), pool.Char("1D")).ResultOperand(1);
         plan.Search(Column::Char("NAME", 16, 8), pool.Search(SearchList::Of({"ALPHA", "BETA"}, 8)));
       }},
      {"a scratch record laid over another change's control block", "6 Filter Element 0 invalid rightLiteralId 2",
       [](auto& plan, auto& pool) {
         const plan::ChangeControl control{.keys = {kKey8}};
         const plan::Literal scratch = pool.ChangeScratch(control);
         const plan::Literal first = pool.Change(control);
         const plan::Literal second = pool.Change(control);
         plan.Change(Column::Long("V", 0), scratch, first).ResultTarget(2);
         plan.Change(Column::Long("V", 0), first, second).ResultTarget(1);
         plan.Always();
       }},
      // On an element that reads into its value areas because its right operand is a scaled number, though
      // its left operand is not marked mixed.
      {"a value area laid over a change control block", "6 Filter Element 1 invalid leftLiteralId 1",
       [](auto& plan, auto& pool) {
         const plan::ChangeControl control{.keys = {kKey8}};
         const plan::Literal block = pool.Change(control);
         plan.RecordLength(32).Change(Column::Long("V", 0), pool.ChangeScratch(control), block).ResultTarget(1);
         plan.Compare(Column::Utf8VarChar("T", 16, 8), op::kEQ, pool.Char("0123456789ABCDEF"))
             .Slot(slot::kLocaleVarCharColCol)
             .RightColumnOffset(24)
             .LeftLiteral(block)
             .LeftFlags(rep::kUtf8 | rep::kVarying | rep::kShort | rep::kScaled)
             .RightFlags(rep::kLong | rep::kScaledMixed);
       }},
      // The change routine would write its cache references over the list's counts, and the search its match
      // flags over the block's key entries.
      {"a search list laid over a change control block", "6 Filter Element 1 invalid rightLiteralId 1",
       [](auto& plan, auto& pool) {
         const plan::ChangeControl control{.keys = {kKey8}};
         const plan::Literal block = pool.Change(control);
         plan.RecordLength(16).Change(Column::Long("V", 0), pool.ChangeScratch(control), block).ResultTarget(2);
         plan.Search(kKey8, block);
         plan.Always();
       }},
      // Two searches of one list are sound: each marks the entries its values match.
      {"two searches of one list", "",
       [](auto& plan, auto& pool) {
         const plan::Literal list = pool.Search(SearchList::Of({"ALPHA", "BETA"}, 8));
         plan.RecordLength(16).Search(Column::Char("A", 0, 8), list);
         plan.Search(Column::Char("B", 8, 8), list);
       }},
  });
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
    testing::AddChange(plan, pool, Column::Long("CPU", 64), Column::Char("NAME", 0, 8));
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
    if (n == 0) {
      EXPECT_EQ(created, 7);
      ASSERT_EQ(quiet.lines().size(), 1u);
      EXPECT_EQ(quiet.lines()[0].rfind("Filter allocation of ", 0), 0u) << "the Filter's own block comes first";
    }
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
  // The Filter, the list read from the file, the change cache and its buckets, the first row's record with
  // its cache entry in one block, then one buffer per modification.
  EXPECT_EQ(failurePoints, 7);
}

// A trace sink that takes no memory: an allocation failure in the sweeps below can only be the library's.
struct LineLengths {
  LineLengths() { VEXH_SetTraceSink(&LineLengths::Sink, this); }
  ~LineLengths() {
    VEXH_SetTraceSink(nullptr, nullptr);
    VEXH_ResetTraceLevels();
  }
  static void Sink(void* context, const char* line) {
    auto* self = static_cast<LineLengths*>(context);
    ++self->lines;
    self->longest = std::max(self->longest, std::strlen(line));
  }
  int lines = 0;
  std::size_t longest = 0;
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

TEST(AllocationFailures, TracedLineLongerThanItsBufferLeavesTheRecordsStatus) {
  PoolBuilder pool;
  PlanBuilder plan;
  plan.Compare(Column::Double("D", 0), op::kGT, pool.Double(1e300));  // each value prints 301 digits
  const testing::ElementByElement traced(plan, pool);
  const BuiltFilter& built = traced.built();
  ASSERT_EQ(built.status(), 0);
  LineLengths lengths;
  const std::vector<std::uint8_t> record = Record().At(0, 2e300).bytes();
  VEXH_SetTraceLevel(nullptr, 0x01);
  ASSERT_EQ(built.Evaluate(record), 0);
  ASSERT_GT(lengths.longest, 600u) << "the line must be longer than the 511 characters written without memory";

  std::int32_t st = -1;
  EXPECT_EQ(SweepOperatorNew([] {}, [&] { st = built.Evaluate(record); }), 0)
      << "a traced record takes nothing from operator new";
  EXPECT_EQ(st, 0);

  // The library's own memory: a line that cannot have it is written as far as it fits without.
  int failurePoints = 0;
  for (long n = 0; n < 10; ++n) {
    lengths.longest = 0;
    FailAllocationAfter(n);
    st = built.Evaluate(record);
    if (FailAllocationAfter(-1) >= 0) break;
    ++failurePoints;
    EXPECT_EQ(st, 0) << n;
    EXPECT_EQ(lengths.longest, 511u) << n;
  }
  EXPECT_EQ(failurePoints, 2) << "the line grows into a block, and is formatted once more into another";
}

TEST(AllocationFailures, FirstReadOfTraceLevelsInARecordThrowsNothing) {
  PoolBuilder pool;
  PlanBuilder plan;
  plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(7));
  const testing::ElementByElement traced(plan, pool);
  const BuiltFilter& built = traced.built();
  ASSERT_EQ(built.status(), 0);
  LineLengths lengths;
  const std::vector<std::uint8_t> record = Record().At(0, 7).bytes();
  ScopedEnv levels("VEX_TRACE_LEVEL", "0x00, FLT1_CreateFilter=0x11, SomeBlockWithALongerName=0x80, Long=0x01");

  std::int32_t st = -1;
  EXPECT_EQ(SweepOperatorNew([] { ForgetTraceLevels(); }, [&] { st = built.Evaluate(record); }), 0)
      << "reading the levels takes nothing from operator new";
  EXPECT_EQ(st, 0);
  lengths.lines = 0;
  ForgetTraceLevels();
  EXPECT_EQ(built.Evaluate(record), 0);
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
    const Column name = Column::Char("NAME", 8, 8);
    for (int round = 0; round < 40; ++round) {
      const auto chain = testing::MakeFilter([&](auto& plan, auto& pool) {
        plan.RecordLength(32).AllOf().Like(name, pool.Char("ab*"));
        plan.Compare(Column::Long("CPU", 0), op::kGT, pool.Long(seed));
      });
      const auto watch = testing::MakeFilter([&](auto& plan, auto& pool) {
        testing::AddChange(plan.RecordLength(32), pool, Column::Long("CPU", 0), name);
        plan.Always();
        plan.Search(name, pool.Search(SearchList::Of({"abc", "zzz"}, 8)));
      });
      const BuiltFilter& built = *chain;
      const BuiltFilter& watcher = *watch;
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
