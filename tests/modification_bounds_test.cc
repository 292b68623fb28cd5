// A modified literal stays inside what creation proved: it never lands on a structure another element
// trusts, never leaves a reader or writer of the operand with less room than creation gave it, and never
// makes a routine read further into the record than the record holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/change_control.h"
#include "core/data_types.h"
#include "core/memory.h"
#include "core/status.h"
#include "filter_fixture.h"
#include "plan/plan_builder.h"
#include "record.h"
#include "test_support.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using testing::BuiltFilter;
using testing::CapturedTrace;
using testing::Record;

class ModificationBounds : public ::testing::Test {
 protected:
  CapturedTrace trace_;
};

TEST_F(ModificationBounds, FixedLiteralSharingAChangeControlBlockIsRefusedAndTheBlockKept) {
  const long before = OutstandingBlocks();
  {
    PoolBuilder pool;
    PlanBuilder plan("MODS");
    plan::ChangeControl control;
    control.keys = {Column::Char("KEY", 0, 8)};
    const plan::Literal scratch = pool.ChangeScratch(control);
    const plan::Literal block = pool.Change(control);
    plan.Compare(Column::Char("NAME", 8, 8), op::kNE, block).RightLiteralLength(8);
    plan.Change(Column::Long("CPU", 16), scratch, block).ResultTarget(1);
    plan.Always();
    plan.RecordLength(32);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    const auto* control_block = static_cast<const std::uint8_t*>(built.element(1).rightData);
    const std::string kept(reinterpret_cast<const char*>(control_block), change_control::kKeyEntries);
    EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "NAME", 0, "x", 1), status::kBadLiteralKind);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(control_block), change_control::kKeyEntries), kept);
    EXPECT_EQ(trace_.lines().back().rfind("Filter Element 0 invalid rightLiteralId", 0), 0u) << trace_.lines().back();
    FLT1_BeginSample(built.handle());
    EXPECT_EQ(built.Evaluate(Record(32, ' ').Text(0, "alpha").At(16, 5).bytes()), 0);
    std::uint32_t result = 0;
    EXPECT_EQ(FLT1_EndSample(built.handle(), &result), 0);
  }
  EXPECT_EQ(OutstandingBlocks(), before) << "the change cache is released with the Filter";
}

TEST_F(ModificationBounds, FixedLiteralSharingASearchListIsRefused) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  const plan::Literal list = pool.Search(plan::SearchList::Of({"ALPHA", "BETA"}, 8));
  plan.Compare(Column::Char("NAME", 8, 8), op::kNE, list).RightLiteralLength(8);
  plan.Search(Column::Char("KEY", 0, 8), list);
  plan.RecordLength(16);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  const auto* listBytes = static_cast<const char*>(built.element(1).rightData);
  const std::string kept(listBytes, 16);
  EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "NAME", 0, "\xFF\xFF\xFF\xFF", 4), status::kBadLiteralKind);
  EXPECT_EQ(std::string(listBytes, 16), kept) << "the list's counts and lengths are the plan's";
  built.Evaluate(Record(16, ' ').Text(0, "BETA").bytes());
}

TEST_F(ModificationBounds, ShorterVaryingLiteralKeepsTheRoomATimestampIsWrittenInto) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  const Column stamp = Column::Char("TS", 0, 16);
  plan.MakeTime(stamp, pool.Char("+"), pool.Char("1D")).ResultOperand(1);
  plan.Compare(Column::VarChar("V", 16, 16), op::kGT, pool.Char(std::string(16, '0')));
  plan.AllOf().RecordLength(40);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "V", 0, "1", 1), 0);
  EXPECT_GE(built.filter().facts[1].rightRoom, 16) << "the timestamp lands in the new buffer";
  EXPECT_EQ(built.element(1).rightLiteralLength, 1);
  built.Evaluate(Record(40, ' ').Text(0, "1080301000000000").Varying(16, "2").bytes());
  EXPECT_EQ(std::string(static_cast<const char*>(built.element(1).rightData), 16), "1080302000000000");
}

TEST_F(ModificationBounds, LocaleAwareLiteralIsReadOverItsNewLength) {
  PoolBuilder pool;
  PlanBuilder plan("NLS");
  plan.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
  // A varying character column whose flags say UTF-8 is compared by the locale.
  plan.Compare(Column::VarChar("VTX", 0, 14), op::kEQ, pool.Utf8Char("abcdef")).LeftFlags(rep::kUtf8 | rep::kVarying);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "VTX", 0, "ab", 2), 0);
  EXPECT_EQ(built.element(0).rightScale, 2);
  EXPECT_EQ(built.Evaluate(Record(16, ' ').Varying(0, "ab").bytes()), 0);
  EXPECT_EQ(built.Evaluate(Record(16, ' ').Varying(0, "abcdef").bytes()), 1);
}

TEST_F(ModificationBounds, LiteralLongerThanTheRecordAllowsIsRefusedAndTheOldOneKept) {
  const long before = OutstandingBlocks();
  {
    PoolBuilder pool;
    PlanBuilder plan("MODS");
    // A fixed compare on a varying column reads the literal's length of the column.
    plan.Compare(Column::VarChar("V", 0, 8), op::kEQ, pool.Char("abcd")).Slot(slot::kCharColLit);
    plan.RecordLength(16);
    BuiltFilter built(plan, pool);
    ASSERT_EQ(built.status(), 0);
    const std::string longer(4000, 'z');
    EXPECT_EQ(FLT1_ModifyPredicate(built.handle(), "V", 0, longer.data(), 4000), status::kLengthOutOfRange);
    EXPECT_EQ(trace_.lines().back().rfind("Filter Element 0 invalid columnOffset 0", 0), 0u) << trace_.lines().back();
    EXPECT_EQ(built.element(0).rightLiteralLength, 4);
    EXPECT_EQ(built.Evaluate(Record(16, ' ').Text(0, "abcd").bytes()), 0);
    ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "V", 0, "abcdefghijklmnop", 16), 0) << "up to the record's end";
    EXPECT_EQ(built.Evaluate(Record(16, ' ').Text(0, "abcdefghijklmnop").bytes()), 0);
  }
  EXPECT_EQ(OutstandingBlocks(), before) << "a refused buffer is released at once, the accepted one with the Filter";
}

TEST_F(ModificationBounds, LongerSearchArgumentIsProvedLikeTheLiteral) {
  PoolBuilder pool;
  PlanBuilder plan("MODS");
  plan.StringSearch(Column::Char("A", 0, 8), pool.Char("XY"));
  plan.RecordLength(8);
  BuiltFilter built(plan, pool);
  ASSERT_EQ(built.status(), 0);
  ASSERT_EQ(FLT1_ModifyPredicate(built.handle(), "A", fn::kStringSearch, "0123456789", 10), 0);
  EXPECT_EQ(built.element(0).leftLiteralLength, 10);
  EXPECT_GE(built.filter().facts[0].leftRoom, 10) << "what a later modification is proved against";
}

}  // namespace
}  // namespace vexfilt
