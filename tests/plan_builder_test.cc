// The byte layout that PlanBuilder and PoolBuilder write, read back at each field's offset.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "plan/plan_builder.h"
#include "vexplan.h"

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
using El = VxpElement;
using Plan = VxpPlanHeader;
using Pool = VxpPoolHeader;
using Entry = VxpLiteralEntry;
constexpr std::size_t kFirst = sizeof(Plan);                       // the first element record
constexpr std::size_t kFirstData = sizeof(Pool) + sizeof(Entry);  // the first pool entry's data

TEST(PlanBuilder, ColumnGreaterThanLiteral) {
  PoolBuilder pool;
  PlanBuilder plan("PROCESS");
  plan.RecordLength(64).Compare(Column::Long("CPU", 8), op::kGT, pool.Long(90));
  const Bytes planBytes = plan.Build(), poolBytes = pool.Build();

  ASSERT_EQ(planBytes.size(), sizeof(Plan) + sizeof(El));
  EXPECT_EQ(At<std::int16_t>(planBytes, offsetof(Plan, version)), 131);
  EXPECT_EQ(At<std::int16_t>(planBytes, offsetof(Plan, totalLength)), static_cast<std::int16_t>(planBytes.size()));
  EXPECT_EQ(At<std::int32_t>(planBytes, offsetof(Plan, recordLength)), 64);
  EXPECT_EQ(At<std::int16_t>(planBytes, offsetof(Plan, elementLength)), 192);
  EXPECT_EQ(At<std::int16_t>(planBytes, offsetof(Plan, elementCount)), 1);
  EXPECT_EQ(Text(planBytes, offsetof(Plan, tableName), sizeof(Plan::tableName)), "PROCESS   ");
  EXPECT_EQ(At<std::int32_t>(planBytes, kFirst + offsetof(El, compareOperator)), op::kGT);
  EXPECT_EQ(At<std::int32_t>(planBytes, kFirst + offsetof(El, columnOffset)), 8);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, routineSlot)), 10);
  EXPECT_EQ(At<std::uint16_t>(planBytes, kFirst + offsetof(El, elementId)), 1);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, columnLength)), 4);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, dataType)), type::kLong);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, trueSkip)), 1);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, falseSkip)), 1);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, rightLiteralLength)), 4);
  EXPECT_EQ(At<std::int16_t>(planBytes, kFirst + offsetof(El, rightLiteralId)), 1);
  EXPECT_EQ(At<std::uint32_t>(planBytes, kFirst + offsetof(El, functionCode)), 0u);
  EXPECT_EQ(Text(planBytes, kFirst + offsetof(El, columnName), sizeof(El::columnName)), "CPU        ");

  ASSERT_EQ(poolBytes.size(), sizeof(Pool) + sizeof(Entry) + 4u);
  EXPECT_EQ(At<std::int16_t>(poolBytes, offsetof(Pool, version)), 131);
  EXPECT_EQ(At<std::int16_t>(poolBytes, offsetof(Pool, totalLength)), static_cast<std::int16_t>(poolBytes.size()));
  EXPECT_EQ(At<std::int16_t>(poolBytes, offsetof(Pool, entryCount)), 1);
  EXPECT_EQ(At<std::int16_t>(poolBytes, sizeof(Pool) + offsetof(Entry, entryLength)), 20);
  EXPECT_EQ(At<std::int16_t>(poolBytes, sizeof(Pool) + offsetof(Entry, dataType)), type::kLong);
  EXPECT_EQ(At<std::int32_t>(poolBytes, kFirstData), 90);
}

TEST(PlanBuilder, LongerElementRecordsAreZeroFilled) {
  PlanBuilder plan;
  plan.ElementLength(200);
  for (int i = 0; i < 3; ++i) plan.Always();
  const Bytes bytes = plan.Build();
  ASSERT_EQ(bytes.size(), sizeof(Plan) + 3 * 200u);
  EXPECT_EQ(At<std::int16_t>(bytes, offsetof(Plan, totalLength)), 632);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t element = kFirst + i * 200;
    EXPECT_EQ(At<std::int32_t>(bytes, element + offsetof(El, compareOperator)), op::kFunc);
    EXPECT_EQ(At<std::uint32_t>(bytes, element + offsetof(El, functionCode)), fn::kAlways);
    EXPECT_EQ(At<std::uint16_t>(bytes, element + offsetof(El, elementId)), i + 1);
    EXPECT_EQ(At<std::uint64_t>(bytes, element + sizeof(El)), 0u);  // past the record
  }
}

TEST(PlanBuilder, HeaderOverridesAndVersion130) {
  PlanBuilder plan;
  plan.Version(130).TotalLength(7).ElementCount(4).Always();
  const Bytes bytes = plan.Build();
  EXPECT_EQ(At<std::int16_t>(bytes, offsetof(Plan, version)), 130);
  EXPECT_EQ(At<std::int16_t>(bytes, offsetof(Plan, totalLength)), 7);
  EXPECT_EQ(At<std::int16_t>(bytes, offsetof(Plan, elementCount)), 4);
  EXPECT_EQ(bytes.size(), sizeof(Plan) + sizeof(El));
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
      const std::size_t element = kFirst + i * sizeof(El);
      const std::int16_t next = 1, past = static_cast<std::int16_t>(3 - i);
      EXPECT_EQ(At<std::int16_t>(bytes, element + offsetof(El, trueSkip)), all ? next : past);
      EXPECT_EQ(At<std::int16_t>(bytes, element + offsetof(El, falseSkip)), all ? past : next);
      const std::uint16_t nextId = i < 2 ? static_cast<std::uint16_t>(i + 2) : 0;
      EXPECT_EQ(At<std::uint16_t>(bytes, element + offsetof(El, trueTargetId)), all ? nextId : 0);
      EXPECT_EQ(At<std::uint16_t>(bytes, element + offsetof(El, falseTargetId)), all ? 0 : nextId);
      EXPECT_EQ(At<std::int32_t>(bytes, element + offsetof(El, logicalOperator)),
                i < 2 ? (all ? op::kAnd : op::kOr) : 0);
    }
  }
}

TEST(PlanBuilder, ColumnAgainstColumnOfDifferentTypes) {
  PoolBuilder pool;
  PlanBuilder plan;
  const Column right = Column::Double("LIMIT", 24);
  plan.CompareColumns(Column::Long("CPU", 8), op::kLT, right, pool.ColumnDescriptor(right));
  const Bytes bytes = plan.Build(), poolBytes = pool.Build();
  EXPECT_EQ(At<std::int32_t>(bytes, kFirst + offsetof(El, rightColumnOffset)), 24);
  EXPECT_EQ(At<std::int16_t>(bytes, kFirst + offsetof(El, routineSlot)), 11);
  EXPECT_EQ(At<std::uint16_t>(bytes, kFirst + offsetof(El, leftFlags)), rep::kLong | rep::kMixed | rep::kColumn);
  EXPECT_EQ(At<std::uint16_t>(bytes, kFirst + offsetof(El, rightFlags)), rep::kDouble | rep::kMixed | rep::kColumn);
  EXPECT_EQ(At<std::uint16_t>(bytes, kFirst + offsetof(El, alternateOperator)), op::kLT);
  EXPECT_EQ(At<std::int16_t>(bytes, kFirst + offsetof(El, rightDataType)), type::kDouble);
  EXPECT_EQ(Text(poolBytes, kFirstData + offsetof(VxpColumnDescriptor, columnName), 6), std::string("LIMIT\0", 6));
  EXPECT_EQ(At<std::int16_t>(poolBytes, kFirstData + offsetof(VxpColumnDescriptor, dataType)), type::kDouble);
}

TEST(PoolBuilder, EntriesChainByEntryLength) {
  PoolBuilder pool;
  pool.VarChar("ABC");
  pool.Char("AB", 5, {.id = 9});
  pool.Double(2.5, {.valueLength = 3, .kind = -1});
  pool.Search(SearchList::Of({"K1", "K2"}, 4));
  const Bytes bytes = pool.Build();
  EXPECT_EQ(At<std::int16_t>(bytes, offsetof(Pool, entryCount)), 4);
  std::vector<std::size_t> starts;
  for (std::size_t start = sizeof(Pool); starts.size() < 4;
       start += At<std::int16_t>(bytes, start + offsetof(Entry, entryLength))) {
    starts.push_back(start);
  }
  const auto data = [&](std::size_t n) { return starts[n] + sizeof(Entry); };
  EXPECT_EQ(At<std::int16_t>(bytes, starts[0] + offsetof(Entry, id)), 1);
  EXPECT_EQ(At<std::int16_t>(bytes, starts[0] + offsetof(Entry, dataLength)), 5);  // data length counts the prefix
  EXPECT_EQ(At<std::uint16_t>(bytes, data(0)), 3);
  EXPECT_EQ(Text(bytes, data(0) + sizeof(std::uint16_t), 3), "ABC");
  EXPECT_EQ(At<std::int16_t>(bytes, starts[1] + offsetof(Entry, id)), 9);
  EXPECT_EQ(Text(bytes, data(1), 5), "AB   ");
  EXPECT_EQ(At<std::int16_t>(bytes, starts[2] + offsetof(Entry, valueLength)), 3);
  EXPECT_EQ(At<std::int16_t>(bytes, starts[2] + offsetof(Entry, kind)), -1);
  EXPECT_EQ(At<double>(bytes, data(2)), 2.5);
  const std::size_t list = data(3);
  const std::size_t first = list + sizeof(VxpSearchListHeader);
  EXPECT_EQ(At<std::int16_t>(bytes, starts[3] + offsetof(Entry, kind)), vexfilt::kKindSearchList);
  EXPECT_EQ(At<std::int16_t>(bytes, list + offsetof(VxpSearchListHeader, entryCount)), 2);
  EXPECT_EQ(At<std::int16_t>(bytes, first + offsetof(VxpSearchEntry, size)), sizeof(VxpSearchEntry) + 4);  // header + key
  EXPECT_EQ(At<std::int16_t>(bytes, first + offsetof(VxpSearchEntry, keyLength)), 4);  // entlen
  const std::size_t second = first + sizeof(VxpSearchEntry) + 4;  // by the first entry's size, as checked
  EXPECT_EQ(Text(bytes, second + sizeof(VxpSearchEntry), 4), "K2  ");
  EXPECT_EQ(starts[3] + At<std::int16_t>(bytes, starts[3] + offsetof(Entry, entryLength)), bytes.size());
}

TEST(PoolBuilder, SearchFileAndChangeControl) {
  PoolBuilder pool;
  pool.Search(SearchList::File("keys.txt", 12));
  ChangeControl control;
  control.options = vexfilt::plan::change_option::kPercent;
  control.keys = {Column::Char("PID", 0, 8)};
  pool.Change(control);
  const Bytes bytes = pool.Build();
  // The first key, after the list header and the first entry's header.
  EXPECT_EQ(Text(bytes, kFirstData + sizeof(VxpSearchListHeader) + sizeof(VxpSearchEntry), 12), "@keys.txt   ");
  const std::size_t change = sizeof(Pool) + At<std::int16_t>(bytes, sizeof(Pool) + offsetof(Entry, entryLength));
  const std::size_t block = change + sizeof(Entry);
  EXPECT_EQ(At<std::int16_t>(bytes, change + offsetof(Entry, kind)), vexfilt::kKindChangeControl);
  EXPECT_EQ(At<std::uint32_t>(bytes, block + offsetof(VxpChangeControl, options)), 0x4000u);
  EXPECT_EQ(At<std::int16_t>(bytes, block + offsetof(VxpChangeControl, keyCount)), 1);  // key columns
  EXPECT_EQ(At<std::int16_t>(bytes, block + offsetof(VxpChangeControl, recordSize)),
            sizeof(VxpChangeRecord) + 8);  // the cache record: its fixed part, then the 8-byte key
  EXPECT_EQ(At<std::int16_t>(bytes, block + sizeof(VxpChangeControl) + offsetof(VxpChangeKey, columnLength)),
            8);  // first key's length
}

}  // namespace
