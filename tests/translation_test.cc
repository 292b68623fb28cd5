// Plans and pools compiled on machines of another data representation, translated here.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "core/bytes.h"
#include "filter_fixture.h"
#include "host/conversion.h"
#include "plan/foreign.h"
#include "record.h"
#include "test_support.h"

namespace vexfilt {
namespace {

using plan::Column;
using plan::ForeignPlan;
using plan::ForeignPool;
using plan::PlanBuilder;
using plan::PoolBuilder;
using plan::SearchList;
using testing::BuiltFilter;
using testing::CapturedTrace;
using testing::Record;

const std::uint32_t kBigEndian = kBigEndianAscii.Word();
const std::uint32_t kIbm = kMainframe.Word();

constexpr std::size_t kFirstElement = sizeof(VxpPlanHeader);
constexpr std::size_t kFirstData = sizeof(VxpPoolHeader) + sizeof(VxpLiteralEntry);  // of the first pool entry

// A plan that uses every literal kind: integers of each width, a double, fixed and varying text, a LIKE,
// a column against a column, a string search, a search list and a change function.
struct Sample {
  PlanBuilder plan{"MIXED"};
  PoolBuilder pool;
  Sample() {
    pool.Version(kChangeControlVersion);
    plan.RecordLength(64);
    plan.Compare(Column::Long("L", 0), op::kGT, pool.Long(-5));
    plan.Compare(Column::Short("S", 4), op::kLE, pool.Short(300));
    plan.Compare(Column::Double("D", 8), op::kLT, pool.Double(2.5));
    plan.Compare(Column::Char("NAME", 16, 8), op::kEQ, pool.Char("ALPHA", 8));
    plan.Like(Column::Char("NAME", 16, 8), pool.Char("AL*"));
    plan.Compare(Column::VarChar("V", 24, 12), op::kGE, pool.Char("M"));
    const Column right = Column::Long("R", 36);
    plan.CompareColumns(Column::Long("L", 0), op::kNE, right, pool.ColumnDescriptor(right));
    plan.StringSearch(Column::Char("NAME", 16, 8), pool.Char("PH")).ResultTarget(1);
    plan.Always();
    plan.Search(Column::Char("NAME", 16, 8), pool.Search(SearchList::Of({"ALPHA", "BETA"}, 8)));
    testing::AddChange(plan, pool, Column::Long("L", 0), Column::Char("NAME", 16, 8));
    plan.Always();
  }
};

// The status of every element's routine over records of every kind: what evaluation would see.
std::vector<std::int32_t> Statuses(const BuiltFilter& built) {
  std::vector<std::int32_t> statuses;
  EXPECT_EQ(built.status(), 0);
  if (built.status() != 0) return statuses;
  FLT1_BeginSample(built.handle());
  const char* names[] = {"ALPHA", "BETA", "ALPINE", "GRAPH"};
  for (int r = 0; r < 8; ++r) {
    Record record(64, ' ');
    record.At(0, r * 3 - 9).At(4, static_cast<std::int16_t>(r * 100)).At(8, r * 0.75).Text(16, names[r % 4]);
    record.Varying(24, r % 2 ? "ZEBRA" : "APE").At(36, r % 3);
    for (int i = 0; i < built.filter().elementCount; ++i) {
      statuses.push_back(built.element(i).routine(built.element(i), record.bytes().data()));
    }
  }
  return statuses;
}

// Big-endian ASCII IEEE, and big-endian EBCDIC IBM hexadecimal.
TEST(Translation, ForeignPlansEvaluateAsTheLocalOne) {
  const Sample sample;
  const std::vector<std::int32_t> expected = Statuses(BuiltFilter(sample.plan, sample.pool));
  ASSERT_FALSE(expected.empty());
  for (const std::uint32_t word : {kBigEndian, kIbm}) {
    auto plan = ForeignPlan(sample.plan.Build(), word);
    auto pool = ForeignPool(sample.pool.Build(), word);
    EXPECT_NE(plan, sample.plan.Build()) << "the foreign form differs from the local one";
    EXPECT_EQ(FLT1_TranslateFilterPlanNCS(word, plan.data()), 0);
    EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(word, pool.data()), 0);
    EXPECT_EQ(Statuses(BuiltFilter(std::move(plan), std::move(pool))), expected) << std::hex << word;
  }
}

// A double goes out in the sender's form (0.15625 x 16 for IBM's) and comes back whole.
TEST(Translation, DoublesTravelWhole) {
  PoolBuilder pool;
  pool.Double(2.5);
  const std::pair<std::uint32_t, std::string> forms[] = {{kBigEndian, std::string("\x40\x04\0\0\0\0\0\0", 8)},
                                                         {kIbm, std::string("\x41\x28\0\0\0\0\0\0", 8)}};
  for (const auto& [word, bytes] : forms) {
    auto foreign = ForeignPool(pool.Build(), word);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(foreign.data()) + kFirstData, 8), bytes);
    ASSERT_EQ(FLT1_TranslateLiteralPoolNCS(word, foreign.data()), 0);
    EXPECT_EQ(LoadUnaligned<double>(foreign.data() + kFirstData), 2.5);
  }
}

TEST(Translation, RepresentationsNotServedAreRefusedUntouched) {
  CapturedTrace trace;
  Sample sample;
  auto plan = sample.plan.Build();
  const auto before = plan;
  const std::uint32_t vaxFloat = 0x00000110;
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(vaxFloat, plan.data()), 6);
  EXPECT_EQ(plan, before);
  auto pool = sample.pool.Build();
  EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(0x00000002, pool.data()), 8) << "no third code set";
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{"Unsupported data representation 0x00000110",
                                                     "Unsupported data representation 0x00000002"}));
}

TEST(Translation, PlanLengthsDecideWhetherElementsAreConverted) {
  PlanBuilder plan("LENGTHS");
  for (int i = 0; i < 3; ++i) plan.Always();
  plan.ElementLength(200).TotalLength(624).BufferLength(624);
  auto exact = ForeignPlan(plan.Build(), kBigEndian);
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(kBigEndian, exact.data()), 0);
  constexpr std::size_t kTotalLength = offsetof(VxpPlanHeader, totalLength);
  constexpr std::size_t kOperator = offsetof(VxpElement, compareOperator);
  EXPECT_EQ(LoadUnaligned<std::int32_t>(exact.data() + kFirstElement + 2 * 200 + kOperator), op::kFunc);

  // A total length that does not match the elements, or a negative one, is no licence: the header is
  // converted, the elements not.
  for (const std::int16_t length : {623, -1}) {
    auto foreign = ForeignPlan(plan.Build(), kBigEndian);
    StoreUnaligned<std::int16_t>(foreign.data() + kTotalLength, SwapBytes(length));
    EXPECT_EQ(FLT1_TranslateFilterPlanNCS(kBigEndian, foreign.data()), 6);
    EXPECT_EQ(LoadUnaligned<std::int16_t>(foreign.data() + kTotalLength), length);
    EXPECT_EQ(LoadUnaligned<std::int32_t>(foreign.data() + kFirstElement + kOperator),
              SwapBytes<std::int32_t>(op::kFunc));
  }
  PlanBuilder old("OLD");
  old.Always();
  old.Version(130).ElementLength(200);
  auto version130 = ForeignPlan(old.Build(), kBigEndian);
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(kBigEndian, version130.data()), 6);
}

TEST(Translation, OneByteFunctionCodeIsNormalised) {
  PlanBuilder plan("ONEBYTE");
  plan.Always();
  auto foreign = ForeignPlan(plan.Build(), kBigEndian);
  std::uint8_t* element = foreign.data() + kFirstElement;
  // The code byte where the function code starts, then the name right after it.
  std::memcpy(element + offsetof(VxpElement, functionCode), "\x0cNAME       ", 12);
  ASSERT_EQ(FLT1_TranslateFilterPlanNCS(kBigEndian, foreign.data()), 0);
  EXPECT_EQ(LoadUnaligned<std::uint32_t>(element + offsetof(VxpElement, functionCode)), 12u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(element + offsetof(VxpElement, columnName)), 11), "NAME       ");
  EXPECT_TRUE(LoadUnaligned<std::uint16_t>(element + offsetof(VxpElement, leftFlags)) & rep::kNameNormalised);
}

TEST(Translation, PoolEntriesByKindVersionAndLength) {
  plan::ChangeControl control;
  PoolBuilder early;
  early.Change(control);
  auto kind2 = ForeignPool(early.Build(), kBigEndian);
  EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(kBigEndian, kind2.data()), 8) << "a change block needs version 141";

  PoolBuilder odd;
  odd.Bytes(type::kShort, std::string("\x01\x02\x03\x04\x05", 5));
  odd.Short(7, {.valueLength = 0});
  auto pool = ForeignPool(odd.Build(), kBigEndian);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(pool.data()) + kFirstData, 5), std::string("\x02\x01\x04\x03\x05", 5))
      << "two whole units, the fifth byte as it was";
  const std::size_t second = kFirstData + 5;  // after the first entry's five bytes
  EXPECT_EQ(LoadUnaligned<std::int16_t>(pool.data() + second + sizeof(VxpLiteralEntry)), 7)
      << "a value length of 0 leaves the data";
  EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(kBigEndian, pool.data()), 0);
  EXPECT_EQ(pool, odd.Build());

  PoolBuilder utf8;
  SearchList list = SearchList::Of({"\xC3\xA4pfel"});
  list.dataType = type::kUtf8Char;
  utf8.Search(list);
  auto foreignUtf8 = ForeignPool(utf8.Build(), kIbm);
  const std::size_t firstKey = kFirstData + sizeof(VxpSearchListHeader) + sizeof(VxpSearchEntry);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(foreignUtf8.data()) + firstKey, 6), "\xC3\xA4pfel");
  ASSERT_EQ(FLT1_TranslateLiteralPoolNCS(kIbm, foreignUtf8.data()), 0);
  EXPECT_EQ(foreignUtf8, utf8.Build()) << "headers converted back, UTF-8 keys never touched";
}

}  // namespace
}  // namespace vexfilt
