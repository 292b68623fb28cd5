// The change control block (a change element's right literal, used in place as working storage) and the
// cache record of one row key (also the layout of the scratch record at the element's left literal): the
// VxpChangeControl, VxpChangeKey and VxpChangeRecord of vexplan.h, as byte offsets.
#ifndef VEXFILT_CORE_CHANGE_CONTROL_H_
#define VEXFILT_CORE_CHANGE_CONTROL_H_

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "vexplan.h"

namespace vexfilt {

struct ChangeCache;

// Offsets in the block (VxpChangeControl) and in each key column entry (VxpChangeKey).
namespace change_control {
inline constexpr std::size_t kOptions = offsetof(VxpChangeControl, options);  // 32-bit
inline constexpr std::size_t kBytesHeld = offsetof(VxpChangeControl, bytesHeld);  // 32-bit: sum of the record sizes cached
inline constexpr std::size_t kRecordsHeld = offsetof(VxpChangeControl, recordsHeld);  // 32-bit
inline constexpr std::size_t kKeyColumns = offsetof(VxpChangeControl, keyCount);  // 16-bit
inline constexpr std::size_t kKeyStride = offsetof(VxpChangeControl, keyStride);  // 16-bit
inline constexpr std::size_t kKeyLength = offsetof(VxpChangeControl, keyLength);  // 16-bit
inline constexpr std::size_t kValueAreaLength = offsetof(VxpChangeControl, valueAreaLength);  // 16-bit: bytes of the scratch record cleared per use
inline constexpr std::size_t kRecordSize = offsetof(VxpChangeControl, recordSize);  // 16-bit
inline constexpr std::size_t kCache = offsetof(VxpChangeControl, cache);  // reference
inline constexpr std::size_t kCurrentRecord = offsetof(VxpChangeControl, currentRecord);  // reference
inline constexpr std::size_t kKeyEntries = sizeof(VxpChangeControl);  // key column entries, kKeyStride apart
inline constexpr std::size_t kKeyColumnOffset = offsetof(VxpChangeKey, columnOffset);
inline constexpr std::size_t kKeyColumnLength = offsetof(VxpChangeKey, columnLength);
// What creation reads of a key column entry, and so the smallest stride it accepts.
inline constexpr std::size_t kKeyEntrySize = kKeyColumnLength + sizeof(VxpChangeKey::columnLength);

inline constexpr std::uint32_t kEnableFire = VXP_CHANGE_ENABLE_FIRE;  // a new key delivers its value itself
inline constexpr std::uint32_t kPercent = VXP_CHANGE_PERCENT;  // the change in percent of the previous value

inline std::int16_t Field16(const std::uint8_t* block, std::size_t offset) {
  return LoadUnaligned<std::int16_t>(block + offset);
}
inline ChangeCache* CacheOf(const std::uint8_t* block) { return LoadUnaligned<ChangeCache*>(block + kCache); }
}  // namespace change_control

namespace cache_record {
inline constexpr std::size_t kCurrent = offsetof(VxpChangeRecord, current);  // 8 bytes: the column's bytes
inline constexpr std::size_t kPrevious = offsetof(VxpChangeRecord, previous);
inline constexpr std::size_t kStamp = offsetof(VxpChangeRecord, stamp);  // 32-bit: sample stamp when last seen
inline constexpr std::size_t kEarlierStamp = offsetof(VxpChangeRecord, earlierStamp);
inline constexpr std::size_t kKey = sizeof(VxpChangeRecord);
}  // namespace cache_record

}  // namespace vexfilt

#endif  // VEXFILT_CORE_CHANGE_CONTROL_H_
