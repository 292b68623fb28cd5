// The change control block (a change element's right literal, used in place as working storage) and the
// cache record of one row key (also the layout of the scratch record at the element's left literal).
#ifndef VEXFILT_ROUTINES_CHANGE_CONTROL_H_
#define VEXFILT_ROUTINES_CHANGE_CONTROL_H_

#include <cstddef>
#include <cstdint>

#include "filter/bytes.h"

namespace vexfilt {

struct ChangeCache;

namespace change_control {
inline constexpr std::size_t kOptions = 0;  // 32-bit
inline constexpr std::size_t kBytesHeld = 4;  // 32-bit: sum of the record sizes cached
inline constexpr std::size_t kRecordsHeld = 8;  // 32-bit
inline constexpr std::size_t kKeyColumns = 16;  // 16-bit
inline constexpr std::size_t kKeyStride = 18;  // 16-bit
inline constexpr std::size_t kKeyLength = 20;  // 16-bit
inline constexpr std::size_t kValueAreaLength = 22;  // 16-bit: bytes of the scratch record cleared per use
inline constexpr std::size_t kRecordSize = 24;  // 16-bit
inline constexpr std::size_t kCache = 32;  // reference
inline constexpr std::size_t kCurrentRecord = 48;  // reference
inline constexpr std::size_t kKeyEntries = 64;  // key column entries: offset at +6, length at +8
inline constexpr std::size_t kKeyColumnOffset = 6, kKeyColumnLength = 8, kKeyEntrySize = 10;

inline constexpr std::uint32_t kEnableFire = 0x0400;  // a new key delivers its value itself
inline constexpr std::uint32_t kPercent = 0x4000;  // the change in percent of the previous value

inline std::int16_t Field16(const std::uint8_t* block, std::size_t offset) {
  return LoadUnaligned<std::int16_t>(block + offset);
}
inline ChangeCache* CacheOf(const std::uint8_t* block) { return LoadUnaligned<ChangeCache*>(block + kCache); }
}  // namespace change_control

namespace cache_record {
inline constexpr std::size_t kCurrent = 0;  // 8 bytes: the column's bytes
inline constexpr std::size_t kPrevious = 8;
inline constexpr std::size_t kStamp = 16;  // 32-bit: sample stamp when last seen
inline constexpr std::size_t kEarlierStamp = 20;
inline constexpr std::size_t kKey = 32;
}  // namespace cache_record

}  // namespace vexfilt

#endif  // VEXFILT_ROUTINES_CHANGE_CONTROL_H_
