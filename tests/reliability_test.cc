// Every allocation failing in turn, and Filters used on several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "core/memory.h"
#include "filter_fixture.h"
#include "host/trace.h"
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
using testing::ScopedEnv;

TEST(AllocationFailures, EveryFailurePointGivesACleanStatusAndLeaksNothing) {
  const std::string path = "/tmp/vexfilt-alloc-sweep.txt";
  std::ofstream(path) << "alpha\nbeta\n";
  int failurePoints = 0;
  for (long n = 0;; ++n) {
    const long before = OutstandingBlocks();
    PoolBuilder pool;
    PlanBuilder plan("ALLOC");
    plan.Search(Column::Char("NAME", 0, 40), pool.Search(SearchList::File(path, 40)));
    plan.Compare(Column::VarChar("NOTE", 40, 22), op::kEQ, pool.Char("x"));
    plan.StringSearch(Column::Char("NAME", 0, 40), pool.Char("ph"));
    testing::AddChange(plan, pool, Column::Long("CPU", 64), Column::Char("NAME", 0, 8));
    plan.Always();
    FailAllocationAfter(n);
    CapturedTrace quiet;
    std::int32_t created, modified = -1, searched = -1;
    {
      BuiltFilter built(plan, pool);
      created = built.status();
      if (created == 0) {
        // A row key seen for the first time is cached: the change element answers 1000 when it cannot be.
        FLT1_BeginSample(built.handle());
        built.Evaluate(Record(72, ' ').Text(0, "alpha").bytes());
        std::uint32_t result = 0;
        FLT1_EndSample(built.handle(), &result);
        modified = FLT1_ModifyPredicate(built.handle(), "NOTE", 0, "changed", 7);
        searched = FLT1_ModifyPredicate(built.handle(), "NAME", fn::kStringSearch, "ta", 2);
      }
    }
    const bool reached = FailAllocationAfter(-1) < 0;
    if (n == 0) {
      EXPECT_EQ(created, 7);
      ASSERT_EQ(quiet.lines().size(), 1u);
      EXPECT_EQ(quiet.lines()[0].rfind("Filter allocation of ", 0), 0u) << "the Filter's own block comes first";
    }
    EXPECT_EQ(OutstandingBlocks(), before) << "failure point " << n;
    EXPECT_TRUE(created == 0 || created == 7) << n;
    EXPECT_TRUE(modified == -1 || modified == 0 || modified == 7) << n;
    EXPECT_TRUE(searched == -1 || searched == 0 || searched == 7) << n;
    if (!reached) break;
    ++failurePoints;
    ASSERT_LT(n, 50);
  }
  FailAllocationAfter(-1);
  std::remove(path.c_str());
  // The Filter, the list read from the file, the change cache and its buckets, the first row's record and
  // cache entry, then one buffer per modification.
  EXPECT_EQ(failurePoints, 8);
}

// A trace sink that takes no memory: an allocation failure in the sweeps below can only be the library's.
class LineLengths {
 public:
  LineLengths() { VEXH_SetTraceSink(&LineLengths::Sink, this); }
  ~LineLengths() {
    VEXH_SetTraceSink(nullptr, nullptr);
    VEXH_ResetTraceLevels();
  }
  LineLengths(const LineLengths&) = delete;
  LineLengths& operator=(const LineLengths&) = delete;

  int lines = 0;
  std::size_t longest = 0;

 private:
  static void Sink(void* context, const char* line) {
    auto* self = static_cast<LineLengths*>(context);
    ++self->lines;
    self->longest = std::max(self->longest, std::strlen(line));
  }
};

// Runs `call` with each operator new it makes failing in turn, after `prepare` (which may allocate); every
// run must end in `call` returning, never in an exception. Returns how many failure points were met.
template <typename Prepare, typename Call>
int SweepOperatorNew(Prepare prepare, Call call) {
  for (long n = 0;; ++n) {
    prepare();
    bool escaped = false;
    testing::FailOperatorNewAfter(n);
    try {
      call();
    } catch (...) {
      escaped = true;
    }
    const bool reached = testing::FailOperatorNewAfter(-1) < 0;
    EXPECT_FALSE(escaped) << "an exception left the library at failure point " << n;
    if (!reached || n == 100) return static_cast<int>(n);
  }
}

TEST(AllocationFailures, TracedLineLongerThanItsBufferLeavesTheRecordsStatus) {
  PoolBuilder pool;
  PlanBuilder plan;
  plan.Compare(Column::Double("D", 0), op::kGT, pool.Double(1e300));  // each value prints 301 digits
  const testing::ElementByElement traced(plan, pool);
  const BuiltFilter& built = traced.built();
  ASSERT_EQ(built.status(), 0);
  LineLengths lengths;
  const std::vector<std::uint8_t> record = Record().At(0, 2e300).bytes();
  VEXH_SetTraceLevel(nullptr, 0x01);
  ASSERT_EQ(built.Evaluate(record), 0);
  ASSERT_GT(lengths.longest, 600u) << "the line must be longer than the 511 characters written without memory";

  std::int32_t st = -1;
  EXPECT_EQ(SweepOperatorNew([] {}, [&] { st = built.Evaluate(record); }), 0)
      << "a traced record takes nothing from operator new";
  EXPECT_EQ(st, 0);

  // The library's own memory: a line that cannot have it is written as far as it fits without.
  int failurePoints = 0;
  for (long n = 0; n < 10; ++n) {
    lengths.longest = 0;
    FailAllocationAfter(n);
    st = built.Evaluate(record);
    if (FailAllocationAfter(-1) >= 0) break;
    ++failurePoints;
    EXPECT_EQ(st, 0) << n;
    EXPECT_EQ(lengths.longest, 511u) << n;
  }
  EXPECT_EQ(failurePoints, 2) << "the line grows into a block, and is formatted once more into another";
}

TEST(AllocationFailures, FirstReadOfTraceLevelsInARecordThrowsNothing) {
  PoolBuilder pool;
  PlanBuilder plan;
  plan.Compare(Column::Long("A", 0), op::kEQ, pool.Long(7));
  const testing::ElementByElement traced(plan, pool);
  const BuiltFilter& built = traced.built();
  ASSERT_EQ(built.status(), 0);
  LineLengths lengths;
  const std::vector<std::uint8_t> record = Record().At(0, 7).bytes();
  ScopedEnv levels("VEX_TRACE_LEVEL", "0x00, FLT1_CreateFilter=0x11, SomeBlockWithALongerName=0x80, Long=0x01");

  std::int32_t st = -1;
  EXPECT_EQ(SweepOperatorNew([] { ForgetTraceLevels(); }, [&] { st = built.Evaluate(record); }), 0)
      << "reading the levels takes nothing from operator new";
  EXPECT_EQ(st, 0);
  lengths.lines = 0;
  ForgetTraceLevels();
  EXPECT_EQ(built.Evaluate(record), 0);
  EXPECT_EQ(lengths.lines, 1) << "the printer's own setting was read";
}

TEST(AllocationFailures, HostConfigurationThrowsNothing) {
  LineLengths lengths;
  ScopedEnv levels("VEX_TRACE_LEVEL", "0x00, FLT1_CreateFilter=0x11, SomeBlockWithALongerName=0x80");
  const char* name = "AnotherBlockWithALongName";
  SweepOperatorNew([] { ForgetTraceLevels(); }, [&] { VEXH_SetTraceLevel(name, 0x41); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceLevel("YetAnotherBlockWithALongName", 0x11); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceLevel(nullptr, 0x02); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceLevel(name, 0x41); });
  static TraceBlock block{"AnotherBlockWithALongName", kFilterUnit, __LINE__};
  EXPECT_EQ(TraceLevelOf(block), 0x41u);
  SweepOperatorNew([] {}, [] { VEXH_ResetTraceLevels(); });
  EXPECT_EQ(TraceLevelOf(block), 0u);
  SweepOperatorNew([] {}, [] { VEXH_SetClock(nullptr, nullptr); });
  SweepOperatorNew([] {}, [&] { VEXH_SetTraceSink(nullptr, nullptr); });
}

TEST(Threads, FiltersOnSeveralThreadsAtOnce) {
  // Each thread creates, samples and destroys Filters of its own: a comparison chain, and a change element
  // beside an expected-keys list whose missing key is retrieved after every sample.
  struct Tally {
    int passes = 0, changes = 0, missing = 0;
  };
  auto work = [](int seed, Tally* tally) {
    const Column name = Column::Char("NAME", 8, 8);
    for (int round = 0; round < 40; ++round) {
      PoolBuilder pool;
      PlanBuilder plan("THREADS");
      plan.RecordLength(32).AllOf();
      plan.Like(name, pool.Char("ab*"));
      plan.Compare(Column::Long("CPU", 0), op::kGT, pool.Long(seed));
      BuiltFilter built(plan, pool);

      PoolBuilder watchPool;
      PlanBuilder watch("WATCH");
      testing::AddChange(watch.RecordLength(32), watchPool, Column::Long("CPU", 0), name);
      watch.Always();
      watch.Search(name, watchPool.Search(SearchList::Of({"abc", "zzz"}, 8)));
      BuiltFilter watcher(watch, watchPool);
      if (built.status() != 0 || watcher.status() != 0) return;

      for (int sample = 0; sample < 2; ++sample) {
        FLT1_BeginSample(built.handle());
        FLT1_BeginSample(watcher.handle());
        for (int i = 0; i < 50; ++i) {
          const Record record = Record(32, ' ').At(0, i + sample).Text(8, i % 2 ? "abc" : "xyz");
          tally->passes += built.Evaluate(record.bytes()) == 0;
          if (i < 2) {
            watcher.element(1).leftResult = 0;
            FLT1_FilterRecord(watcher.handle(), 0, record.bytes().data());
            tally->changes += watcher.element(1).leftResult == 1;  // CPU is one more than a sample ago
          }
        }
        std::uint32_t result = 0;
        FLT1_EndSample(built.handle(), &result);
        FLT1_EndSample(watcher.handle(), &result);
        std::vector<std::uint8_t> buffer(64);
        std::uint32_t length = static_cast<std::uint32_t>(buffer.size());
        while (FLT1_RetrieveRecord(watcher.handle(), buffer.data(), &length) == 0) {
          ++tally->missing;
          length = static_cast<std::uint32_t>(buffer.size());
        }
      }
    }
  };
  std::vector<Tally> tallies(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t * 10, &tallies[static_cast<std::size_t>(t)]);
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    int expected = 0;
    for (int sample = 0; sample < 2; ++sample) {
      for (int i = 0; i < 50; ++i) expected += (i % 2) && i + sample > t * 10;
    }
    const Tally& tally = tallies[static_cast<std::size_t>(t)];
    EXPECT_EQ(tally.passes, 40 * expected) << t;
    EXPECT_EQ(tally.changes, 40 * 2) << "the second sample sees both keys move by one: " << t;
    EXPECT_EQ(tally.missing, 40 * 2) << "zzz goes missing in every sample: " << t;
  }
}

}  // namespace
}  // namespace vexfilt
