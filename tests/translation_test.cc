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

std::vector<Record> Records() {
  std::vector<Record> records;
  const char* names[] = {"ALPHA", "BETA", "ALPINE", "GRAPH"};
  for (int i = 0; i < 8; ++i) {
    Record r(64, ' ');
    r.At(0, i * 3 - 9).At(4, static_cast<std::int16_t>(i * 100)).At(8, i * 0.75).Text(16, names[i % 4]);
    r.Varying(24, i % 2 ? "ZEBRA" : "APE").At(36, i % 3);
    records.push_back(r);
  }
  return records;
}

// The status of every element's routine, record by record: what evaluation would see.
std::vector<std::int32_t> Statuses(const BuiltFilter& built) {
  std::vector<std::int32_t> statuses;
  EXPECT_EQ(built.status(), 0);
  if (built.status() != 0) return statuses;
  FLT1_BeginSample(built.handle());
  for (const Record& record : Records()) {
    for (int i = 0; i < built.filter().elementCount; ++i) {
      FilterElement& e = built.element(i);
      statuses.push_back(e.routine(e, record.bytes().data()));
    }
  }
  return statuses;
}

// A Filter built from buffers that went through a sender's representation and back.
std::vector<std::int32_t> ViaRepresentation(const Sample& sample, std::uint32_t word) {
  auto plan = ForeignPlan(sample.plan.Build(), word);
  auto pool = ForeignPool(sample.pool.Build(), word);
  EXPECT_NE(plan, sample.plan.Build()) << "the foreign form differs from the local one";
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(word, plan.data()), 0);
  EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(word, pool.data()), 0);
  return Statuses(BuiltFilter(std::move(plan), std::move(pool)));
}

TEST(Translation, ForeignPlansEvaluateAsTheLocalOne) {
  Sample sample;
  const std::vector<std::int32_t> expected = Statuses(BuiltFilter(sample.plan, sample.pool));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ViaRepresentation(sample, kBigEndian), expected) << "big-endian ASCII IEEE";
  EXPECT_EQ(ViaRepresentation(sample, kIbm), expected) << "big-endian EBCDIC IBM hexadecimal";
}

TEST(Translation, DoublesTravelWhole) {
  PoolBuilder pool;
  pool.Double(2.5);
  auto foreign = ForeignPool(pool.Build(), kBigEndian);
  const std::uint8_t bigEndian25[8] = {0x40, 0x04, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(foreign.data() + kFirstData, bigEndian25, 8), 0);
  auto ibm = ForeignPool(pool.Build(), kIbm);
  const std::uint8_t ibm25[8] = {0x41, 0x28, 0, 0, 0, 0, 0, 0};  // 0.15625 × 16
  EXPECT_EQ(std::memcmp(ibm.data() + kFirstData, ibm25, 8), 0);
  for (auto* buffer : {&foreign, &ibm}) {
    ASSERT_EQ(FLT1_TranslateLiteralPoolNCS(buffer == &foreign ? kBigEndian : kIbm, buffer->data()), 0);
    EXPECT_EQ(LoadUnaligned<double>(buffer->data() + kFirstData), 2.5);
  }
}

TEST(Translation, LocalRepresentationLeavesBuffersUntouched) {
  Sample sample;
  auto plan = sample.plan.Build();
  auto pool = sample.pool.Build();
  const auto planBefore = plan, poolBefore = pool;
  const std::uint32_t localWithHighBits = kLocalRepresentation.Word() | 0x00FF0000;
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(localWithHighBits, plan.data()), 0);
  EXPECT_EQ(FLT1_TranslateLiteralPoolNCS(localWithHighBits, pool.data()), 0);
  EXPECT_EQ(plan, planBefore);
  EXPECT_EQ(pool, poolBefore);
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

  auto shorter = ForeignPlan(plan.Build(), kBigEndian);
  StoreUnaligned<std::int16_t>(shorter.data() + kTotalLength, SwapBytes<std::int16_t>(623));
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(kBigEndian, shorter.data()), 6);
  EXPECT_EQ(LoadUnaligned<std::int16_t>(shorter.data() + kTotalLength), 623) << "the header is converted";
  EXPECT_EQ(LoadUnaligned<std::int32_t>(shorter.data() + kFirstElement + kOperator), SwapBytes<std::int32_t>(op::kFunc))
      << "elements not";

  auto negative = ForeignPlan(plan.Build(), kBigEndian);
  StoreUnaligned<std::int16_t>(negative.data() + kTotalLength, SwapBytes<std::int16_t>(-1));
  EXPECT_EQ(FLT1_TranslateFilterPlanNCS(kBigEndian, negative.data()), 6) << "a negative length is no licence";
  EXPECT_EQ(LoadUnaligned<std::int32_t>(negative.data() + kFirstElement + kOperator),
            SwapBytes<std::int32_t>(op::kFunc));

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
  std::memcpy(element + offsetof(VxpElement, functionCode), "\x0c" "NAME       ", 12);
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
