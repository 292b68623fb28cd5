#include "routines/change_cache.h"

#include <cstdlib>
#include <cstring>

#include "core/memory.h"
#include "core/status.h"
#include "host/trace.h"
#include "routines/byte_strings.h"

namespace vexfilt {

// The head of a record's block; the record follows it.
struct CacheEntry {
  CacheEntry* next;  // in the bucket's chain
  // The entry found right after this one, while `successorEra` is the table's era: a sample's rows come in
  // the order of the last sample's, mostly, so the next look-up tries it before hashing.
  CacheEntry* successor;
  std::uint64_t successorEra;
  std::uint32_t hash;
  std::uint16_t keyLength;
  std::uint16_t keyOffset;  // in the record
  std::uint8_t* record() { return reinterpret_cast<std::uint8_t*>(this + 1); }
  const std::uint8_t* key() const { return reinterpret_cast<const std::uint8_t*>(this + 1) + keyOffset; }
};
static_assert(sizeof(CacheEntry) == 32, "the record after the entry stays as aligned as the block");

struct ChangeCache {
  std::uint16_t capacity;
  std::uint16_t count;
  float loadFactor;
  std::uint16_t threshold;
  std::uint32_t heapLimit;
  std::uint32_t currentHeap;
  CacheEntry** buckets;
  // Advanced whenever entries are freed: a successor, or the last entry found, from an earlier era may be
  // gone. 64 bits, so that an era never comes round again.
  std::uint64_t era;
  CacheEntry* lastFound;  // valid in `lastFoundEra` only
  std::uint64_t lastFoundEra;
};

namespace {

constexpr std::int32_t kAlreadyPresent = 4;
constexpr std::uint32_t kMaxCapacity = 0xFFFF;
constexpr std::uint16_t kMaxCount = 0xFFFF;

constexpr const char* kUnit = "vxo2hash";

std::uint32_t OwnShare(std::uint32_t capacity) { return capacity * 4 + 24; }

// Float arithmetic, as the load factor is a float; clamped because the field is 16-bit.
std::uint16_t ThresholdOf(std::uint32_t capacity, float loadFactor) {
  const float product = static_cast<float>(capacity) * loadFactor;
  if (!(product < 65535.0f)) return 0xFFFF;
  return static_cast<std::uint16_t>(product);
}

std::uint32_t StampOf(CacheEntry& entry) {
  std::uint32_t stamp;
  std::memcpy(&stamp, entry.record() + kCacheStampOffset, sizeof stamp);
  return stamp;
}

// The entry the next look-up's key is compared with first is the one found after this one.
void RememberFound(ChangeCache& table, CacheEntry* entry) {
  table.lastFound = entry;
  table.lastFoundEra = table.era;
}

bool SameKey(const CacheEntry& entry, const void* key, std::uint16_t keyLength) {
  return entry.keyLength == keyLength && CompareBytes(entry.key(), static_cast<const std::uint8_t*>(key), keyLength) == 0;
}

}  // namespace

std::uint32_t ChangeKeyHash(const void* key, std::size_t length) {
  const auto* bytes = static_cast<const std::int8_t*>(key);
  std::uint32_t h = static_cast<std::uint32_t>(length);
  // Each step shifts a byte in and folds the nibble that reaches the top into bits 4 to 7. Written without
  // the branch on that nibble, which the processor guessed wrong about as often as not: 17.5 ns became 13.5
  // for a 16-byte key. The steps stay serial, each needing the last: 16 bytes cost about 60 cycles.
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint32_t shifted = h * 16 + static_cast<std::uint32_t>(static_cast<std::int32_t>(bytes[i]));
    h = (shifted & 0x0FFFFFFFu) ^ ((shifted >> 24) & 0xF0u);
  }
  // 0 is kept free so that every stored hash is non-zero.
  return h == 0 ? 0xFFFFFFFFu : h;
}

std::uint32_t EntryShare(std::size_t keyLength) {
  return static_cast<std::uint32_t>((keyLength + 32 + 15) & ~static_cast<std::size_t>(15));
}

ChangeCache* CreateChangeCache(std::uint16_t capacity, float loadFactor, std::uint32_t heapLimit) {
  static TraceBlock block{"VXO2_HashInit", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (capacity == 0) capacity = kDefaultCacheCapacity;
  if (!(loadFactor > 0.0f)) loadFactor = kDefaultCacheLoadFactor;
  const std::uint32_t required = OwnShare(capacity);
  if (heapLimit != 0 && heapLimit < required) {
    if (trace.HasAny(trace_bit::k01 | trace_bit::k80)) {
      TracePrintf(block, __LINE__, "Failure to allocate %d bytes for hashtable, heap limit: %d",
                  static_cast<int>(required), static_cast<int>(heapLimit));
    }
    return nullptr;
  }
  auto* table = static_cast<ChangeCache*>(AllocateBlock(sizeof(ChangeCache), kUnit, __LINE__));
  if (table == nullptr) return nullptr;
  table->buckets = static_cast<CacheEntry**>(AllocateZeroedBlock(capacity * sizeof(CacheEntry*), kUnit, __LINE__));
  if (table->buckets == nullptr) {
    ReleaseBlock(table, kUnit, __LINE__);
    return nullptr;
  }
  table->capacity = capacity;
  table->count = 0;
  table->era = 0;
  table->lastFound = nullptr;
  table->lastFoundEra = 0;
  table->loadFactor = loadFactor;
  table->threshold = ThresholdOf(capacity, loadFactor);
  table->heapLimit = heapLimit;
  table->currentHeap = required;
  if (trace.Has(trace_bit::k02)) {
    TracePrintf(block, __LINE__, "Capacity:%d,LoadFactor:%.2f (Threshold:%d),HeapLimit:%d,CurrentHeap:%d",
                table->capacity, static_cast<double>(table->loadFactor), table->threshold,
                static_cast<int>(table->heapLimit), static_cast<int>(table->currentHeap));
  }
  return table;
}

std::int32_t CachePut(ChangeCache* table, const void* record, std::uint32_t recordSize, std::uint16_t keyOffset,
                      std::uint16_t keyLength, void** stored) {
  static TraceBlock block{"VXO2_HashPut", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (table == nullptr) return trace.Exit(status::kHeapExhausted, __LINE__);
  // The block first, as the record was always had before the table was asked.
  auto* entry = static_cast<CacheEntry*>(AllocateBlock(sizeof(CacheEntry) + recordSize, kUnit, __LINE__));
  if (entry == nullptr) return trace.Exit(kNoRecordBlock, __LINE__);
  std::memcpy(entry->record(), record, recordSize);
  const auto refuse = [&](std::int32_t st, int line) {
    ReleaseBlock(entry, kUnit, line);
    return trace.Exit(st, line);
  };
  const void* key = static_cast<const std::uint8_t*>(record) + keyOffset;
  const std::uint32_t hash = ChangeKeyHash(key, keyLength);
  for (const CacheEntry* e = table->buckets[HashBucket(hash, table->capacity)]; e != nullptr; e = e->next) {
    if (e->hash == hash && SameKey(*e, key, keyLength)) return refuse(kAlreadyPresent, __LINE__);
  }
  // The count is 16-bit: a full table takes nothing more.
  if (table->count == kMaxCount) return refuse(status::kHeapExhausted, __LINE__);
  if (table->count >= table->threshold && GrowChangeCache(table) == nullptr) return refuse(status::kHeapExhausted, __LINE__);
  const std::uint32_t share = EntryShare(keyLength);
  if (table->heapLimit != 0 &&
      static_cast<std::uint64_t>(table->currentHeap) + share > static_cast<std::uint64_t>(table->heapLimit)) {
    if (trace.HasAny(trace_bit::k01 | trace_bit::k80)) {
      TracePrintf(block, __LINE__, "Failure to allocate %d bytes for hashtable, heap limit: %d, current heap: %d",
                  static_cast<int>(share), static_cast<int>(table->heapLimit), static_cast<int>(table->currentHeap));
    }
    return refuse(status::kHeapExhausted, __LINE__);
  }
  entry->next = nullptr;
  entry->successor = nullptr;
  entry->successorEra = table->era;
  entry->hash = hash;
  entry->keyLength = keyLength;
  entry->keyOffset = keyOffset;
  *stored = entry->record();
  RememberFound(*table, entry);
  // Appended, so that a chain keeps the order of first sight.
  CacheEntry** link = &table->buckets[HashBucket(hash, table->capacity)];
  while (*link != nullptr) link = &(*link)->next;
  *link = entry;
  table->count += 1;
  table->currentHeap += share;
  if (trace.Has(trace_bit::k01)) {
    TracePrintf(block, __LINE__, "tablesize = %d , current heap = %d", table->count,
                static_cast<int>(table->currentHeap));
  }
  return trace.Exit(status::kOk, __LINE__);
}

std::int32_t CacheGet(ChangeCache* table, const void* key, std::uint16_t keyLength, void** value) {
  static TraceBlock block{"VXO2_HashGet", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (table == nullptr) return trace.Exit(status::kNoMatch, __LINE__);
  CacheEntry* last = table->lastFoundEra == table->era ? table->lastFound : nullptr;
  table->lastFound = nullptr;
  // Keys are unique in the table: an entry with this key is the one the chain would lead to. Its address is
  // known at once, where the chain's waits for the hash, a serial chain of 4-cycle steps.
  CacheEntry* found = last != nullptr && last->successorEra == table->era ? last->successor : nullptr;
  if (found == nullptr || !SameKey(*found, key, keyLength)) {
    found = nullptr;
    const std::uint32_t hash = ChangeKeyHash(key, keyLength);
    for (CacheEntry* e = table->buckets[HashBucket(hash, table->capacity)]; e != nullptr; e = e->next) {
      // Equal keys have equal codes: comparing the code first spares the other entries of the chain the
      // compare of their keys.
      if (e->hash == hash && SameKey(*e, key, keyLength)) {
        found = e;
        break;
      }
    }
    if (found == nullptr) return trace.Exit(status::kNoMatch, __LINE__);
    if (last != nullptr) {
      last->successor = found;
      last->successorEra = table->era;
    }
  }
  RememberFound(*table, found);
  if (value != nullptr) *value = found->record();
  return trace.Exit(status::kOk, __LINE__);
}

ChangeCache* GrowChangeCache(ChangeCache* table) {
  static TraceBlock block{"VOX2_HashReHash", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (table == nullptr) return nullptr;
  const std::uint32_t oldCapacity = table->capacity;
  const std::uint32_t newCapacity = oldCapacity * 2 + 1;
  // The capacity is 16-bit: beyond 32767 buckets the table stays as it is.
  if (newCapacity > kMaxCapacity) return nullptr;
  const std::uint32_t required = OwnShare(newCapacity);
  if (table->heapLimit != 0 && table->heapLimit < required) {
    if (trace.HasAny(trace_bit::k01 | trace_bit::k80)) {
      TracePrintf(block, __LINE__, "Failure to allocate %d bytes for hashtable, heap limit: %d, current heap: %d",
                  static_cast<int>(newCapacity * 4), static_cast<int>(table->heapLimit), static_cast<int>(required));
    }
    return nullptr;
  }
  auto** buckets = static_cast<CacheEntry**>(AllocateZeroedBlock(newCapacity * sizeof(CacheEntry*), kUnit, __LINE__));
  if (buckets == nullptr) return nullptr;

  std::uint32_t used = 0, collisions = 0, positionSum = 0, longest = 0;
  for (std::uint32_t b = 0; b < oldCapacity; ++b) {
    std::uint32_t position = 0;
    for (CacheEntry* e = table->buckets[b]; e != nullptr;) {
      CacheEntry* next = e->next;
      ++position;
      if (position > 1) {
        ++collisions;
        positionSum += position;
      }
      CacheEntry*& head = buckets[HashBucket(e->hash, static_cast<std::uint16_t>(newCapacity))];
      e->next = head;
      head = e;
      e = next;
    }
    if (position > 0) ++used;
    if (position > longest) longest = position;
  }
  ReleaseBlock(table->buckets, kUnit, __LINE__);

  const std::uint16_t threshold = ThresholdOf(newCapacity, table->loadFactor);
  if (trace.Has(trace_bit::k02)) {
    TracePrintf(block, __LINE__, "OldCapacity:%d, NewCapacity:%d,LoadFactor:%.2f,(Threshold:%d),CurrentSize:%d",
                static_cast<int>(oldCapacity), static_cast<int>(newCapacity),
                static_cast<double>(table->loadFactor), threshold, table->count);
    TracePrintf(block, __LINE__, "Total HashBuckets Used:%d,Collision Buckets: %d", static_cast<int>(used),
                static_cast<int>(collisions));
    TracePrintf(block, __LINE__, "MaxCollisionDepth:%d, AvgCollisionDepth:%d", static_cast<int>(longest),
                static_cast<int>(collisions == 0 ? 1 : positionSum / collisions));
  }
  table->threshold = threshold;
  table->capacity = static_cast<std::uint16_t>(newCapacity);
  table->currentHeap = table->currentHeap - oldCapacity * 4 + newCapacity * 4;
  table->buckets = buckets;
  return table;
}

void CleanChangeCache(ChangeCache* table, std::uint32_t stamp) {
  static TraceBlock block{"VOX2_HashClean", kRoutineUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  if (table == nullptr) return;
  const bool verbose = trace.Has(trace_bit::k01);
  if (verbose) {
    TracePrintf(block, __LINE__, "at VXO2_HashClean entry, tablesize = %d , current heap = %d, timestamp = %d",
                table->count, static_cast<int>(table->currentHeap), static_cast<int>(stamp));
  }
  for (std::uint32_t b = 0; b < table->capacity; ++b) {
    CacheEntry** link = &table->buckets[b];
    while (CacheEntry* e = *link) {
      // Stamps are serial numbers that wrap: "before" is a negative 32-bit distance, so ageing keeps
      // working when the sample stamp passes 0xFFFFFFFF.
      const std::uint32_t entryStamp = StampOf(*e);
      if (static_cast<std::int32_t>(entryStamp - stamp) >= 0) {
        link = &e->next;
        continue;
      }
      if (verbose) {
        TracePrintf(block, __LINE__, "removing entry with timestamp = %d", static_cast<int>(entryStamp));
        TraceDump(block, __LINE__, e->key(), e->keyLength);
      }
      *link = e->next;
      table->count -= 1;
      table->currentHeap -= EntryShare(e->keyLength);
      table->era += 1;
      ReleaseBlock(e, kUnit, __LINE__);
    }
  }
  if (verbose) {
    TracePrintf(block, __LINE__, "at VXO2_HashClean exit, tablesize = %d , current heap = %d", table->count,
                static_cast<int>(table->currentHeap));
  }
}

std::uint16_t CachedKeyCount(const ChangeCache* table) { return table == nullptr ? 0 : table->count; }

void DestroyChangeCache(ChangeCache* table) {
  if (table == nullptr) return;
  for (std::uint32_t b = 0; b < table->capacity; ++b) {
    for (CacheEntry* e = table->buckets[b]; e != nullptr;) {
      CacheEntry* next = e->next;
      ReleaseBlock(e, kUnit, __LINE__);
      e = next;
    }
  }
  ReleaseBlock(table->buckets, kUnit, __LINE__);
  ReleaseBlock(table, kUnit, __LINE__);
}

ChangeCacheStats HashStats(const ChangeCache* table) {
  if (table == nullptr) return ChangeCacheStats{0, 0, 0, 0.0f, 0, 0};
  return ChangeCacheStats{table->capacity,  table->count,     table->threshold,
                          table->loadFactor, table->heapLimit, table->currentHeap};
}

std::int32_t HashBucketOf(const ChangeCache* table, const void* key, std::uint16_t keyLength) {
  if (table == nullptr) return -1;
  for (std::uint32_t b = 0; b < table->capacity; ++b) {
    for (const CacheEntry* e = table->buckets[b]; e != nullptr; e = e->next) {
      if (SameKey(*e, key, keyLength)) return static_cast<std::int32_t>(b);
    }
  }
  return -1;
}

}  // namespace vexfilt
