// The byte layout that PlanBuilder and PoolBuilder write, read back at each field's offset.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filter/bytes.h"
#include "plan/plan_builder.h"

namespace {

namespace op = vexfilt::op;
namespace fn = vexfilt::fn;
namespace type = vexfilt::type;
namespace rep = vexfilt::rep;
using vexfilt::LoadUnaligned;
using vexfilt::plan::ChangeControl;
using vexfilt::plan::Column;
using vexfilt::plan::Literal;
using vexfilt::plan::PlanBuilder;
using vexfilt::plan::PoolBuilder;
using vexfilt::plan::SearchList;
using Bytes = std::vector<std::uint8_t>;

template <typename T>
T At(const Bytes& bytes, std::size_t offset) {
  return LoadUnaligned<T>(bytes.data() + offset);
}
std::string Text(const Bytes& bytes, std::size_t offset, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(bytes.data()) + offset, n);
}
constexpr std::size_t kFirst = 32;  // the first element record; also where the first pool entry's data starts

TEST(PlanBuilder, ColumnGreaterThanLiteral) {
  PoolBuilder pool;
  PlanBuilder plan("PROCESS");
  plan.RecordLength(64).Compare(Column::Long("CPU", 8), op::kGT, pool.Long(90));
  const Bytes planBytes = plan.Build(), poolBytes = pool.Build();

  ASSERT_EQ(planBytes.size(), 32u + 192u);
  EXPECT_EQ(At<std::int16_t>(planBytes, 4), 131);
  EXPECT_EQ(At<std::int16_t>(planBytes, 6), static_cast<std::int16_t>(planBytes.size()));
  EXPECT_EQ(At<std::int32_t>(planBytes, 8), 64);
  EXPECT_EQ(At<std::int16_t>(planBytes, 12), 192);
  EXPECT_EQ(At<std::int16_t>(planBytes, 14), 1);
  EXPECT_EQ(Text(planBytes, 16, 10), "PROCESS   ");
  EXPECT_EQ(At<std::int32_t>(planBytes, kFirst + 4), op::kGT);
  EXPECT_EQ(At<std::int32_t>(planBytes, kFirst + 16), 8);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 38), 10);
  EXPECT_EQ(At<std::uint16_t>(planBytes, kFirst + 40), 1);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 48), 4);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 50), type::kLong);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 52), 1);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 54), 1);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 70), 4);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + 74), 1);
  EXPECT_EQ(At<std::uint32_t>(planBytes, kFirst + 80), 0u);
  EXPECT_EQ(Text(planBytes, kFirst + 84, 11), "CPU        ");

  ASSERT_EQ(poolBytes.size(), 16u + 16u + 4u);
  EXPECT_EQ(At<std::int16_t>(poolBytes, 4), 131);
  EXPECT_EQ(At<std::int16_t>(poolBytes, 6), static_cast<std::int16_t>(poolBytes.size()));
  EXPECT_EQ(At<std::int16_t>(poolBytes, 8), 1);
  EXPECT_EQ(At<std::int16_t>(poolBytes, 16 + 2), 20);  // entry length
  EXPECT_EQ(At<std::int16_t>(poolBytes, 16 + 6), type::kLong);
  EXPECT_EQ(At<std::int32_t>(poolBytes, 32), 90);
}

TEST(PlanBuilder, LongerElementRecordsAreZeroFilled) {
  PlanBuilder plan;
  plan.ElementLength(200);
  for (int i = 0; i < 3; ++i) plan.Always();
  const Bytes bytes = plan.Build();
  ASSERT_EQ(bytes.size(), 32u + 3 * 200u);
  EXPECT_EQ(At<std::int16_t>(bytes, 6), 632);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t element = kFirst + i * 200;
    EXPECT_EQ(At<std::int32_t>(bytes, element + 4), op::kFunc);
    EXPECT_EQ(At<std::uint32_t>(bytes, element + 80), fn::kAlways);
    EXPECT_EQ(At<std::uint16_t>(bytes, element + 40), i + 1);
    EXPECT_EQ(At<std::uint64_t>(bytes, element + 192), 0u);
  }
}

TEST(PlanBuilder, HeaderOverridesAndVersion130) {
  PlanBuilder plan;
  plan.Version(130).TotalLength(7).ElementCount(4).Always();
  const Bytes bytes = plan.Build();
  EXPECT_EQ(At<std::int16_t>(bytes, 4), 130);
  EXPECT_EQ(At<std::int16_t>(bytes, 6), 7);
  EXPECT_EQ(At<std::int16_t>(bytes, 14), 4);
  EXPECT_EQ(bytes.size(), 32u + 192u);
}

TEST(PlanBuilder, AllOfAndAnyOfWireSkipsAndTargets) {
  PoolBuilder pool;
  const Literal ten = pool.Long(10);
  for (bool all : {true, false}) {
    PlanBuilder plan;
    all ? plan.AllOf() : plan.AnyOf();
    for (int i = 0; i < 3; ++i) plan.Compare(Column::Long("N", 4 * i), op::kEQ, ten);
    const Bytes bytes = plan.Build();
    for (std::size_t i = 0; i < 3; ++i) {
      const std::size_t element = kFirst + i * 192;
      const std::int16_t next = 1, past = static_cast<std::int16_t>(3 - i);
      EXPECT_EQ(At<std::int16_t>(bytes, element + 52), all ? next : past);
      EXPECT_EQ(At<std::int16_t>(bytes, element + 54), all ? past : next);
      const std::uint16_t nextId = i < 2 ? static_cast<std::uint16_t>(i + 2) : 0;
      EXPECT_EQ(At<std::uint16_t>(bytes, element + 42), all ? nextId : 0);
      EXPECT_EQ(At<std::uint16_t>(bytes, element + 44), all ? 0 : nextId);
      EXPECT_EQ(At<std::int32_t>(bytes, element + 8), i < 2 ? (all ? op::kAnd : op::kOr) : 0);
    }
  }
}

TEST(PlanBuilder, ColumnAgainstColumnOfDifferentTypes) {
  PoolBuilder pool;
  PlanBuilder plan;
  const Column right = Column::Double("LIMIT", 24);
  plan.CompareColumns(Column::Long("CPU", 8), op::kLT, right, pool.ColumnDescriptor(right));
  const Bytes bytes = plan.Build(), poolBytes = pool.Build();
  EXPECT_EQ(At<std::int32_t>(bytes, kFirst + 20), 24);
  EXPECT_EQ(At<std::int16_t>(bytes, kFirst + 38), 11);
  EXPECT_EQ(At<std::uint16_t>(bytes, kFirst + 64), rep::kLong | rep::kMixed | rep::kColumn);
  EXPECT_EQ(At<std::uint16_t>(bytes, kFirst + 66), rep::kDouble | rep::kMixed | rep::kColumn);
  EXPECT_EQ(At<std::uint16_t>(bytes, kFirst + 76), op::kLT);
  EXPECT_EQ(At<std::int16_t>(bytes, kFirst + 78), type::kDouble);
  EXPECT_EQ(Text(poolBytes, 32 + 32, 6), std::string("LIMIT\0", 6));
  EXPECT_EQ(At<std::int16_t>(poolBytes, 32 + 44), type::kDouble);
}

TEST(PoolBuilder, EntriesChainByEntryLength) {
  PoolBuilder pool;
  pool.VarChar("ABC");
  pool.Char("AB", 5, {.id = 9});
  pool.Double(2.5, {.valueLength = 3, .kind = -1});
  pool.Search(SearchList::Of({"K1", "K2"}, 4));
  const Bytes bytes = pool.Build();
  EXPECT_EQ(At<std::int16_t>(bytes, 8), 4);
  std::vector<std::size_t> starts;
  for (std::size_t start = 16; starts.size() < 4; start += At<std::int16_t>(bytes, start + 2)) starts.push_back(start);
  EXPECT_EQ(At<std::int16_t>(bytes, starts[0]), 1);
  EXPECT_EQ(At<std::int16_t>(bytes, starts[0] + 4), 5);  // data length counts the prefix
  EXPECT_EQ(At<std::uint16_t>(bytes, starts[0] + 16), 3);
  EXPECT_EQ(Text(bytes, starts[0] + 18, 3), "ABC");
  EXPECT_EQ(At<std::int16_t>(bytes, starts[1]), 9);
  EXPECT_EQ(Text(bytes, starts[1] + 16, 5), "AB   ");
  EXPECT_EQ(At<std::int16_t>(bytes, starts[2] + 8), 3);
  EXPECT_EQ(At<std::int16_t>(bytes, starts[2] + 12), -1);
  EXPECT_EQ(At<double>(bytes, starts[2] + 16), 2.5);
  const std::size_t list = starts[3] + 16;
  EXPECT_EQ(At<std::int16_t>(bytes, starts[3] + 12), vexfilt::kKindSearchList);
  EXPECT_EQ(At<std::int16_t>(bytes, list + 2), 2);
  EXPECT_EQ(At<std::int16_t>(bytes, list + 16), 16);      // entry size: 12 + key
  EXPECT_EQ(At<std::int16_t>(bytes, list + 16 + 10), 4);  // entlen
  EXPECT_EQ(Text(bytes, list + 16 + 16 + 12, 4), "K2  ");
  EXPECT_EQ(starts[3] + At<std::int16_t>(bytes, starts[3] + 2), bytes.size());
}

TEST(PoolBuilder, SearchFileAndChangeControl) {
  PoolBuilder pool;
  pool.Search(SearchList::File("keys.txt", 12));
  ChangeControl control;
  control.options = vexfilt::plan::change_option::kPercent;
  control.keys = {Column::Char("PID", 0, 8)};
  pool.Change(control);
  const Bytes bytes = pool.Build();
  EXPECT_EQ(Text(bytes, 16 + 16 + 28, 12), "@keys.txt   ");
  const std::size_t change = 16 + At<std::int16_t>(bytes, 16 + 2);
  EXPECT_EQ(At<std::int16_t>(bytes, change + 12), vexfilt::kKindChangeControl);
  EXPECT_EQ(At<std::uint32_t>(bytes, change + 16), 0x4000u);
  EXPECT_EQ(At<std::int16_t>(bytes, change + 16 + 16), 1);       // key columns
  EXPECT_EQ(At<std::int16_t>(bytes, change + 16 + 24), 32 + 8);  // record size
  EXPECT_EQ(At<std::int16_t>(bytes, change + 16 + 64 + 8), 8);   // first key's length
}

}  // namespace
