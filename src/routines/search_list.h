// The search list of a search element: a 16-byte header and chained entries, each a 12-byte header and
// its key. It lies in the Filter's pool copy, or in a block the Filter owns when read from a file.
#ifndef VEXFILT_ROUTINES_SEARCH_LIST_H_
#define VEXFILT_ROUTINES_SEARCH_LIST_H_

#include <cstddef>
#include <cstdint>

#include "filter/bytes.h"

namespace vexfilt::search_list {

// List header.
inline constexpr std::size_t kEntryCount = 2;  // 16-bit
inline constexpr std::size_t kListFlags = 4;  // 32-bit
inline constexpr std::size_t kDataOffset = 10;  // 16-bit: where retrieval writes a key in the record
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::uint32_t kContinueAfterMatch = 0x8;
inline constexpr std::size_t kFileMarkOffset = 28;  // the first key's first byte: '@' names a file

// Entry header.
inline constexpr std::size_t kSize = 0;  // 16-bit: distance to the next entry
inline constexpr std::size_t kMatchFlags = 2;
inline constexpr std::size_t kEntryType = 3;
inline constexpr std::size_t kCompareOffset = 4;  // 16-bit
inline constexpr std::size_t kCompareLength = 6;  // 16-bit
inline constexpr std::size_t kKeyLength = 10;  // 16-bit; with the key, a varying column value
inline constexpr std::size_t kKey = 12;
inline constexpr std::size_t kEntryHeaderSize = 12;

inline constexpr std::uint8_t kMatched = 0x80;
inline constexpr std::uint8_t kVarying = 0x80;  // entry type: the column has a length prefix
inline constexpr std::uint8_t kLocaleAware = 0x10;
inline constexpr std::uint8_t kPatternBits = 0x0F;

enum class Kind { kLiteral, kSubstring, kPrefix, kPattern, kAny };

constexpr Kind KindOf(std::uint8_t entryType) {
  const std::uint8_t bits = entryType & kPatternBits;
  if (bits == 0) return Kind::kLiteral;
  if ((bits & 0x8) || (bits & 0x6) == 0x6) return Kind::kSubstring;
  if (bits & 0x4) return Kind::kPrefix;
  if (bits & 0x1) return Kind::kPattern;
  return Kind::kAny;
}

class Entry {
 public:
  explicit Entry(std::uint8_t* start) : start_(start) {}
  std::uint8_t* start() const { return start_; }
  std::int16_t size() const { return LoadUnaligned<std::int16_t>(start_ + kSize); }
  std::uint8_t matchFlags() const { return start_[kMatchFlags]; }
  void set_matchFlags(std::uint8_t flags) const { start_[kMatchFlags] = flags; }
  bool matched() const { return (matchFlags() & kMatched) != 0; }
  std::uint8_t type() const { return start_[kEntryType]; }
  std::int16_t compareOffset() const { return LoadUnaligned<std::int16_t>(start_ + kCompareOffset); }
  std::int16_t compareLength() const { return LoadUnaligned<std::int16_t>(start_ + kCompareLength); }
  std::int16_t keyLength() const { return LoadUnaligned<std::int16_t>(start_ + kKeyLength); }
  std::uint8_t* key() const { return start_ + kKey; }
  Entry Next() const { return Entry(start_ + size()); }

 private:
  std::uint8_t* start_;
};

inline std::int16_t EntryCountOf(const std::uint8_t* list) { return LoadUnaligned<std::int16_t>(list + kEntryCount); }
inline Entry FirstEntry(std::uint8_t* list) { return Entry(list + kHeaderSize); }

// True when the list's header and every one of its counted entries lie within `extent` bytes, each entry
// long enough for its key and its compared part inside the key: what search and retrieval rely on.
bool Fits(const std::uint8_t* list, std::size_t extent);

}  // namespace vexfilt::search_list

#endif  // VEXFILT_ROUTINES_SEARCH_LIST_H_
