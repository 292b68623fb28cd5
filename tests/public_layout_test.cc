// The public plan header (vexplan.h) and the library agree. The library's offsets into plans, pools and
// structured literals are vexplan.h's own (src/core defines them by offsetof and sizeof of its structs), and
// vexplan.h pins each of those for C and C++ alike; what is checked here is what the library derives and what
// PlanBuilder computes. It writes through the same structs, and the C host (c_plan_layout_test.c) writes its
// plans with those structs alone.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/change_control.h"
#include "core/data_types.h"
#include "core/filter.h"
#include "plan/plan_builder.h"
#include "vexplan.h"

namespace vexfilt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;

static_assert(change_control::kKeyEntrySize == 10, "creation reads a key column entry up to its length");
// Codes the library derives from data types.
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_VARCHAR_NULLABLE)) == VXP_SLOT_KIND_VARCHAR);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_ULONG)) == VXP_SLOT_KIND_LONG);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_USHORT)) == VXP_SLOT_KIND_SHORT);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_DOUBLE_ALT_NULLABLE)) == VXP_SLOT_KIND_DOUBLE);
static_assert(FlagsOfType(VXP_TYPE_UTF8_CHAR_NULLABLE) == (VXP_REP_UTF8 | VXP_REP_NULLABLE));

template <typename T>
T Read(const Bytes& bytes, std::size_t offset) {
  T value;
  EXPECT_LE(offset + sizeof value, bytes.size());
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

TEST(PublicLayout, FilterElementStartsWithThePlansRecord) {
  // Creation copies each plan record over the start of its FilterElement; the references follow the record.
  FilterElement f{};
  const auto at = [&f](const void* field) { return static_cast<const char*>(field) - reinterpret_cast<char*>(&f); };
  EXPECT_EQ(at(static_cast<VxpElement*>(&f)), 0);
  EXPECT_EQ(at(&f.columnOffset), static_cast<std::ptrdiff_t>(offsetof(VxpElement, columnOffset)));
  EXPECT_EQ(at(&f.filter), static_cast<std::ptrdiff_t>(kElementRecordSize));
}

TEST(PublicLayout, PlanBuilderComputesIdsSkipsTargetsAndConnectives) {
  PoolBuilder pool;
  const plan::Literal ten = pool.Long(10);
  for (bool all : {true, false}) {
    PlanBuilder plan;
    all ? plan.AllOf() : plan.AnyOf();
    for (int i = 0; i < 3; ++i) plan.Compare(Column::Long("N", 4 * i), op::kEQ, ten);
    const Bytes bytes = plan.Build();
    const auto header = Read<VxpPlanHeader>(bytes, 0);
    EXPECT_EQ(header.totalLength, static_cast<std::int16_t>(sizeof header + 3 * sizeof(VxpElement)));
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(header.totalLength));
    EXPECT_EQ(header.elementLength, static_cast<std::int16_t>(sizeof(VxpElement)));
    EXPECT_EQ(header.elementCount, 3);
    EXPECT_EQ(std::string(header.tableName, sizeof header.tableName), "TABLE     ");
    for (std::size_t i = 0; i < 3; ++i) {
      const auto element = Read<VxpElement>(bytes, sizeof(VxpPlanHeader) + i * sizeof(VxpElement));
      const std::int16_t next = 1, past = static_cast<std::int16_t>(3 - i);
      const std::uint16_t nextId = i < 2 ? static_cast<std::uint16_t>(i + 2) : 0;  // 0: past the last element
      EXPECT_EQ(element.elementId, i + 1);
      EXPECT_EQ(element.trueSkip, all ? next : past);
      EXPECT_EQ(element.falseSkip, all ? past : next);
      EXPECT_EQ(element.trueTargetId, all ? nextId : 0);
      EXPECT_EQ(element.falseTargetId, all ? 0 : nextId);
      EXPECT_EQ(element.logicalOperator, i < 2 ? (all ? VXP_OP_AND : VXP_OP_OR) : 0);
      EXPECT_EQ(element.rightLiteralLength, 4);
    }
  }
}

}  // namespace
}  // namespace vexfilt
