// A Filter's life: its handle, its copies of the caller's buffers, its locale and samples, reading it back
// predicate by predicate, changing its values while it lives, and its release. A modified literal stays inside
// what creation proved: it never lands on a structure another element trusts, never leaves a reader or writer
// of the operand with less room than creation gave it, and never makes a routine read further into the record
// than the record holds.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "core/change_control.h"
#include "core/memory.h"
#include "core/status.h"
#include "expected_lines.h"
#include "filter/sample.h"
#include "filter_fixture.h"
#include "host/nls.h"
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

constexpr std::uint16_t kLocalePlan = plan_flag::kUtf8Data | plan_flag::kLocaleSetup;

TEST(Handles, DestroyingNoFilterDoesNothing) {
  EXPECT_EQ(FLT1_DestroyFilter(FilterHandle{}), 0);
  EXPECT_EQ(FLT1_BeginSample(FilterHandle{}), 0);
}

TEST(FilterBlock, WorksOnCopiesOfTheCallersBuffersAndReleasesTheLiteralsItOwns) {
  const long before = OutstandingBlocks();
  PoolBuilder pool;
  PlanBuilder plan("COPIES");
  plan.Always().RightLiteral(pool.Long(90));
  plan.Always();
  auto planBytes = plan.Build();
  auto poolBytes = pool.Build();
  FilterHandle handle{};
  ASSERT_EQ(FLT1_CreateFilter(0, planBytes.data(), static_cast<std::int16_t>(planBytes.size()), poolBytes.data(),
                              static_cast<std::int16_t>(poolBytes.size()), &handle),
            0);
  Filter& filter = *FilterOf(handle);
  std::memset(planBytes.data(), 0xEE, planBytes.size());
  std::memset(poolBytes.data(), 0xEE, poolBytes.size());
  EXPECT_EQ(std::memcmp(filter.planCopy->tableName, "COPIES    ", 10), 0);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(filter.poolCopy) % 8, 0u) << "doubles in the pool stay aligned";
  EXPECT_EQ(filter.elements[0].filter, &filter);
  // The right operand is bound to the data of its entry in the Filter's pool copy.
  EXPECT_EQ(LoadUnaligned<std::int32_t>(filter.elements[0].rightData), 90);
  EXPECT_GE(static_cast<std::uint8_t*>(filter.elements[0].rightData), filter.poolCopy);
  // As predicate modification leaves them: replaced literals marked as the Filter's own.
  filter.elements[0].rightData = AllocateBlock(8, "test", __LINE__);
  filter.elements[0].rightFlags |= rep::kOwnedLiteral;
  filter.elements[1].leftData = AllocateBlock(4, "test", __LINE__);
  filter.elements[1].leftFlags |= rep::kOwnedLiteral;
  EXPECT_EQ(OutstandingBlocks(), before + 3);
  EXPECT_EQ(FLT1_DestroyFilter(handle), 0);
  EXPECT_EQ(OutstandingBlocks(), before);
}

TEST(FilterLocale, SetUpUnderBothPlanFlagsWhereLanguageIdZeroIsEnglishUnitedStates) {
  BuiltFilter none(PlanBuilder("LOCALE").Flags(plan_flag::kUtf8Data).Always(), PoolBuilder());
  ASSERT_EQ(none.status(), 0);
  EXPECT_EQ(none.filter().locale, nullptr);
  EXPECT_EQ(none.filter().languageId, 0u);
  EXPECT_EQ(PoolHeaderOf(none.filter()).languageId, 0u);

  CapturedTrace trace;
  VEXH_SetTraceLevel("FLT1_CreateFilter", 0x11);
  BuiltFilter built(PlanBuilder("LOCALE").Flags(kLocalePlan).Always(), PoolBuilder().LanguageId(0));
  ASSERT_EQ(built.status(), 0);
  EXPECT_EQ(PoolHeaderOf(built.filter()).languageId, kDefaultLanguageId);
  EXPECT_EQ(built.filter().languageId, kDefaultLanguageId);
  EXPECT_NE(built.filter().locale, nullptr);
  EXPECT_TRUE(built.filter().filterFlags & filter_flag::kLocaleSet);
  char expected[96];
  std::snprintf(expected, sizeof expected, "Table LOCALE     LCL1 locale %p LanguageId 0x03480001 set.",
                static_cast<void*>(built.filter().locale));
  EXPECT_TRUE(trace.Contains(expected));
}

TEST(FilterLocale, UnknownLanguageOrTerritoryGives312AndReleasesEverything) {
  for (const auto& [id, error] : {std::pair{0x03480063u, 39}, std::pair{0x03E70001u, 33}}) {
    const long before = OutstandingBlocks();
    const std::string said =
        testing::CreationRefusal(PlanBuilder("LOCALE").Flags(kLocalePlan).Always(), PoolBuilder().LanguageId(id));
    EXPECT_EQ(OutstandingBlocks(), before);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "312 Invalid Language. LCL1 error %d LanguageId 0x%.08X Table LOCALE     0x",
                  error, id);
    EXPECT_EQ(said.rfind(prefix, 0), 0u) << said;
    EXPECT_NE(said.find(" status 312"), std::string::npos);
    EXPECT_EQ(said.find('\n'), std::string::npos) << "one line";
  }
}

TEST(FilterTrace, PlanAndElementsAreDumpedUnderBits01And10) {
  CapturedTrace trace;
  BuiltFilter quiet(PlanBuilder("DUMPS").Always(), PoolBuilder());
  EXPECT_TRUE(trace.lines().empty());
  VEXH_SetTraceLevel("FLT1_CreateFilter", 0x11);
  BuiltFilter traced(PlanBuilder("DUMPS").Always(), PoolBuilder());
  ASSERT_EQ(traced.status(), 0);
  testing::ExpectLinesOf("lifecycle/creation-dump.trace", trace.lines());
}

TimeValue g_now{};
int g_clockReads = 0;
void SettableClock(void*, std::uint32_t* seconds, std::uint32_t* nanoseconds) {
  ++g_clockReads;
  *seconds = g_now.seconds;
  *nanoseconds = g_now.nanoseconds;
}

TEST(Samples, OnlyAFilterWithAChangeFunctionStampsEachSampleFromItsCreation) {
  EXPECT_EQ(SampleStampOf({10, 0}, {11, 999999999}), (1u << 8) + 99);
  VEXH_SetClock(SettableClock, nullptr);
  g_now = {10, 700000000};
  BuiltFilter plain(PlanBuilder("SAMPLE").Always(), PoolBuilder());
  const auto changes = testing::MakeFilter([](auto& plan, auto& pool) {
    testing::AddChange(plan, pool, Column::Long("V", 0), Column::Char("KEY", 8, 8));
    plan.Always();
  });
  ASSERT_EQ(plain.status(), 0);
  ASSERT_EQ(changes->status(), 0);

  g_clockReads = 0;
  std::uint32_t result = 0xFFFF;
  EXPECT_EQ(FLT1_BeginSample(plain.handle()), 0);
  EXPECT_EQ(FLT1_EndSample(plain.handle(), &result), 0);
  EXPECT_EQ(FLT1_EndSample(plain.handle(), nullptr), 0);
  EXPECT_EQ(g_clockReads, 0);
  EXPECT_EQ(plain.filter().sampleStamp, 0u);
  EXPECT_EQ(result, 0u);

  g_now = {13, 200000000};
  EXPECT_EQ(FLT1_BeginSample(changes->handle()), 0);
  EXPECT_EQ(changes->filter().sampleStamp, (2u << 8) + 50) << "a hundredth borrowed from a second";
  g_now = {10, 700000000};
  EXPECT_EQ(FLT1_BeginSample(changes->handle()), 0);
  EXPECT_EQ(changes->filter().sampleStamp, 0u);
  VEXH_SetClock(nullptr, nullptr);
}

TEST(LanguageChange, AppliedAtTheNextBeginOfASampleTheOldOneKeptUntilItWorks) {
  CapturedTrace trace;
  BuiltFilter built(PlanBuilder("LANG").Flags(kLocalePlan).Always(), PoolBuilder());
  ASSERT_EQ(built.status(), 0);
  // The pool copy's language id is what each begin of a sample compares with the one in force.
  const auto request = [&built](std::uint32_t id) { PoolHeaderOf(built.filter()).languageId = id; };
  request(0x03480063);
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 312);
  EXPECT_EQ(built.filter().languageId, kDefaultLanguageId);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0].rfind("Invalid Language. LCL1 error 39 LanguageId 0x03480001->0x03480063 Table LANG", 0),
            0u);
  FailNextLocaleCall(77);
  request(0x01140002);  // de_DE
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 1022);
  trace.Clear();
  VEXH_SetTraceLevel("FLT1_BeginSample", 0x11);
  EXPECT_EQ(FLT1_BeginSample(built.handle()), 0) << "the next begin tries again";
  EXPECT_EQ(built.filter().languageId, 0x01140002u);
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_NE(trace.lines()[0].find("LanguageId changed 0x03480001->0x01140002"), std::string::npos);
}

std::string Bytes(const void* data, std::size_t n) { return std::string(static_cast<const char*>(data), n); }

// One pass of FLT1_GetFilter, whose trace under bit 0x10 prints every field of each FilterInfo it hands out,
// against the lines kept in tests/data/lifecycle/`file`; returns what it handed out.
std::vector<FilterInfo> ExpectInspection(const BuiltFilter& built, const std::string& file) {
  CapturedTrace trace;
  VEXH_SetTraceLevel("FLT1_GetFilter", 0x10);
  std::vector<FilterInfo> infos;
  FilterInfo* info = nullptr;
  while (infos.size() < 100 && FLT1_GetFilter(built.handle(), &info) == 0) {
    EXPECT_EQ(info, &built.filter().info) << "always the Filter's own record";
    infos.push_back(*info);
  }
  EXPECT_EQ(info, nullptr);
  testing::ExpectLinesOf("lifecycle/" + file, trace.lines());
  return infos;
}

TEST(Inspection, OperandsAreReportedAsFarAsTheyHoldBytes) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    const Column right = Column::Long("AVERYLONGCOLUMN", 8);
    // A literal declared longer than its entry: the routine reads its 4 bytes, a host reads valueLen.
    plan.RecordLength(24).Compare(Column::Long("CPU", 0), op::kGT, pool.Long(90)).RightLiteralLength(400);
    plan.CompareColumns(Column::Long("LEFT", 4), op::kLE, right, pool.ColumnDescriptor(right));
    // The control block's cache pointer is no column name, though the plan marks the block as a column.
    testing::AddChange(plan, pool, Column::Long("V", 12), Column::Char("KEY", 16, 8)).RightFlags(rep::kColumn);
    plan.Always();
  });
  ASSERT_EQ(built->status(), 0);
  FLT1_BeginSample(built->handle());
  built->Evaluate(Record(24, ' ').At(12, 7).bytes());
  const std::vector<FilterInfo> infos = ExpectInspection(*built, "getfilter-operands.trace");
  ASSERT_EQ(infos.size(), 4u);
  EXPECT_EQ(Bytes(infos[1].value, 8), std::string(8, '\0')) << "a column against a column: 8 zero bytes";
  EXPECT_EQ(infos[2].extData, nullptr);
}

TEST(Inspection, SearchListIsUnfoldedOnePredicatePerEntry) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    plan.Compare(Column::ULong("CPU", 0), op::kGT, pool.ULong(90)).LogicalOperator(op::kAnd);
    SearchList list = SearchList::Of({"ALPHA", "BETA", "GAM*", "DELTA"}, 0);
    list.keys[2].entryType = plan::search::kPattern;
    plan.Search(Column::Char("NAME", 4, 8), pool.Search(list));
    plan.Compare(Column::VarChar("NOTE", 12, 10).Nullable(), op::kLike, pool.Char("x*"));
  });
  ASSERT_EQ(built->status(), 0);
  ExpectInspection(*built, "getfilter-search-list.trace");
  FilterInfo* again = nullptr;
  ASSERT_EQ(FLT1_GetFilter(built->handle(), &again), 0) << "a pass ending in 63 rewinds";
  EXPECT_EQ(again->compareOperator, 6);
}

// Every buffer a modification allocates is released with the Filter, or at once when it is refused; what a
// refusal says is kept.
class Modification : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(OutstandingBlocks(), before_) << "every buffer released with the Filter"; }
  // FLT1_ModifyPredicate with the bytes of `value`.
  static std::int32_t Modify(const BuiltFilter& built, const char* column, std::string_view value,
                             std::uint32_t function = 0) {
    return FLT1_ModifyPredicate(built.handle(), column, function, value.data(),
                                static_cast<std::int16_t>(value.size()));
  }
  const std::string& LastLine() const { return trace_.lines().back(); }

  const long before_ = OutstandingBlocks();
  CapturedTrace trace_;
};

TEST_F(Modification, TwoByteLiteralTakesTheFirstTwoBytesOfAValueNoShorter) {
  const auto built = testing::MakeFilter(
      [](auto& plan, auto& pool) { plan.Compare(Column::Short("PRI", 0), op::kEQ, pool.Short(3)); });
  ASSERT_EQ(built->status(), 0);
  EXPECT_EQ(Modify(*built, "PRI", std::string("\x07\0\0\0", 4)), 0) << "a 4-byte 7, whose first two bytes are 7";
  EXPECT_EQ(built->Evaluate(Record().At(0, std::int16_t{7}).bytes()), 0);
  EXPECT_EQ(built->Evaluate(Record().At(0, std::int16_t{3}).bytes()), 1);
  EXPECT_EQ(Modify(*built, "PRI", "x"), 58) << "shorter than the literal it replaces";
  EXPECT_EQ(FLT1_ModifyPredicate(built->handle(), "PRI", 0, "xx", -1), 58);
  EXPECT_EQ(Modify(*built, "NOSUCH", "xx"), 0) << "no predicate names it";
}

TEST_F(Modification, FixedLiteralIsBlankPaddedOrRefused) {
  const auto built = testing::MakeFilter(
      [](auto& plan, auto& pool) { plan.Compare(Column::Char("NAME", 0, 8), op::kEQ, pool.Char("JOHN", 8)); });
  ASSERT_EQ(built->status(), 0);
  EXPECT_EQ(Modify(*built, "NAME", "ABC"), 0);
  EXPECT_EQ(Bytes(built->element(0).rightData, 8), "ABC     ");
  EXPECT_EQ(Modify(*built, "NAME", "ABCDEFGHI"), 58);
  EXPECT_EQ(Bytes(built->element(0).rightData, 8), "ABC     ");
  EXPECT_EQ(built->Evaluate(Record(32, ' ').Text(0, "ABC").bytes()), 0);
}

TEST_F(Modification, VaryingLiteralComparesItsNewValueAtTheNextRecord) {
  const auto built = testing::MakeFilter(
      [](auto& plan, auto& pool) { plan.Compare(Column::VarChar("NOTE", 0, 22), op::kEQ, pool.Char("first")); });
  ASSERT_EQ(built->status(), 0);
  ASSERT_EQ(Modify(*built, "NOTE", "second value"), 0);
  EXPECT_EQ(built->Evaluate(Record(32, '#').Varying(0, "second value").bytes()), 0);
  EXPECT_EQ(built->Evaluate(Record(32, '#').Varying(0, "first").bytes()), 1);
  ASSERT_EQ(Modify(*built, "NOTE", "third"), 0) << "releases the second value's buffer";
  EXPECT_EQ(built->Evaluate(Record(32, '#').Varying(0, "third").bytes()), 0);
  EXPECT_EQ(OutstandingBlocks(), before_ + 2) << "the Filter and one literal buffer";
  FailAllocationAfter(0);
  EXPECT_EQ(Modify(*built, "NOTE", "fourth"), 7);
  FailAllocationAfter(-1);
  EXPECT_EQ(built->Evaluate(Record(32, '#').Varying(0, "third").bytes()), 0) << "the old value is kept";
}

TEST_F(Modification, StringSearchArgumentsWhateverTheirColumn) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    plan.RecordLength(16).AllOf();
    plan.StringSearch(Column::Char("A", 0, 8), pool.Char("XY"));
    plan.StringSearch(Column::Char("B", 8, 8), pool.Char("XY"));
    plan.Compare(Column::Char("A", 0, 8), op::kNE, pool.Char("ZZZZZZZZ"));
  });
  ASSERT_EQ(built->status(), 0);
  ASSERT_EQ(Modify(*built, "A", "QR", fn::kStringSearch), 0);
  for (int i : {0, 1}) {
    EXPECT_EQ(Bytes(built->element(i).leftData, 2), "QR");
    EXPECT_EQ(built->element(i).leftLiteralLength, 2);
  }
  EXPECT_EQ(Bytes(built->element(2).rightData, 8), "QR      ")
      << "the literal of another element on the named column changes too";
  EXPECT_EQ(built->Evaluate(Record(16, ' ').Text(0, "ABQRCD").Text(8, "QR").bytes()), 0);
  EXPECT_NE(built->Evaluate(Record(16, ' ').Text(0, "ABXYCD").Text(8, "QR").bytes()), 0);
  EXPECT_NE(built->Evaluate(Record(16, ' ').Text(0, "QR").Text(8, "QR").bytes()), 0);
  // A longer argument is proved as a literal is, and the room it gets is what a later one is proved against.
  ASSERT_EQ(Modify(*built, "B", "0123456789", fn::kStringSearch), 0);
  EXPECT_EQ(built->element(0).leftLiteralLength, 10);
  EXPECT_GE(built->filter().facts[0].leftRoom, 10);
}

TEST_F(Modification, StructuredOperandsAreNeverOverwritten) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    const Column right = Column::Char("B", 8, 8);
    plan.CompareColumns(Column::Char("A", 0, 8), op::kEQ, right, pool.ColumnDescriptor(right));
    plan.Search(Column::Char("A", 0, 8), pool.Search(SearchList::Of({"K"}, 8)));
  });
  ASSERT_EQ(built->status(), 0);
  constexpr std::size_t kRead = offsetof(VxpColumnDescriptor, reserved46);  // what the library reads of it
  const std::string descriptor = Bytes(built->element(0).rightData, kRead);
  EXPECT_EQ(Modify(*built, "A", "XXXXXXXX"), 0);
  EXPECT_EQ(Bytes(built->element(0).rightData, kRead), descriptor);
  EXPECT_EQ(built->filter().searchEntryCount, 1);
}

TEST_F(Modification, FixedLiteralSharingAChangeControlBlockIsRefusedAndTheBlockKept) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    const plan::ChangeControl control{.keys = {Column::Char("KEY", 0, 8)}};
    const plan::Literal scratch = pool.ChangeScratch(control);
    const plan::Literal block = pool.Change(control);
    plan.RecordLength(32).Compare(Column::Char("NAME", 8, 8), op::kNE, block).RightLiteralLength(8);
    plan.Change(Column::Long("CPU", 16), scratch, block).ResultTarget(1);
    plan.Always();
  });
  ASSERT_EQ(built->status(), 0);
  const std::string kept = Bytes(built->element(1).rightData, change_control::kKeyEntries);
  EXPECT_EQ(Modify(*built, "NAME", "x"), status::kBadLiteralKind);
  EXPECT_EQ(Bytes(built->element(1).rightData, change_control::kKeyEntries), kept);
  EXPECT_EQ(LastLine().rfind("Filter Element 0 invalid rightLiteralId", 0), 0u) << LastLine();
  FLT1_BeginSample(built->handle());
  EXPECT_EQ(built->Evaluate(Record(32, ' ').Text(0, "alpha").At(16, 5).bytes()), 0);
  std::uint32_t result = 0;
  EXPECT_EQ(FLT1_EndSample(built->handle(), &result), 0);
}

TEST_F(Modification, FixedLiteralSharingASearchListIsRefused) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    const plan::Literal list = pool.Search(SearchList::Of({"ALPHA", "BETA"}, 8));
    plan.RecordLength(16).Compare(Column::Char("NAME", 8, 8), op::kNE, list).RightLiteralLength(8);
    plan.Search(Column::Char("KEY", 0, 8), list);
  });
  ASSERT_EQ(built->status(), 0);
  const std::string kept = Bytes(built->element(1).rightData, 16);
  EXPECT_EQ(Modify(*built, "NAME", "\xFF\xFF\xFF\xFF"), status::kBadLiteralKind);
  EXPECT_EQ(Bytes(built->element(1).rightData, 16), kept) << "the list's counts and lengths are the plan's";
  built->Evaluate(Record(16, ' ').Text(0, "BETA").bytes());
}

TEST_F(Modification, ShorterVaryingLiteralKeepsTheRoomATimestampIsWrittenInto) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    plan.MakeTime(Column::Char("TS", 0, 16), pool.Char("+"), pool.Char("1D")).ResultOperand(1);
    plan.Compare(Column::VarChar("V", 16, 16), op::kGT, pool.Char(std::string(16, '0')));
    plan.AllOf().RecordLength(40);
  });
  ASSERT_EQ(built->status(), 0);
  ASSERT_EQ(Modify(*built, "V", "1"), 0);
  EXPECT_GE(built->filter().facts[1].rightRoom, 16) << "the timestamp lands in the new buffer";
  EXPECT_EQ(built->element(1).rightLiteralLength, 1);
  built->Evaluate(Record(40, ' ').Text(0, "1080301000000000").Varying(16, "2").bytes());
  EXPECT_EQ(Bytes(built->element(1).rightData, 16), "1080302000000000");
}

TEST_F(Modification, LocaleAwareLiteralIsReadOverItsNewLength) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    // A varying character column whose flags say UTF-8 is compared by the locale.
    plan.Flags(plan_flag::kUtf8Data | plan_flag::kLocaleSetup);
    plan.Compare(Column::VarChar("VTX", 0, 14), op::kEQ, pool.Utf8Char("abcdef")).LeftFlags(rep::kUtf8 | rep::kVarying);
  });
  ASSERT_EQ(built->status(), 0);
  ASSERT_EQ(Modify(*built, "VTX", "ab"), 0);
  EXPECT_EQ(built->element(0).rightScale, 2);
  EXPECT_EQ(built->Evaluate(Record(16, ' ').Varying(0, "ab").bytes()), 0);
  EXPECT_EQ(built->Evaluate(Record(16, ' ').Varying(0, "abcdef").bytes()), 1);
}

TEST_F(Modification, LiteralLongerThanTheRecordAllowsIsRefusedAndTheOldOneKept) {
  const auto built = testing::MakeFilter([](auto& plan, auto& pool) {
    // A fixed compare on a varying column reads the literal's length of the column.
    plan.RecordLength(16).Compare(Column::VarChar("V", 0, 8), op::kEQ, pool.Char("abcd")).Slot(slot::kCharColLit);
  });
  ASSERT_EQ(built->status(), 0);
  EXPECT_EQ(Modify(*built, "V", std::string(4000, 'z')), status::kLengthOutOfRange);
  EXPECT_EQ(LastLine().rfind("Filter Element 0 invalid columnOffset 0", 0), 0u) << LastLine();
  EXPECT_EQ(built->element(0).rightLiteralLength, 4);
  EXPECT_EQ(built->Evaluate(Record(16, ' ').Text(0, "abcd").bytes()), 0);
  ASSERT_EQ(Modify(*built, "V", "abcdefghijklmnop"), 0) << "up to the record's end";
  EXPECT_EQ(built->Evaluate(Record(16, ' ').Text(0, "abcdefghijklmnop").bytes()), 0);
}

}  // namespace
}  // namespace vexfilt
