// The change-value cache: a chained hash table from a row key to the cache record that holds the key. Each
// record is copied into one block with the table's entry for it, the entry first: a look-up reaches the
// stored hash, the key and the values in one block, where an entry of its own and a record of its own cost
// two dependent loads from memory. Memory is accounted in the table itself (its buckets plus a share per
// entry) against a heap limit.
#ifndef VEXFILT_ROUTINES_CHANGE_CACHE_H_
#define VEXFILT_ROUTINES_CHANGE_CACHE_H_

#include <cstddef>
#include <cstdint>

#include "vexplan.h"

namespace vexfilt {

struct ChangeCache;

// Read-only view of a table's accounting.
struct ChangeCacheStats {
  std::uint16_t capacity;
  std::uint16_t count;
  std::uint16_t threshold;  // the table grows when the count reaches it
  float loadFactor;
  std::uint32_t heapLimit;  // 0: no limit
  std::uint32_t currentHeap;
};

inline constexpr std::uint16_t kDefaultCacheCapacity = 200;
inline constexpr float kDefaultCacheLoadFactor = 0.75f;
inline constexpr std::size_t kCacheStampOffset = offsetof(VxpChangeRecord, stamp);  // the record's 32-bit stamp of the sample that last saw it

// A new empty table, or null when the heap limit does not cover its buckets or memory is short.
// Capacity 0 means 200; a load factor not above 0 means 0.75; heap limit 0 means none.
ChangeCache* CreateChangeCache(std::uint16_t capacity, float loadFactor, std::uint32_t heapLimit);

// CachePut's answer when no block could be had for the record.
inline constexpr std::int32_t kNoRecordBlock = -1;

// Stores a copy of the `recordSize` bytes at `record`, whose key is the `keyLength` bytes at `keyOffset`:
// 0 stored, with `*stored` the copy, which the table owns; 4 the key is present (nothing stored); 1000
// refused: heap limit, or the table is full or cannot grow; kNoRecordBlock when memory is short, which is
// found before the table is looked at.
std::int32_t CachePut(ChangeCache* table, const void* record, std::uint32_t recordSize, std::uint16_t keyOffset,
                      std::uint16_t keyLength, void** stored);

// 0 with `*value` set to the key's record, or 207 when absent. The record stays valid until the next cleaning.
std::int32_t CacheGet(ChangeCache* table, const void* key, std::uint16_t keyLength, void** value);

// Grows the table to twice its capacity plus one; null (table unchanged) when that is refused.
ChangeCache* GrowChangeCache(ChangeCache* table);

// Removes, and frees, every entry whose record is stamped before `stamp`.
void CleanChangeCache(ChangeCache* table, std::uint32_t stamp);

std::uint16_t CachedKeyCount(const ChangeCache* table);

// Frees every record and entry, then the table.
void DestroyChangeCache(ChangeCache* table);

// Never 0: a key that computes to 0 gets 0xFFFFFFFF.
std::uint32_t ChangeKeyHash(const void* key, std::size_t length);

// Bytes accounted for one entry: key length + 32, rounded up to a multiple of 16.
std::uint32_t EntryShare(std::size_t keyLength);

inline std::uint32_t HashBucket(std::uint32_t hash, std::uint16_t capacity) { return (hash & 0x7FFFFFFFu) % capacity; }

// Zeroes for a null table.
ChangeCacheStats HashStats(const ChangeCache* table);

// The bucket whose chain holds the key, or -1; walks every bucket, so meant for checks, not lookups.
std::int32_t HashBucketOf(const ChangeCache* table, const void* key, std::uint16_t keyLength);

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_CHANGE_CACHE_H_
