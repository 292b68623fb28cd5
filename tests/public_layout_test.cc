// The public plan header (vexplan.h) and the library agree: the offsets and codes the library reads are the
// public ones, and what PlanBuilder and PoolBuilder compute reads back through the public structs. The C host
// (c_plan_layout_test.c) writes its plans with those structs alone; PlanBuilder writes through the same
// structs, so only what it computes is read back here.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "core/change_control.h"
#include "core/data_types.h"
#include "core/filter.h"
#include "core/search_list.h"
#include "core/status.h"
#include "plan/plan_builder.h"
#include "routines/change_cache.h"
#include "routines/dispatch_tables.h"
#include "vexfilt.h"
#include "vexplan.h"

namespace vexfilt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;

// The offsets the library reads structured literals at.
static_assert(search_list::kEntryCount == offsetof(VxpSearchListHeader, entryCount));
static_assert(search_list::kListFlags == offsetof(VxpSearchListHeader, listFlags));
static_assert(search_list::kDataOffset == offsetof(VxpSearchListHeader, dataOffset));
static_assert(search_list::kHeaderSize == sizeof(VxpSearchListHeader));
static_assert(search_list::kSize == offsetof(VxpSearchEntry, size));
static_assert(search_list::kMatchFlags == offsetof(VxpSearchEntry, matchFlags));
static_assert(search_list::kEntryType == offsetof(VxpSearchEntry, entryType));
static_assert(search_list::kCompareOffset == offsetof(VxpSearchEntry, compareOffset));
static_assert(search_list::kCompareLength == offsetof(VxpSearchEntry, compareLength));
static_assert(search_list::kKeyLength == offsetof(VxpSearchEntry, keyLength));
static_assert(search_list::kKey == sizeof(VxpSearchEntry));
static_assert(search_list::kFileMarkOffset == sizeof(VxpSearchListHeader) + sizeof(VxpSearchEntry));
static_assert(change_control::kOptions == offsetof(VxpChangeControl, options));
static_assert(change_control::kBytesHeld == offsetof(VxpChangeControl, bytesHeld));
static_assert(change_control::kRecordsHeld == offsetof(VxpChangeControl, recordsHeld));
static_assert(change_control::kKeyColumns == offsetof(VxpChangeControl, keyCount));
static_assert(change_control::kKeyStride == offsetof(VxpChangeControl, keyStride));
static_assert(change_control::kKeyLength == offsetof(VxpChangeControl, keyLength));
static_assert(change_control::kValueAreaLength == offsetof(VxpChangeControl, valueAreaLength));
static_assert(change_control::kRecordSize == offsetof(VxpChangeControl, recordSize));
static_assert(change_control::kCache == offsetof(VxpChangeControl, cache));
static_assert(change_control::kCurrentRecord == offsetof(VxpChangeControl, currentRecord));
static_assert(change_control::kKeyEntries == sizeof(VxpChangeControl));
static_assert(change_control::kKeyColumnOffset == offsetof(VxpChangeKey, columnOffset));
static_assert(change_control::kKeyColumnLength == offsetof(VxpChangeKey, columnLength));
static_assert(change_control::kKeyEntrySize == 10, "creation reads a key column entry up to its length");
static_assert(cache_record::kCurrent == offsetof(VxpChangeRecord, current));
static_assert(cache_record::kPrevious == offsetof(VxpChangeRecord, previous));
static_assert(cache_record::kStamp == offsetof(VxpChangeRecord, stamp) && kCacheStampOffset == cache_record::kStamp);
static_assert(cache_record::kEarlierStamp == offsetof(VxpChangeRecord, earlierStamp));
static_assert(cache_record::kKey == sizeof(VxpChangeRecord));

// The plan's own records: the library's names are the public structs, and its element starts with one.
static_assert(std::is_same_v<PlanHeader, VxpPlanHeader> && std::is_same_v<PoolHeader, VxpPoolHeader> &&
              std::is_same_v<LiteralEntry, VxpLiteralEntry>);
static_assert(kElementRecordSize == sizeof(VxpElement) && std::is_base_of_v<VxpElement, FilterElement>);

// Codes the library derives from data types.
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_VARCHAR_NULLABLE)) == VXP_SLOT_KIND_VARCHAR);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_ULONG)) == VXP_SLOT_KIND_LONG);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_USHORT)) == VXP_SLOT_KIND_SHORT);
static_assert(SlotOffsetOf(FlagsOfType(VXP_TYPE_DOUBLE_ALT_NULLABLE)) == VXP_SLOT_KIND_DOUBLE);
static_assert(FlagsOfType(VXP_TYPE_UTF8_CHAR_NULLABLE) == (VXP_REP_UTF8 | VXP_REP_NULLABLE));
static_assert(kSlotCount == VXP_SLOT_COUNT && kLocaleSlotShift == VXP_SLOT_LOCALE_SHIFT);
static_assert(status::kNoMoreRecords == VXF_STATUS_NO_MORE_RECORDS && status::kLocaleError == VXF_STATUS_LOCALE_ERROR);

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

TEST(PublicLayout, PoolEntriesChainByEntryLength) {
  PoolBuilder pool;
  pool.LanguageId(0x01140002);
  pool.VarChar("ABC");
  pool.Char("AB", 5, {.id = 9});
  pool.Double(2.5, {.valueLength = 3, .kind = -1});
  const Bytes bytes = pool.Build();
  const auto header = Read<VxpPoolHeader>(bytes, 0);
  EXPECT_EQ(header.version, VXP_VERSION_EXTENDED);
  EXPECT_EQ(header.totalLength, static_cast<std::int16_t>(bytes.size()));
  EXPECT_EQ(header.entryCount, 3);
  EXPECT_EQ(header.languageId, 0x01140002u);
  std::vector<VxpLiteralEntry> entries;
  std::vector<std::size_t> data;
  for (std::size_t at = sizeof(VxpPoolHeader); entries.size() < 3; at += entries.back().entryLength) {
    entries.push_back(Read<VxpLiteralEntry>(bytes, at));
    data.push_back(at + sizeof(VxpLiteralEntry));
  }
  const auto text = [&bytes](std::size_t at, std::size_t n) {
    return std::string(bytes.begin() + at, bytes.begin() + at + n);
  };
  EXPECT_EQ(entries[0].id, 1);
  EXPECT_EQ(entries[0].dataLength, 5) << "the data length counts the prefix";
  EXPECT_EQ(entries[0].dataType, VXP_TYPE_VARCHAR);
  EXPECT_EQ(text(data[0], 5), std::string("\3\0ABC", 5));
  EXPECT_EQ(entries[1].id, 9);
  EXPECT_EQ(text(data[1], 5), "AB   ");
  EXPECT_EQ(entries[2].valueLength, 3);
  EXPECT_EQ(entries[2].kind, -1);
  EXPECT_EQ(Read<double>(bytes, data[2]), 2.5);
  EXPECT_EQ(data[2] + 8, bytes.size()) << "the last entry ends the pool";
}

}  // namespace
}  // namespace vexfilt
