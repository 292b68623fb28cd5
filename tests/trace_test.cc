// Trace levels per block, the generation that refreshes cached levels, events and hex dumps.
#include <gtest/gtest.h>

#include <string>

#include "host/trace.h"
#include "test_support.h"
#include "vexhost.h"

namespace vexfilt {
namespace {

using testing::CapturedTrace;
using testing::ScopedEnv;

TEST(TraceLevels, EachBlockReadsItsOwnLevel) {
  CapturedTrace trace;
  static TraceBlock first{"FirstBlock", kFilterUnit, 1};
  static TraceBlock second{"SecondBlock", kFilterUnit, 1};
  VEXH_SetTraceLevel("FirstBlock", 0x11);
  EXPECT_EQ(TraceLevelOf(first), 0x11u);
  EXPECT_EQ(TraceLevelOf(second), 0u);
  VEXH_SetTraceLevel(nullptr, 0x02);
  EXPECT_EQ(TraceLevelOf(first), 0x02u) << "a level for every block replaces the per-block ones";
  EXPECT_EQ(TraceLevelOf(second), 0x02u);
}

// Levels of single blocks live in fixed room, so that keeping one never takes memory: 256 of them, named
// in at most 63 characters. A setting beyond that is ignored; one for a block already kept still changes it.
TEST(TraceLevels, RoomForSingleBlocksIsFixed) {
  CapturedTrace trace;
  static TraceBlock first{"Block0", kFilterUnit, 1};
  static TraceBlock last{"Block255", kFilterUnit, 1};
  static TraceBlock beyond{"Block256", kFilterUnit, 1};
  for (int i = 0; i <= 256; ++i) VEXH_SetTraceLevel(("Block" + std::to_string(i)).c_str(), 0x11);
  EXPECT_EQ(TraceLevelOf(first), 0x11u);
  EXPECT_EQ(TraceLevelOf(last), 0x11u);
  EXPECT_EQ(TraceLevelOf(beyond), 0u);
  VEXH_SetTraceLevel("Block0", 0x41);
  EXPECT_EQ(TraceLevelOf(first), 0x41u);

  VEXH_ResetTraceLevels();
  static const std::string longest(63, 'L'), tooLong(64, 'L');
  static TraceBlock named{longest.c_str(), kFilterUnit, 1};
  static TraceBlock unnamed{tooLong.c_str(), kFilterUnit, 1};
  VEXH_SetTraceLevel(longest.c_str(), 0x11);
  VEXH_SetTraceLevel(tooLong.c_str(), 0x11);
  EXPECT_EQ(TraceLevelOf(named), 0x11u);
  EXPECT_EQ(TraceLevelOf(unnamed), 0u);
}

TEST(TraceLevels, CachedLevelHoldsUntilTheGenerationAdvances) {
  CapturedTrace trace;
  static TraceBlock block{"CachedBlock", kFilterUnit, 1};
  EXPECT_EQ(TraceLevelOf(block), 0u);
  // While the generation is unchanged the cache is trusted, whatever the configuration says.
  block.level.store(0x99);
  EXPECT_EQ(TraceLevelOf(block), 0x99u);
  VEXH_SetTraceLevel("CachedBlock", 0x41);
  EXPECT_EQ(TraceLevelOf(block), 0x41u);
  VEXH_ResetTraceLevels();
  EXPECT_EQ(TraceLevelOf(block), 0u);
}

TEST(TraceLevels, EnvironmentGivesDefaultAndPerBlockLevels) {
  CapturedTrace trace;
  ScopedEnv env("VEX_TRACE_LEVEL", " 0x01 , EnvBlock=0x41,Other=bad,=3");
  ReadTraceLevelsFromEnvironment();
  static TraceBlock named{"EnvBlock", kFilterUnit, 1};
  static TraceBlock plain{"PlainBlock", kFilterUnit, 1};
  EXPECT_EQ(TraceLevelOf(named), 0x41u);
  EXPECT_EQ(TraceLevelOf(plain), 0x01u);
}

int32_t TracedCall(int32_t result) {
  static TraceBlock block{"TracedCall", kFilterUnit, __LINE__};
  TraceScope trace(block, 100);
  if (result < 0) return 7;  // a path that leaves without Exit still closes the call
  return trace.Exit(result, 200);
}

TEST(TraceEvents, EntryAndExitOnlyUnderTheEventBit) {
  CapturedTrace trace;
  TracedCall(5);
  EXPECT_TRUE(trace.lines().empty());
  VEXH_SetTraceLevel("TracedCall", 0x40);
  TracedCall(5);
  TracedCall(-1);
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                               "TracedCall entry (vexflt1 line 100)",
                               "TracedCall exit rc=5 (vexflt1 line 200)",
                               "TracedCall entry (vexflt1 line 100)",
                               "TracedCall exit (vexflt1 line 100)",
                           }));
}

TEST(TraceOutput, PrintfWritesOneLineWithoutTruncation) {
  CapturedTrace trace;
  static TraceBlock block{"PrintfBlock", kFilterUnit, 1};
  const std::string longText(2000, 'x');
  TracePrintf(block, 1, "%.10s|%5hd|%s", "TABLE     extra", static_cast<short>(42), longText.c_str());
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0], "TABLE     |   42|" + longText);
}

TEST(TraceOutput, DumpShowsOffsetHexAndText) {
  CapturedTrace trace;
  static TraceBlock block{"DumpBlock", kFilterUnit, 1};
  const char bytes[] = "ABCDEFGHIJKLMNOP\x01\x7fqr";
  TraceDump(block, 1, bytes, 20);
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                               "00000000  41 42 43 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50  |ABCDEFGHIJKLMNOP|",
                               "00000010  01 7F 71 72                                       |..qr|",
                           }));
}

}  // namespace
}  // namespace vexfilt
