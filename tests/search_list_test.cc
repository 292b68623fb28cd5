// Search lists: marking entries, every pattern kind, retrieval of unmatched keys, and lists read from files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "core/memory.h"
#include "core/search_list.h"
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
namespace search = plan::search;

const Column kName = Column::Char("NAME", 0, 8);
const Column kVarName = Column::VarChar("VNAME", 8, 10);

// A Filter with one search element over `column`, then an always-holding element.
std::unique_ptr<BuiltFilter> SearchFilter(const Column& column, const SearchList& list, std::int32_t length = 32) {
  const auto write = [&](PlanBuilder& plan, PoolBuilder& pool) {
    plan.RecordLength(length);
    plan.Search(column, pool.Search(list));
    plan.Always();
  };
  return testing::MakeFilter(write, "SEARCH");
}

// A record with `name` in kName.
Record Named(const std::string& name) { return Record(32, ' ').Text(0, name); }

// Which entries (1-based) are marked after the records run through one sample.
std::vector<int> Marked(BuiltFilter& built, const std::vector<Record>& records) {
  EXPECT_EQ(built.status(), 0);
  if (built.status() != 0) return {};
  FLT1_BeginSample(built.handle());
  for (const Record& record : records) EXPECT_EQ(built.element(0).routine(built.element(0), record.bytes().data()), 1);
  std::vector<int> marked;
  search_list::Entry entry = search_list::FirstEntry(built.filter().searchList);
  for (int i = 1; i <= built.filter().searchEntryCount; ++i) {
    if (entry.matched()) marked.push_back(i);
    if (i < built.filter().searchEntryCount) entry = entry.Next();
  }
  return marked;
}

TEST(SearchMarking, FirstMatchStopsTheScanUnlessTheListSaysGoOn) {
  SearchList list = SearchList::Of({"AAA", "B*", "CCC", "DDD", "B*"}, 8);
  for (auto& key : list.keys) {
    if (key.key[1] != '*') continue;
    key.entryType = search::kPattern;
    key.compareLength = 2;  // the pattern without the blanks that pad the key
  }
  EXPECT_EQ(Marked(*SearchFilter(kName, list), {Named("BOB")}), (std::vector<int>{2}));
  list.flags = search_list::kContinueAfterMatch;
  EXPECT_EQ(Marked(*SearchFilter(kName, list), {Named("BOB")}), (std::vector<int>{2, 5}));
}

TEST(SearchMarking, MatchedEntriesAreNotComparedAgainInTheSample) {
  CapturedTrace trace;
  auto built = SearchFilter(kName, SearchList::Of({"AAA", "BBB"}, 8));
  ASSERT_EQ(built->status(), 0);
  VEXH_SetTraceLevel("Search", 0x01);
  EXPECT_EQ(Marked(*built, {Named("AAA"), Named("AAA")}), (std::vector<int>{1}));
  // First record: entry 1 compared (found); second record: entry 1 skipped, entry 2 compared.
  int lines = 0;
  for (const std::string& line : trace.lines()) lines += line.rfind("FixColSchLit", 0) == 0;
  EXPECT_EQ(lines, 2);
  EXPECT_TRUE(trace.Contains("FixColSchLit Found rc=0 NAME        type=452 collen=8 offset=0 entry=[1/2] enttyp=00 "
                             "cmpoff=0 cmplen=8 entlen=8"));
}

TEST(SearchKinds, EveryPatternKindOnFixedAndVaryingColumns) {
  constexpr std::uint8_t kLiteral = 0, kPrefixAndAny = search::kPrefix | search::kAny;
  const struct {
    std::uint8_t entryType;
    std::string key, value;
    bool matches;
  } cases[] = {{kLiteral, "JOHN    ", "JOHN", true},        {kLiteral, "JOHN    ", "JOHNNY", false},
               {search::kSubstring, "OHN", "JOHNNY", true}, {kPrefixAndAny, "NNY", "JOHNNY", true},
               {search::kSubstring, "XYZ", "JOHNNY", false}, {search::kPrefix, "JO", "JOHNNY", true},
               {search::kPrefix, "HN", "JOHNNY", false},    {search::kPattern, "J*Y", "JOHNNY", true},
               {search::kPattern, "J?Y", "JOHNNY", false},  {search::kAny, "QQQ", "JOHNNY", true}};
  for (const auto& c : cases) {
    for (bool varying : {false, true}) {
      const auto type = static_cast<std::uint8_t>(c.entryType | (varying ? search::kVarying : 0));
      auto built = SearchFilter(varying ? kVarName : kName, SearchList::Of({c.key}, 0, type));
      ASSERT_EQ(built->status(), 0);
      Record record(32, ' ');
      varying ? record.Varying(8, c.value) : record.Text(0, c.value);
      EXPECT_EQ(Marked(*built, {record}).size(), c.matches ? 1u : 0u)
          << "type " << int(c.entryType) << " key '" << c.key << "' value '" << c.value << "' varying " << varying;
    }
  }
}

TEST(SearchKinds, VaryingColumnsReadTheirPrefixOrTheWholeColumn) {
  auto longer = SearchFilter(kVarName, SearchList::Of({"JOHNNY"}, 0, search::kVarying | search::kPrefix));
  ASSERT_EQ(longer->status(), 0);
  EXPECT_TRUE(Marked(*longer, {Record(32, ' ').Varying(8, "JOHN")}).empty()) << "a prefix longer than the value";
  EXPECT_EQ(longer->element(0).conditionCode, 207);
  // One byte has no room for a value after a prefix; whatever the first two bytes say, the column is the value.
  auto oneByte = SearchFilter(Column::VarChar("V", 8, 1), SearchList::Of({"Z"}, 0, search::kVarying));
  ASSERT_EQ(oneByte->status(), 0);
  EXPECT_EQ(Marked(*oneByte, {Record(32, ' ').Text(8, "Z").At(9, std::uint8_t{0})}).size(), 1u);
  EXPECT_EQ(oneByte->element(0).leftScale, 1);
  // A prefix out of range: the whole column is compared.
  auto outOfRange = SearchFilter(kVarName, SearchList::Of({"Z"}, 0, search::kVarying | search::kSubstring));
  ASSERT_EQ(outOfRange->status(), 0);
  EXPECT_EQ(Marked(*outOfRange, {Record(32, ' ').At(8, std::uint16_t{500}).Text(17, "Z")}).size(), 1u);
  EXPECT_EQ(outOfRange->element(0).leftScale, 10);
  EXPECT_EQ(outOfRange->element(0).alternateOperator, 0);
}

TEST(SearchLists, CreationRefusesWhatDoesNotFit) {
  EXPECT_EQ(SearchFilter(Column::VarChar("V", 31, 0), SearchList::Of({"Z"}, 0, search::kVarying))->status(), 6)
      << "the prefix of a varying column must lie in the record";
  SearchList list = SearchList::Of({"AAA", "BBB"}, 8);
  list.count = 3;
  EXPECT_EQ(SearchFilter(kName, list)->status(), 6) << "more entries than the list holds";
  SearchList keyBeyondEntry = SearchList::Of({"AAA"}, 8);
  keyBeyondEntry.keys[0].keyLength = 40;
  EXPECT_EQ(SearchFilter(kName, keyBeyondEntry)->status(), 6) << "a key longer than its entry";
}

// One sample over `values`, then every record retrieval returns until 514: the keys at offset 4.
std::vector<std::string> Unmatched(BuiltFilter& built, const std::vector<std::string>& values, std::uint32_t* report) {
  std::vector<Record> records;
  for (const std::string& value : values) records.push_back(Named(value));
  Marked(built, records);
  FLT1_EndSample(built.handle(), report);
  std::vector<std::string> keys;
  std::vector<std::uint8_t> buffer(32, '.');
  std::int32_t st = 0;
  for (std::uint32_t length = 32; (st = FLT1_RetrieveRecord(built.handle(), buffer.data(), &length)) == 0;
       length = 32) {
    EXPECT_EQ(length, 32u);
    keys.emplace_back(reinterpret_cast<char*>(buffer.data()) + 4, 8);
  }
  EXPECT_EQ(st, 514);
  return keys;
}

TEST(Retrieval, UnmatchedKeysComeBackInListOrder) {
  SearchList list = SearchList::Of({"K1", "K2", "K3", "K4", "K5", "K6"}, 8);
  list.dataOffset = 4;
  auto built = SearchFilter(kName, list);
  ASSERT_EQ(built->status(), 0);
  std::uint32_t report = 0;
  EXPECT_EQ(Unmatched(*built, {"K1", "K3", "K4", "K6"}, &report), (std::vector<std::string>{"K2      ", "K5      "}));
  EXPECT_EQ(report, 0x8000u);
  EXPECT_EQ(built->filter().lastUnmatchedEntry, 5);
  EXPECT_EQ(Unmatched(*built, {"K1", "K2", "K3", "K4", "K5", "K6"}, &report), std::vector<std::string>{});
  EXPECT_EQ(report, 0u);
  EXPECT_EQ(built->filter().retrieveCursor, nullptr);
}

TEST(Retrieval, BufferTooSmallOffersTheSameEntryAgain) {
  auto built = SearchFilter(kName, SearchList::Of({"K1", "K2"}, 8), 40);
  ASSERT_EQ(built->status(), 0);
  std::vector<std::uint8_t> buffer(64, '.');
  std::uint32_t length = 32;
  EXPECT_EQ(FLT1_RetrieveRecord(built->handle(), buffer.data(), &length), 514) << "before any end of a sample";
  FLT1_BeginSample(built->handle());
  std::uint32_t report = 0;
  FLT1_EndSample(built->handle(), &report);
  EXPECT_EQ(FLT1_RetrieveRecord(built->handle(), buffer.data(), &length), 1);
  EXPECT_EQ(FLT1_RetrieveRecord(built->handle(), buffer.data(), &length), 1);
  EXPECT_EQ(length, 32u) << "left as it was";
  length = 64;
  EXPECT_EQ(FLT1_RetrieveRecord(built->handle(), buffer.data(), &length), 0);
  EXPECT_EQ(length, 40u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 8), "K1      ");
  // A varying key comes with its length.
  SearchList varying = SearchList::Of({"ABC"}, 0, search::kVarying);
  varying.dataOffset = 8;
  built = SearchFilter(kVarName, varying);
  ASSERT_EQ(built->status(), 0);
  FLT1_BeginSample(built->handle());
  FLT1_EndSample(built->handle(), &report);
  buffer.assign(64, '.');
  length = 32;
  ASSERT_EQ(FLT1_RetrieveRecord(built->handle(), buffer.data(), &length), 0);
  EXPECT_EQ(LoadUnaligned<std::uint16_t>(buffer.data() + 8), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()) + 10, 4), "ABC.");
}

// A search list file, removed with the object; its path is short, and no other process's.
class ListFile {
 public:
  explicit ListFile(const std::string& text)
      : path("/tmp/vexsearch" + std::to_string(getpid()) + "-" + std::to_string(++made_)) {
    std::ofstream(path) << text;
  }
  ~ListFile() { std::remove(path.c_str()); }
  const std::string path;

 private:
  static inline int made_ = 0;
};

TEST(SearchFiles, OneEntryPerKeyedLine) {
  const ListFile file(
      "alpha\nbeta gamma\ndelta;comment\n gone\n\n;only a comment\nepsilonepsilonepsilonepsilonepsilon\n");
  auto built = SearchFilter(Column::Char("NAME", 0, 24), SearchList::File(file.path, 24));
  ASSERT_EQ(built->status(), 0);
  std::vector<std::string> keys;
  search_list::Entry entry = search_list::FirstEntry(static_cast<std::uint8_t*>(built->element(0).rightData));
  for (int i = 1; i <= built->filter().searchEntryCount; ++i) {
    keys.emplace_back(reinterpret_cast<char*>(entry.key()), static_cast<std::size_t>(entry.keyLength()));
    if (i < built->filter().searchEntryCount) entry = entry.Next();
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"alpha" + std::string(19, ' '), "beta" + std::string(20, ' '),
                                           "delta" + std::string(19, ' '), "epsilonepsilonepsiloneps"}));
  EXPECT_EQ(built->filter().ownership, kOwnsSearchList);
  EXPECT_EQ(built->filter().searchList, built->element(0).rightData);
  EXPECT_EQ(Marked(*built, {Named("delta")}), (std::vector<int>{3}));
}

// A file that cannot serve leaves the plan's list in use, which is not an error of the host's: its three
// messages, the path too long for the buffer among them, are written under level bit 0x80 only.
TEST(SearchFiles, UnusableFilesLeaveThePlansListAndAreReportedOnlyUnderBit0x80) {
  const ListFile file("   \n\n  x\n");
  const std::string blanks = file.path, missing = "/tmp/no-such-search-list", longPath = "/tmp/" + std::string(70, 'p');
  for (const std::uint32_t level : {0x80u, 0xFFu & ~0x80u}) {
    CapturedTrace trace;
    VEXH_SetTraceLevel("FLT1_BuildAlternateSearch", level);
    for (const std::string& path : {blanks, missing, longPath}) {
      const long before = OutstandingBlocks();
      auto built = SearchFilter(Column::Char("NAME", 0, 90), SearchList::File(path, 90), 100);
      ASSERT_EQ(built->status(), 0) << path;
      EXPECT_EQ(built->filter().searchEntryCount, 1) << path;
      EXPECT_EQ(built->filter().searchList, built->element(0).rightData);
      EXPECT_EQ(built->filter().ownership, 0u);
      built.reset();
      EXPECT_EQ(OutstandingBlocks(), before);
    }
    const bool reported = level & 0x80u;
    EXPECT_EQ(trace.Contains("Search list file \"" + blanks + "\" contains zero valid entries"), reported);
    EXPECT_EQ(trace.Contains("Unable to open search list file \"" + missing + "\""), reported);
    EXPECT_EQ(trace.Contains("Search list file path longer than 71 bytes: \"" + longPath + "\""), reported);
    if (reported) continue;
    for (const std::string& line : trace.lines()) EXPECT_EQ(line.find("earch list file"), std::string::npos) << line;
    EXPECT_FALSE(trace.lines().empty()) << "the other bits were on: entry and exit were written";
  }
}

}  // namespace
}  // namespace vexfilt
