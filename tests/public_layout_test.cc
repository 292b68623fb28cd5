// The public plan header (vexplan.h) and the library agree: the offsets and codes the library reads are
// the public ones, and what PlanBuilder and PoolBuilder write, field by field, reads back through the
// public structs.
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
using plan::ChangeControl;
using plan::Column;
using plan::PlanBuilder;
using plan::PoolBuilder;
using plan::SearchList;

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

std::string Text(const char* text, std::size_t n) { return std::string(text, n); }

// Where the data of the pool's first entry starts.
constexpr std::size_t kFirstData = sizeof(VxpPoolHeader) + sizeof(VxpLiteralEntry);

TEST(PublicLayout, BuiltPlanReadsBackThroughThePublicStructs) {
  PoolBuilder pool;
  PlanBuilder plan("PROCESS");
  plan.RecordLength(64).Flags(VXP_PLAN_FLAG_UTF8_DATA);
  plan.Compare(Column::Long("CPU", 8), op::kGT, pool.Long(90)).Tag("EL01").FalseSkip(2);
  plan.Like(Column::VarChar("NAME", 12, 10), pool.Char("db*")).SubstringOffset(3);
  const Bytes bytes = plan.Build();

  const auto header = Read<VxpPlanHeader>(bytes, 0);
  EXPECT_EQ(header.version, VXP_VERSION_EXTENDED);
  EXPECT_EQ(header.totalLength, static_cast<std::int16_t>(bytes.size()));
  EXPECT_EQ(bytes.size(), sizeof header + 2 * sizeof(VxpElement));
  EXPECT_EQ(header.recordLength, 64);
  EXPECT_EQ(header.elementLength, static_cast<std::int16_t>(sizeof(VxpElement)));
  EXPECT_EQ(header.elementCount, 2);
  EXPECT_EQ(Text(header.tableName, sizeof header.tableName), "PROCESS   ");
  EXPECT_EQ(header.planFlags, VXP_PLAN_FLAG_UTF8_DATA);

  const auto compare = Read<VxpElement>(bytes, sizeof header);
  EXPECT_EQ(Text(compare.tag, 4), "EL01");
  EXPECT_EQ(compare.compareOperator, VXP_OP_GT);
  EXPECT_EQ(compare.columnOffset, 8);
  EXPECT_EQ(compare.routineSlot, VXP_SLOT_KIND_LONG + VXP_SLOT_COL_LIT);
  EXPECT_EQ(compare.elementId, 1);
  EXPECT_EQ(compare.trueTargetId, 2);
  EXPECT_EQ(compare.falseTargetId, 0) << "past the last element";
  EXPECT_EQ(compare.columnLength, 4);
  EXPECT_EQ(compare.dataType, VXP_TYPE_LONG);
  EXPECT_EQ(compare.trueSkip, 1);
  EXPECT_EQ(compare.falseSkip, 2);
  EXPECT_EQ(compare.rightLiteralLength, 4);
  EXPECT_EQ(compare.rightLiteralId, 1);
  EXPECT_EQ(compare.functionCode, static_cast<std::uint32_t>(VXP_FN_NONE));
  EXPECT_EQ(Text(compare.columnName, sizeof compare.columnName), "CPU        ");

  const auto like = Read<VxpElement>(bytes, sizeof header + sizeof(VxpElement));
  EXPECT_EQ(like.compareOperator, VXP_OP_LIKE);
  EXPECT_EQ(like.routineSlot, VXP_SLOT_KIND_VARCHAR + VXP_SLOT_COL_LIT);
  EXPECT_EQ(like.dataType, VXP_TYPE_VARCHAR);
  EXPECT_EQ(like.substringOffset, 3);
  EXPECT_EQ(like.rightLiteralId, 2);
  EXPECT_EQ(like.rightLiteralLength, 3);

  const Bytes poolBytes = pool.Build();
  const auto poolHeader = Read<VxpPoolHeader>(poolBytes, 0);
  EXPECT_EQ(poolHeader.version, VXP_VERSION_EXTENDED);
  EXPECT_EQ(poolHeader.totalLength, static_cast<std::int16_t>(poolBytes.size()));
  EXPECT_EQ(poolHeader.entryCount, 2);
  const auto limit = Read<VxpLiteralEntry>(poolBytes, sizeof poolHeader);
  EXPECT_EQ(limit.entryLength, static_cast<std::int16_t>(sizeof limit + 4));
  EXPECT_EQ(limit.dataType, VXP_TYPE_LONG);
  EXPECT_EQ(Read<std::int32_t>(poolBytes, kFirstData), 90);
}

TEST(PublicLayout, FilterElementIsThePlansRecordThenItsFourReferences) {
  // The plan copy is the plan's element records at the FilterElement stride: the record first, byte for
  // byte, and the references the library fills at creation after it, in this order.
  FilterElement f{};
  const auto at = [&f](const void* field) {
    return static_cast<const char*>(field) - reinterpret_cast<const char*>(&f);
  };
  EXPECT_EQ(at(static_cast<VxpElement*>(&f)), 0);
  EXPECT_EQ(at(&f.columnOffset), offsetof(VxpElement, columnOffset));
  EXPECT_EQ(at(&f.filter), static_cast<std::ptrdiff_t>(kElementRecordSize));
  EXPECT_EQ(at(&f.routine), static_cast<std::ptrdiff_t>(kElementRecordSize + sizeof(void*)));
  EXPECT_EQ(at(&f.leftData), static_cast<std::ptrdiff_t>(kElementRecordSize + 2 * sizeof(void*)));
  EXPECT_EQ(at(&f.rightData), static_cast<std::ptrdiff_t>(kElementRecordSize + 3 * sizeof(void*)));
}

TEST(PublicLayout, LongerElementRecordsAreZeroFilled) {
  PlanBuilder plan;
  plan.ElementLength(200);
  for (int i = 0; i < 3; ++i) plan.Always();
  const Bytes bytes = plan.Build();
  ASSERT_EQ(bytes.size(), sizeof(VxpPlanHeader) + 3 * 200u);
  EXPECT_EQ(Read<VxpPlanHeader>(bytes, 0).totalLength, 632);
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t at = sizeof(VxpPlanHeader) + i * 200;
    const auto element = Read<VxpElement>(bytes, at);
    EXPECT_EQ(element.compareOperator, VXP_OP_FUNC);
    EXPECT_EQ(element.functionCode, static_cast<std::uint32_t>(VXP_FN_ALWAYS));
    EXPECT_EQ(element.elementId, i + 1);
    EXPECT_EQ(Read<std::uint64_t>(bytes, at + sizeof element), 0u) << "past the record";
  }
}

TEST(PublicLayout, HeaderOverridesAndVersion130) {
  const Bytes bytes = PlanBuilder().Version(130).TotalLength(7).ElementCount(4).Always().plan().Build();
  const auto header = Read<VxpPlanHeader>(bytes, 0);
  EXPECT_EQ(header.version, 130);
  EXPECT_EQ(header.totalLength, 7);
  EXPECT_EQ(header.elementCount, 4);
  EXPECT_EQ(bytes.size(), sizeof header + sizeof(VxpElement));
}

TEST(PublicLayout, AllOfAndAnyOfWireSkipsAndTargets) {
  PoolBuilder pool;
  const plan::Literal ten = pool.Long(10);
  for (bool all : {true, false}) {
    PlanBuilder plan;
    all ? plan.AllOf() : plan.AnyOf();
    for (int i = 0; i < 3; ++i) plan.Compare(Column::Long("N", 4 * i), op::kEQ, ten);
    const Bytes bytes = plan.Build();
    for (std::size_t i = 0; i < 3; ++i) {
      const auto element = Read<VxpElement>(bytes, sizeof(VxpPlanHeader) + i * sizeof(VxpElement));
      const std::int16_t next = 1, past = static_cast<std::int16_t>(3 - i);
      const std::uint16_t nextId = i < 2 ? static_cast<std::uint16_t>(i + 2) : 0;
      EXPECT_EQ(element.trueSkip, all ? next : past);
      EXPECT_EQ(element.falseSkip, all ? past : next);
      EXPECT_EQ(element.trueTargetId, all ? nextId : 0);
      EXPECT_EQ(element.falseTargetId, all ? 0 : nextId);
      EXPECT_EQ(element.logicalOperator, i < 2 ? (all ? VXP_OP_AND : VXP_OP_OR) : 0);
    }
  }
}

TEST(PublicLayout, PoolEntriesChainByEntryLength) {
  PoolBuilder pool;
  pool.VarChar("ABC");
  pool.Char("AB", 5, {.id = 9});
  pool.Double(2.5, {.valueLength = 3, .kind = -1});
  const Bytes bytes = pool.Build();
  EXPECT_EQ(Read<VxpPoolHeader>(bytes, 0).entryCount, 3);
  std::vector<VxpLiteralEntry> entries;
  std::vector<std::size_t> data;
  for (std::size_t at = sizeof(VxpPoolHeader); entries.size() < 3; at += entries.back().entryLength) {
    entries.push_back(Read<VxpLiteralEntry>(bytes, at));
    data.push_back(at + sizeof(VxpLiteralEntry));
  }
  EXPECT_EQ(entries[0].id, 1);
  EXPECT_EQ(entries[0].dataLength, 5) << "the data length counts the prefix";
  EXPECT_EQ(Read<std::uint16_t>(bytes, data[0]), 3);
  EXPECT_EQ(Text(reinterpret_cast<const char*>(bytes.data()) + data[0] + 2, 3), "ABC");
  EXPECT_EQ(entries[1].id, 9);
  EXPECT_EQ(Text(reinterpret_cast<const char*>(bytes.data()) + data[1], 5), "AB   ");
  EXPECT_EQ(entries[2].valueLength, 3);
  EXPECT_EQ(entries[2].kind, -1);
  EXPECT_EQ(Read<double>(bytes, data[2]), 2.5);
  EXPECT_EQ(data[2] + 8, bytes.size()) << "the last entry ends the pool";
}

TEST(PublicLayout, BuiltSearchListReadsBackThroughThePublicStructs) {
  SearchList list = SearchList::Of({"init", "sshd"}, 8, VXP_SEARCH_KIND_PREFIX);
  list.flags = VXP_SEARCH_LIST_CONTINUE_AFTER_MATCH;
  list.dataOffset = 24;
  list.keys[1].compareOffset = 1;
  list.keys[1].compareLength = 3;
  PoolBuilder pool;
  pool.LanguageId(0x01140002);
  pool.Search(list);
  pool.Search(SearchList::File("keys.txt", 12));
  const Bytes bytes = pool.Build();

  const auto header = Read<VxpPoolHeader>(bytes, 0);
  EXPECT_EQ(header.version, VXP_VERSION_EXTENDED);
  EXPECT_EQ(header.totalLength, static_cast<std::int16_t>(bytes.size()));
  EXPECT_EQ(header.entryCount, 2);
  EXPECT_EQ(header.languageId, 0x01140002u);

  const auto entry = Read<VxpLiteralEntry>(bytes, sizeof header);
  const std::int16_t dataLength = static_cast<std::int16_t>(sizeof(VxpSearchListHeader) + 2 * (sizeof(VxpSearchEntry) + 8));
  EXPECT_EQ(entry.id, 1);
  EXPECT_EQ(entry.entryLength, static_cast<std::int16_t>(sizeof entry + dataLength));
  EXPECT_EQ(entry.dataLength, dataLength);
  EXPECT_EQ(entry.valueLength, dataLength);
  EXPECT_EQ(entry.dataType, VXP_TYPE_CHAR);
  EXPECT_EQ(entry.kind, VXP_ENTRY_SEARCH_LIST);

  const auto listHeader = Read<VxpSearchListHeader>(bytes, kFirstData);
  EXPECT_EQ(listHeader.entryCount, 2);
  EXPECT_EQ(listHeader.listFlags, static_cast<std::uint32_t>(VXP_SEARCH_LIST_CONTINUE_AFTER_MATCH));
  EXPECT_EQ(listHeader.dataOffset, 24);

  std::size_t at = kFirstData + sizeof listHeader;
  const auto first = Read<VxpSearchEntry>(bytes, at);
  EXPECT_EQ(first.size, static_cast<std::int16_t>(sizeof first + 8));
  EXPECT_EQ(first.entryType, VXP_SEARCH_KIND_PREFIX);
  EXPECT_EQ(first.compareOffset, 0);
  EXPECT_EQ(first.compareLength, 8);
  EXPECT_EQ(first.keyLength, 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + at + sizeof first, 8), "init    ");
  at += static_cast<std::size_t>(first.size);
  const auto second = Read<VxpSearchEntry>(bytes, at);
  EXPECT_EQ(second.compareOffset, 1);
  EXPECT_EQ(second.compareLength, 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + at + sizeof second, 8), "sshd    ");

  // A list read from a file at creation: one key, "@" and the path, blank padded to the column.
  const std::size_t file = sizeof header + static_cast<std::size_t>(entry.entryLength);
  EXPECT_EQ(Read<VxpLiteralEntry>(bytes, file).kind, VXP_ENTRY_SEARCH_LIST);
  const std::size_t key = file + sizeof(VxpLiteralEntry) + sizeof(VxpSearchListHeader) + sizeof(VxpSearchEntry);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + key, 12), "@keys.txt   ");
}

TEST(PublicLayout, BuiltChangeControlBlockReadsBackThroughThePublicStructs) {
  ChangeControl control;
  control.options = VXP_CHANGE_PERCENT;
  control.keys = {Column::Char("HOST", 0, 8), Column::Short("PORT", 8)};
  PoolBuilder pool;
  pool.Change(control);
  const Bytes bytes = pool.Build();

  EXPECT_EQ(Read<VxpLiteralEntry>(bytes, sizeof(VxpPoolHeader)).kind, VXP_ENTRY_CHANGE_CONTROL);
  const auto block = Read<VxpChangeControl>(bytes, kFirstData);
  EXPECT_EQ(block.options, static_cast<std::uint32_t>(VXP_CHANGE_PERCENT));
  EXPECT_EQ(block.keyCount, 2);
  EXPECT_EQ(block.keyStride, static_cast<std::int16_t>(sizeof(VxpChangeKey)));
  EXPECT_EQ(block.keyLength, 10);
  EXPECT_EQ(block.valueAreaLength, static_cast<std::int16_t>(sizeof(VxpChangeRecord)));
  EXPECT_EQ(block.recordSize, static_cast<std::int16_t>(sizeof(VxpChangeRecord) + 10));
  EXPECT_EQ(block.cache, nullptr);
  EXPECT_EQ(block.currentRecord, nullptr);

  const auto host = Read<VxpChangeKey>(bytes, kFirstData + sizeof block);
  EXPECT_EQ(host.columnOffset, 0);
  EXPECT_EQ(host.columnLength, 8);
  EXPECT_EQ(Text(host.columnName, sizeof host.columnName), "HOST       ");
  const auto port = Read<VxpChangeKey>(bytes, kFirstData + sizeof block + sizeof(VxpChangeKey));
  EXPECT_EQ(port.columnOffset, 8);
  EXPECT_EQ(port.columnLength, 2);
  EXPECT_EQ(Text(port.columnName, sizeof port.columnName), "PORT       ");
}

TEST(PublicLayout, ColumnAgainstColumnOfDifferentTypesReadsBackThroughThePublicStructs) {
  PoolBuilder pool;
  PlanBuilder plan;
  const Column right = Column::Double("LIMIT", 24);
  plan.CompareColumns(Column::Long("CPU", 8), op::kLT, right, pool.ColumnDescriptor(right));
  const auto element = Read<VxpElement>(plan.Build(), sizeof(VxpPlanHeader));
  EXPECT_EQ(element.rightColumnOffset, 24);
  EXPECT_EQ(element.routineSlot, VXP_SLOT_KIND_LONG + VXP_SLOT_COL_COL);
  EXPECT_EQ(element.leftFlags, VXP_REP_LONG | VXP_REP_MIXED | VXP_REP_COLUMN);
  EXPECT_EQ(element.rightFlags, VXP_REP_DOUBLE | VXP_REP_MIXED | VXP_REP_COLUMN);
  EXPECT_EQ(element.alternateOperator, VXP_OP_LT);
  EXPECT_EQ(element.rightDataType, VXP_TYPE_DOUBLE);

  const Bytes bytes = pool.Build();
  EXPECT_EQ(Read<VxpLiteralEntry>(bytes, sizeof(VxpPoolHeader)).dataLength,
            static_cast<std::int16_t>(sizeof(VxpColumnDescriptor)));
  const auto descriptor = Read<VxpColumnDescriptor>(bytes, kFirstData);
  EXPECT_EQ(std::string(descriptor.columnName, 6), std::string("LIMIT\0", 6));
  EXPECT_EQ(descriptor.dataType, VXP_TYPE_DOUBLE);
  EXPECT_EQ(descriptor.leftDivisor, 0.0) << "set by creation, not by the host";
}

}  // namespace
}  // namespace vexfilt
