// Reading a Filter back predicate by predicate, and changing its values while it lives.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "core/memory.h"
#include "filter_fixture.h"
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
using testing::Record;

std::vector<FilterInfo> ReadBack(BuiltFilter& built) {
  std::vector<FilterInfo> infos;
  FilterInfo* info = nullptr;
  while (FLT1_GetFilter(built.handle(), &info) == 0) {
    EXPECT_EQ(info, &built.filter().info) << "always the Filter's own record";
    infos.push_back(*info);
    if (infos.size() > 100) break;
  }
  EXPECT_EQ(info, nullptr);
  return infos;
}

TEST(Inspection, ValueLengthNeverPassesTheBytesReported) {
  PoolBuilder pool;
  PlanBuilder plan("INFO");
  const Column right = Column::Long("R", 4);
  // A literal declared longer than its entry: the routine reads its 4 bytes, a host reads valueLen.
  plan.Compare(Column::Long("CPU", 0), op::kGT, pool.Long(90)).RightLiteralLength(400);
  plan.CompareColumns(Column::Long("L", 8), op::kLT, right, pool.ColumnDescriptor(right));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  const std::vector<FilterInfo> infos = ReadBack(built);
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_LE(infos[0].valueLen, built.filter().facts[0].rightRoom);
  EXPECT_GE(infos[0].valueLen, 4);
  EXPECT_EQ(infos[1].valueLen, 8) << "a column against a column reports its 8 zero bytes";
}

TEST(Inspection, ChangeControlBlockIsNeverReportedAsAColumnDescriptor) {
  PoolBuilder pool;
  PlanBuilder plan("INFO");
  testing::AddChange(plan.RecordLength(16), pool, Column::Long("V", 0), Column::Char("KEY", 8, 8)).RightFlags(rep::kColumn);
  plan.Always();
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  FLT1_BeginSample(built.handle());
  built.Evaluate(Record(16, ' ').At(0, 7).bytes());
  const std::vector<FilterInfo> infos = ReadBack(built);
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0].extData, nullptr) << "the block's cache pointer is no column name";
  EXPECT_EQ(infos[0].extLen, 0);
}

TEST(Inspection, SearchListIsUnfoldedOnePredicatePerEntry) {
  PoolBuilder pool;
  PlanBuilder plan("INFO");
  plan.Compare(Column::ULong("CPU", 0), op::kGT, pool.ULong(90)).LogicalOperator(op::kAnd);
  SearchList list = SearchList::Of({"ALPHA", "BETA", "GAM*", "DELTA"}, 0);
  list.keys[2].entryType = plan::search::kPattern;
  plan.Search(Column::Char("NAME", 4, 8), pool.Search(list));
  plan.Compare(Column::VarChar("NOTE", 12, 10).Nullable(), op::kLike, pool.Char("x*"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);

  const std::vector<FilterInfo> infos = ReadBack(built);
  ASSERT_EQ(infos.size(), 6u);
  EXPECT_EQ(infos[0].version, 300);
  EXPECT_EQ(infos[0].compareOperator, 6) << "GT";
  EXPECT_EQ(infos[0].logicalOperator, 8) << "AND";
  EXPECT_EQ(infos[0].attribute, 0x00200000u) << "unsigned";
  EXPECT_EQ(LoadUnaligned<std::uint32_t>(infos[0].value), 90u);
  EXPECT_EQ(std::string(infos[0].columnName, 11), "CPU        ");
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(infos[i].functionType, fn::kSearchList);
  EXPECT_EQ((std::vector<int>{infos[1].logicalOperator, infos[2].logicalOperator, infos[3].logicalOperator,
                              infos[4].logicalOperator}),
            (std::vector<int>{7, 7, 7, 0}));
  EXPECT_EQ(infos[3].compareOperator, 10) << "a pattern entry is a LIKE";
  EXPECT_EQ(infos[2].compareOperator, 1);
  EXPECT_EQ(std::string(static_cast<const char*>(infos[2].value), static_cast<std::size_t>(infos[2].valueLen)), "BETA");
  EXPECT_EQ(infos[5].dataType, 449) << "reported unchanged";
  EXPECT_EQ(infos[5].attribute, 0x10000000u) << "the even code decides the attributes";
  EXPECT_EQ(infos[5].compareOperator, 10);

  FilterInfo* again = nullptr;
  ASSERT_EQ(FLT1_GetFilter(built.handle(), &again), 0) << "a pass ending in 63 rewinds";
  EXPECT_EQ(again->compareOperator, 6);
}

TEST(Inspection, ColumnAgainstColumnNamesTheSecondColumn) {
  PoolBuilder pool;
  PlanBuilder plan("INFO");
  const Column right = Column::Long("AVERYLONGCOLUMN", 8);
  plan.CompareColumns(Column::Long("LEFT", 0), op::kLE, right, pool.ColumnDescriptor(right));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  FilterInfo* info = nullptr;
  ASSERT_EQ(FLT1_GetFilter(built.handle(), &info), 0);
  EXPECT_EQ(info->extType, 0x8080);
  EXPECT_EQ(info->extLen, 10);
  EXPECT_EQ(std::string(static_cast<const char*>(info->extData), 10), "AVERYLONGC");
  EXPECT_EQ(info->extDataType, 496);
  EXPECT_EQ(std::memcmp(info->value, "\0\0\0\0\0\0\0\0", 8), 0);
  EXPECT_EQ(info->compareOperator, 4) << "LE";
}

TEST(Inspection, TraceLinesDescribeEachField) {
  CapturedTrace trace;
  PoolBuilder pool;
  PlanBuilder plan("INFO");
  plan.Compare(Column::Char("NAME", 0, 8), op::kEQ, pool.Char("JOHN", 8));
  BuiltFilter built(plan, pool);
  VEXH_SetTraceLevel("FLT1_GetFilter", 0x10);
  FilterInfo* info = nullptr;
  ASSERT_EQ(FLT1_GetFilter(built.handle(), &info), 0);
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                               "filterInfo.version          300",
                               "filterInfo.logicalOperator    0",
                               "filterInfo.compareOperator    1",
                               "filterInfo.functionType       0",
                               "filterInfo.valueLen           8",
                               "filterInfo.columnName      NAME       ",
                               "filterInfo.dataType         452",
                               "filterInfo.value           \"JOHN    \"",
                               "filterInfo.attribute  x00000000",
                               "filterInfo.features   x00000000",
                           }));
}

// Modification.

class Modification : public ::testing::Test {
 protected:
  void SetUp() override { before_ = OutstandingBlocks(); }
  void TearDown() override { EXPECT_EQ(OutstandingBlocks(), before_) << "every buffer released with the Filter"; }
  long before_ = 0;
};

TEST_F(Modification, RangeOnOneColumnIsChangedByOneCall) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  plan.AllOf();
  plan.Compare(Column::Long("CPU", 0), op::kGT, pool.Long(10));
  plan.Compare(Column::Long("CPU", 0), op::kLT, pool.Long(20));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(built.Evaluate(Record().At(0, 15).bytes()), 0);
  const std::int32_t value = 50;
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "CPU", 0, &value, 4), 0);
  EXPECT_EQ(built.Evaluate(Record().At(0, 15).bytes()), 1);
  EXPECT_EQ(built.Evaluate(Record().At(0, 49).bytes()), 1);
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "NOSUCH", 0, &value, 4), 0);
  const std::int16_t small = 1;
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "CPU", 0, &small, 2), 58) << "shorter than the literal it replaces";
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "CPU", 0, &value, -1), 58);
}

TEST_F(Modification, TwoByteLiteralTakesTheFirstTwoBytes) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  plan.Compare(Column::Short("PRI", 0), op::kEQ, pool.Short(3));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  const std::int32_t wide = 7;  // little-endian: its first two bytes are the 2-byte 7
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "PRI", 0, &wide, 4), 0);
  EXPECT_EQ(built.Evaluate(Record().At(0, std::int16_t{7}).bytes()), 0);
  EXPECT_EQ(built.Evaluate(Record().At(0, std::int16_t{3}).bytes()), 1);
}

TEST_F(Modification, FixedLiteralIsBlankPaddedOrRefused) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  plan.Compare(Column::Char("NAME", 0, 8), op::kEQ, pool.Char("JOHN", 8));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "NAME", 0, "ABC", 3), 0);
  EXPECT_EQ(std::string(static_cast<char*>(built.element(0).rightData), 8), "ABC     ");
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "NAME", 0, "ABCDEFGHI", 9), 58);
  EXPECT_EQ(std::string(static_cast<char*>(built.element(0).rightData), 8), "ABC     ");
  EXPECT_EQ(built.Evaluate(Record(32, ' ').Text(0, "ABC").bytes()), 0);
}

TEST_F(Modification, VaryingLiteralComparesItsNewValueAtTheNextRecord) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  const Column note = Column::VarChar("NOTE", 0, 22);
  plan.Compare(note, op::kEQ, pool.Char("first"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "NOTE", 0, "second value", 12), 0);
  EXPECT_EQ(built.Evaluate(Record(32, '#').Varying(0, "second value").bytes()), 0);
  EXPECT_EQ(built.Evaluate(Record(32, '#').Varying(0, "first").bytes()), 1);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "NOTE", 0, "third", 5), 0) << "releases the second value's buffer";
  EXPECT_EQ(built.Evaluate(Record(32, '#').Varying(0, "third").bytes()), 0);
  EXPECT_EQ(OutstandingBlocks(), before_ + 2) << "the Filter and one literal buffer";
}

TEST_F(Modification, StringSearchArgumentsWhateverTheirColumn) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  plan.StringSearch(Column::Char("A", 0, 8), pool.Char("XY"));
  plan.StringSearch(Column::Char("B", 8, 8), pool.Char("XY"));
  plan.Compare(Column::Char("A", 0, 8), op::kNE, pool.Char("ZZZZZZZZ"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "A", fn::kStringSearch, "QR", 2), 0);
  for (int i : {0, 1}) {
    EXPECT_EQ(std::string(static_cast<char*>(built.element(i).leftData), 2), "QR");
    EXPECT_EQ(built.element(i).leftLiteralLength, 2);
  }
  EXPECT_EQ(std::string(static_cast<char*>(built.element(2).rightData), 8), "QR      ")
      << "the literal of another element on the named column changes too";
  FilterElement& search = built.element(0);
  EXPECT_EQ(search.routine(search, Record(32, ' ').Text(0, "ABQRCD").bytes().data()), 0);
}

TEST_F(Modification, AllocationFailureKeepsTheOldValue) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  plan.Compare(Column::VarChar("NOTE", 0, 22), op::kEQ, pool.Char("first"));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  FailAllocationAfter(0);
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "NOTE", 0, "second", 6), 7);
  FailAllocationAfter(-1);
  EXPECT_EQ(built.Evaluate(Record(32, '#').Varying(0, "first").bytes()), 0);
}

TEST_F(Modification, StructuredOperandsAreNeverOverwritten) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  const Column right = Column::Char("B", 8, 8);
  plan.CompareColumns(Column::Char("A", 0, 8), op::kEQ, right, pool.ColumnDescriptor(right));
  plan.Search(Column::Char("A", 0, 8), pool.Search(SearchList::Of({"K"}, 8)));
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  constexpr std::size_t kRead = offsetof(VxpColumnDescriptor, reserved46);  // what the library reads of it
  const auto descriptor = std::vector<std::uint8_t>(static_cast<std::uint8_t*>(built.element(0).rightData),
                                                    static_cast<std::uint8_t*>(built.element(0).rightData) + kRead);
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "A", 0, "XXXXXXXX", 8), 0);
  EXPECT_EQ(std::memcmp(built.element(0).rightData, descriptor.data(), kRead), 0);
  EXPECT_EQ(built.filter().searchEntryCount, 1);
}

}  // namespace
}  // namespace vexfilt
