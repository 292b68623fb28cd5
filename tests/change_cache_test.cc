// The change-value cache: hash codes, growth, the heap limit, ageing by stamp, and its trace messages.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "routines/change_cache.h"
#include "test_support.h"
#include "vexhost.h"
#include "vexplan.h"

namespace vexfilt {
namespace {

using testing::CapturedTrace;

struct TableDeleter {
  void operator()(ChangeCache* table) const { DestroyChangeCache(table); }
};
using Table = std::unique_ptr<ChangeCache, TableDeleter>;

// Stores a record as the change functions lay it out: a VxpChangeRecord with its stamp, then the key.
std::int32_t Put(ChangeCache* table, const std::string& key, std::uint32_t stamp = 0) {
  std::string record(sizeof(VxpChangeRecord), '\0');
  std::memcpy(record.data() + offsetof(VxpChangeRecord, stamp), &stamp, sizeof stamp);
  record += key;
  void* stored = nullptr;
  const std::int32_t st = CachePut(table, record.data(), static_cast<std::uint32_t>(record.size()), sizeof(VxpChangeRecord),
                                   static_cast<std::uint16_t>(key.size()), &stored);
  if (st == 0) {
    EXPECT_EQ(std::memcmp(stored, record.data(), record.size()), 0) << "the table keeps a copy";
  }
  return st;
}

void* Get(ChangeCache* table, const std::string& key) {
  void* value = nullptr;
  return CacheGet(table, key.data(), static_cast<std::uint16_t>(key.size()), &value) == 0 ? value : nullptr;
}

// What HashStats says but the load factor, in one line.
std::string Sizes(ChangeCache* table) {
  const ChangeCacheStats s = HashStats(table);
  return "capacity " + std::to_string(s.capacity) + " threshold " + std::to_string(s.threshold) + " count " +
         std::to_string(s.count) + " heap " + std::to_string(s.currentHeap) + " limit " + std::to_string(s.heapLimit);
}

std::string Key(int i, std::size_t length) {
  std::string key = std::to_string(i);
  return std::string(length - key.size(), '0') + key;
}

TEST(ChangeCache, HashCodesCountBytesAsSignedAndNeverZero) {
  EXPECT_EQ(ChangeKeyHash("\xF0", 1), 0xFFFFFFFFu);
  EXPECT_EQ(ChangeKeyHash("\x80", 1), 0x0FFFFF60u);
  EXPECT_EQ(ChangeKeyHash("\0", 1), 16u);
  EXPECT_EQ(ChangeKeyHash("abc", 3), 0x9783u);
  // Keys long enough that nibbles reach the top and fold back, with bytes past 0x7F among them.
  EXPECT_EQ(ChangeKeyHash("host-0042:process-name", 22), 0x0C4CDDF5u);
  EXPECT_EQ(ChangeKeyHash("\xff\xfe\x80\x7f web\xc3\xa9-0042 db", 18), 0x0F701DC2u);
  EXPECT_EQ(HashBucket(0xFFFFFFFFu, 200), 47u);
  EXPECT_EQ(HashBucket(0xFFFFFFFFu, 401), 327u);
  EXPECT_EQ(EntryShare(16), 48u);
  EXPECT_EQ(EntryShare(17), 64u);
  EXPECT_EQ(EntryShare(0), 32u);
}

TEST(ChangeCache, InitAppliesDefaultsAndTheHeapLimit) {
  Table table(CreateChangeCache(0, 0.0f, 0));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Sizes(table.get()), "capacity 200 threshold 150 count 0 heap 824 limit 0");
  EXPECT_FLOAT_EQ(HashStats(table.get()).loadFactor, 0.75f);
  EXPECT_EQ(CachedKeyCount(table.get()), 0);
  EXPECT_EQ(CreateChangeCache(200, 0.75f, 800), nullptr);
  Table exact(CreateChangeCache(200, 0.75f, 824));
  EXPECT_NE(exact, nullptr);
}

TEST(ChangeCache, GrowsWhenTheCountReachesTheThresholdAndFindsEveryKeyAgain) {
  Table table(CreateChangeCache(200, 0.75f, 0));
  ASSERT_EQ(Put(table.get(), "\xF0"), 0);  // hash 0xFFFFFFFF: bucket 47, and 327 once grown
  void* stored = Get(table.get(), "\xF0");
  EXPECT_EQ(HashBucketOf(table.get(), "\xF0", 1), 47);
  for (int i = 1; i < 150; ++i) ASSERT_EQ(Put(table.get(), Key(i, 8)), 0);
  EXPECT_EQ(Sizes(table.get()), "capacity 200 threshold 150 count 150 heap 8024 limit 0");  // 824 + 150 × 48
  ASSERT_EQ(Put(table.get(), Key(150, 8)), 0);
  // 401 buckets of 4 bytes, 24 of the table itself, 151 entries of 48.
  EXPECT_EQ(Sizes(table.get()), "capacity 401 threshold 300 count 151 heap 8876 limit 0");
  for (int i = 1; i <= 150; ++i) EXPECT_NE(Get(table.get(), Key(i, 8)), nullptr) << i;
  EXPECT_EQ(HashBucketOf(table.get(), "\xF0", 1), 327);
  EXPECT_EQ(Get(table.get(), "\xF0"), stored);
  EXPECT_EQ(Get(table.get(), "\x80"), nullptr);
}

TEST(ChangeCache, HeapLimitRefusesEntriesAndGrowth) {
  Table table(CreateChangeCache(200, 0.75f, 2000));
  for (int i = 0; i < 24; ++i) ASSERT_EQ(Put(table.get(), Key(i, 16)), 0);
  EXPECT_EQ(Put(table.get(), Key(24, 16)), 1000);
  EXPECT_EQ(Sizes(table.get()), "capacity 200 threshold 150 count 24 heap 1976 limit 2000");

  // 64 buckets and one entry fit in 400 bytes, 129 buckets do not: the growth due at the second is refused.
  Table small(CreateChangeCache(64, 1.0f / 64, 400));
  ASSERT_EQ(Put(small.get(), "a"), 0);
  EXPECT_EQ(Put(small.get(), "b"), 1000);
  EXPECT_EQ(Sizes(small.get()), "capacity 64 threshold 1 count 1 heap 328 limit 400");
}

TEST(ChangeCache, SixteenBitCapacityAndCountAreNeverExceeded) {
  Table largest(CreateChangeCache(32767, 0.75f, 0));
  ASSERT_NE(GrowChangeCache(largest.get()), nullptr);
  EXPECT_EQ(HashStats(largest.get()).capacity, 65535);
  Table large(CreateChangeCache(40000, 0.75f, 0));
  EXPECT_EQ(GrowChangeCache(large.get()), nullptr);
  EXPECT_EQ(HashStats(large.get()).capacity, 40000);
  Table eager(CreateChangeCache(40000, 1e-6f, 0));  // threshold 0: the first insertion must grow
  EXPECT_EQ(Put(eager.get(), "a"), 1000);
  EXPECT_EQ(CachedKeyCount(eager.get()), 0);

  Table full(CreateChangeCache(65535, 1.0f, 0));
  std::string key(4, '\0');
  for (int i = 0; i < 65535; ++i) {
    for (int n = 0; n < 4; ++n) key[n] = static_cast<char>((i >> (4 * n)) & 0xF);
    ASSERT_EQ(Put(full.get(), key), 0) << i;
  }
  EXPECT_EQ(CachedKeyCount(full.get()), 65535);
  EXPECT_EQ(Put(full.get(), std::string("\x0F\x0F\x0F\x0F", 4)), 1000);
  EXPECT_EQ(Put(full.get(), key), 4);
}

TEST(ChangeCache, KeysAreKeptOnceAndCleanedByStampAcrossItsWrap) {
  Table table(CreateChangeCache(0, 0.0f, 0));
  ASSERT_EQ(Put(table.get(), "old", 6), 0);
  void* first = Get(table.get(), "old");
  EXPECT_EQ(Put(table.get(), "old", 7), 4) << "a duplicate key changes nothing";
  EXPECT_EQ(Get(table.get(), "old"), first);
  EXPECT_EQ(HashStats(table.get()).currentHeap, 824u + 48);
  ASSERT_EQ(Put(table.get(), "new", 7), 0);
  CleanChangeCache(table.get(), 7);
  EXPECT_EQ(Get(table.get(), "old"), nullptr);
  EXPECT_NE(Get(table.get(), "new"), nullptr);
  EXPECT_EQ(HashStats(table.get()).currentHeap, 824u + 48);
  CleanChangeCache(table.get(), 7);
  EXPECT_EQ(CachedKeyCount(table.get()), 1);
  ASSERT_EQ(Put(table.get(), "before", 0xFFFFFF00u), 0);
  ASSERT_EQ(Put(table.get(), "after", 0x00000100u), 0);
  CleanChangeCache(table.get(), 0x00000100u);
  EXPECT_EQ(Get(table.get(), "before"), nullptr);
  EXPECT_NE(Get(table.get(), "after"), nullptr);
}

// A look-up first tries the entry found after the last one in the sample before; whatever the order, each
// key finds its own record, and no look-up follows a link to an entry that cleaning freed.
TEST(ChangeCache, LookUpsInAnyOrderFindTheirOwnRecordsAcrossCleaning) {
  Table table(CreateChangeCache(0, 0.0f, 0));
  std::vector<std::string> keys;
  for (int i = 0; i < 10; ++i) {
    keys.push_back(Key(i, 8));
    ASSERT_EQ(Put(table.get(), keys.back(), i % 2 == 0 ? 1u : 2u), 0);
  }
  const auto keyOf = [](void* record) { return std::string(static_cast<char*>(record) + sizeof(VxpChangeRecord), 8); };
  std::vector<std::string> reversed(keys.rbegin(), keys.rend());
  for (const auto* order : {&keys, &keys, &reversed, &keys}) {
    for (const std::string& key : *order) {
      void* record = Get(table.get(), key);
      ASSERT_NE(record, nullptr) << key;
      EXPECT_EQ(keyOf(record), key);
    }
  }
  CleanChangeCache(table.get(), 2);  // frees the even keys, each some other key's successor
  for (const std::string& key : keys) {
    void* record = Get(table.get(), key);
    if (key.back() % 2 == 0) {
      EXPECT_EQ(record, nullptr) << key;
    } else {
      ASSERT_NE(record, nullptr) << key;
      EXPECT_EQ(keyOf(record), key);
    }
  }
  EXPECT_EQ(Get(table.get(), "00000042"), nullptr);
}

TEST(ChangeCache, NullTableIsAccepted) {
  CapturedTrace trace;
  EXPECT_EQ(Put(nullptr, "a"), 1000);
  EXPECT_EQ(Get(nullptr, "a"), nullptr);
  EXPECT_EQ(GrowChangeCache(nullptr), nullptr);
  CleanChangeCache(nullptr, 1);
  EXPECT_EQ(CachedKeyCount(nullptr), 0);
  DestroyChangeCache(nullptr);
  EXPECT_TRUE(trace.lines().empty());
}

TEST(ChangeCache, DestroyFreesEveryRecord) {
  ChangeCache* table = CreateChangeCache(0, 0.0f, 0);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(Put(table, Key(i, 5 + i % 20), static_cast<std::uint32_t>(i)), 0);
  CleanChangeCache(table, 100);
  EXPECT_EQ(CachedKeyCount(table), 400);
  DestroyChangeCache(table);  // the leak checker reports anything left behind
}

TEST(ChangeCache, TraceMessages) {
  CapturedTrace trace;
  VEXH_SetTraceLevel("VXO2_HashInit", 0x03);
  VEXH_SetTraceLevel("VXO2_HashPut", 0x01);
  VEXH_SetTraceLevel("VOX2_HashReHash", 0x82);
  VEXH_SetTraceLevel("VOX2_HashClean", 0x01);
  EXPECT_EQ(CreateChangeCache(200, 0.75f, 800), nullptr);
  Table table(CreateChangeCache(0, 0.0f, 1050));
  ASSERT_EQ(Put(table.get(), "\x60", 4), 0);  // the first three share bucket 112
  ASSERT_EQ(Put(table.get(), std::string("\0\0", 2), 5), 0);
  ASSERT_EQ(Put(table.get(), "\xF3\x08", 5), 0);
  ASSERT_EQ(Put(table.get(), "\x01", 5), 0);
  EXPECT_EQ(GrowChangeCache(table.get()), nullptr);
  EXPECT_EQ(Put(table.get(), "\x02", 5), 1000);
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                               "Failure to allocate 824 bytes for hashtable, heap limit: 800",
                               "Capacity:200,LoadFactor:0.75 (Threshold:150),HeapLimit:1050,CurrentHeap:824",
                               "tablesize = 1 , current heap = 872",
                               "tablesize = 2 , current heap = 920",
                               "tablesize = 3 , current heap = 968",
                               "tablesize = 4 , current heap = 1016",
                               "Failure to allocate 1604 bytes for hashtable, heap limit: 1050, current heap: 1628",
                               "Failure to allocate 48 bytes for hashtable, heap limit: 1050, current heap: 1016",
                           }));
  Table grown(CreateChangeCache(0, 0.0f, 0));
  for (const char* key : {"\x60", "\xF3\x08", "\x01"}) ASSERT_EQ(Put(grown.get(), key, 5), 0);
  ASSERT_EQ(Put(grown.get(), std::string("\0\0", 2), 5), 0);
  trace.Clear();
  ASSERT_NE(GrowChangeCache(grown.get()), nullptr);
  EXPECT_EQ(trace.lines(), (std::vector<std::string>{
                               "OldCapacity:200, NewCapacity:401,LoadFactor:0.75,(Threshold:300),CurrentSize:4",
                               "Total HashBuckets Used:2,Collision Buckets: 2",
                               "MaxCollisionDepth:3, AvgCollisionDepth:2",
                           }));
  trace.Clear();
  CleanChangeCache(table.get(), 5);
  ASSERT_EQ(trace.lines().size(), 4u);
  EXPECT_EQ(trace.lines()[0], "at VXO2_HashClean entry, tablesize = 4 , current heap = 1016, timestamp = 5");
  EXPECT_EQ(trace.lines()[1], "removing entry with timestamp = 4");
  EXPECT_EQ(trace.lines()[2].rfind("00000000  60", 0), 0u) << trace.lines()[2];
  EXPECT_EQ(trace.lines()[3], "at VXO2_HashClean exit, tablesize = 3 , current heap = 968");
}

TEST(ChangeCache, EventsAtBit40ExceptCountAndDestroy) {
  CapturedTrace trace;
  VEXH_SetTraceLevel(nullptr, 0x40);
  ChangeCache* table = CreateChangeCache(0, 0.0f, 0);
  trace.Clear();
  EXPECT_EQ(Get(table, "x"), nullptr);
  ASSERT_EQ(trace.lines().size(), 2u);
  EXPECT_EQ(trace.lines()[0].rfind("VXO2_HashGet entry (vexxoc2 line ", 0), 0u);
  EXPECT_EQ(trace.lines()[1].rfind("VXO2_HashGet exit rc=207 (vexxoc2 line ", 0), 0u);
  trace.Clear();
  CachedKeyCount(table);
  DestroyChangeCache(table);
  EXPECT_TRUE(trace.lines().empty());
}

}  // namespace
}  // namespace vexfilt
