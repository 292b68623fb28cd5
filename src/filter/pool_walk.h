// Walks the literal entries of a pool copy, bounded by the pool's length: an entry is visited only when its
// header and its whole entry length lie inside the pool, and the walk ends at the first entry that does
// not, or whose entry length would not advance past its own header.
#ifndef VEXFILT_FILTER_POOL_WALK_H_
#define VEXFILT_FILTER_POOL_WALK_H_

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "core/plan_format.h"

namespace vexfilt {

// One literal entry inside a pool. Entries follow each other at any byte offset, so fields are read
// through memcpy, never through a LiteralEntry pointer.
class EntryView {
 public:
  explicit EntryView(std::uint8_t* start) : start_(start) {}

  std::int16_t id() const { return Field(offsetof(LiteralEntry, id)); }
  std::int16_t entryLength() const { return Field(offsetof(LiteralEntry, entryLength)); }
  std::int16_t dataLength() const { return Field(offsetof(LiteralEntry, dataLength)); }
  std::int16_t dataType() const { return Field(offsetof(LiteralEntry, dataType)); }
  std::int16_t valueLength() const { return Field(offsetof(LiteralEntry, valueLength)); }
  std::int16_t kind() const { return Field(offsetof(LiteralEntry, kind)); }
  std::int16_t alternateLength() const { return Field(offsetof(LiteralEntry, alternateLength)); }
  std::uint8_t* start() const { return start_; }
  std::uint8_t* data() const { return start_ + kEntryHeaderSize; }
  // Bytes of data the entry's own length leaves room for.
  std::size_t room() const { return static_cast<std::size_t>(entryLength()) - kEntryHeaderSize; }

 private:
  std::int16_t Field(std::size_t offset) const { return LoadUnaligned<std::int16_t>(start_ + offset); }
  std::uint8_t* start_;
};

class PoolWalk {
 public:
  PoolWalk(std::uint8_t* pool, std::size_t poolLength)
      : pool_(pool), length_(poolLength), remaining_(EntryCountOf(pool, poolLength)), offset_(kPoolHeaderSize) {}

  // Moves to the next entry; false at the end of the walk.
  bool Next(EntryView* entry) {
    if (remaining_ <= 0 || offset_ + kEntryHeaderSize > length_) return false;
    EntryView next(pool_ + offset_);
    const std::int16_t entryLength = next.entryLength();
    if (entryLength < static_cast<std::int16_t>(kEntryHeaderSize) || offset_ + entryLength > length_) return false;
    offset_ += static_cast<std::size_t>(entryLength);
    --remaining_;
    *entry = next;
    return true;
  }

 private:
  static int EntryCountOf(const std::uint8_t* pool, std::size_t length) {
    if (length < kPoolHeaderSize) return 0;
    return LoadUnaligned<std::int16_t>(pool + offsetof(PoolHeader, entryCount));
  }

  std::uint8_t* pool_;
  std::size_t length_;
  int remaining_;
  std::size_t offset_;
};

}  // namespace vexfilt

#endif  // VEXFILT_FILTER_POOL_WALK_H_
