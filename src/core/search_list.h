// The search list of a search element: a 16-byte header and chained entries, each a 12-byte header and
// its key (VxpSearchListHeader and VxpSearchEntry in vexplan.h). It lies in the Filter's pool copy, or in
// a block the Filter owns when read from a file.
#ifndef VEXFILT_CORE_SEARCH_LIST_H_
#define VEXFILT_CORE_SEARCH_LIST_H_

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"
#include "vexplan.h"

namespace vexfilt::search_list {

// List header (VxpSearchListHeader).
inline constexpr std::size_t kEntryCount = offsetof(VxpSearchListHeader, entryCount);  // 16-bit
inline constexpr std::size_t kListFlags = offsetof(VxpSearchListHeader, listFlags);  // 32-bit
inline constexpr std::size_t kDataOffset = offsetof(VxpSearchListHeader, dataOffset);  // 16-bit: where retrieval writes a key in the record
inline constexpr std::size_t kHeaderSize = sizeof(VxpSearchListHeader);
inline constexpr std::uint32_t kContinueAfterMatch = VXP_SEARCH_LIST_CONTINUE_AFTER_MATCH;

// Entry header (VxpSearchEntry).
inline constexpr std::size_t kSize = offsetof(VxpSearchEntry, size);  // 16-bit: distance to the next entry
inline constexpr std::size_t kMatchFlags = offsetof(VxpSearchEntry, matchFlags);
inline constexpr std::size_t kEntryType = offsetof(VxpSearchEntry, entryType);
inline constexpr std::size_t kCompareOffset = offsetof(VxpSearchEntry, compareOffset);  // 16-bit
inline constexpr std::size_t kCompareLength = offsetof(VxpSearchEntry, compareLength);  // 16-bit
inline constexpr std::size_t kKeyLength = offsetof(VxpSearchEntry, keyLength);  // 16-bit; with the key, a varying column value
inline constexpr std::size_t kEntryHeaderSize = sizeof(VxpSearchEntry);
inline constexpr std::size_t kKey = kEntryHeaderSize;
inline constexpr std::size_t kFileMarkOffset = kHeaderSize + kKey;  // the first key's first byte: '@' names a file
inline constexpr std::uint8_t kFileMark = VXP_SEARCH_FILE_MARK;

inline constexpr std::uint8_t kMatched = VXP_SEARCH_MATCHED;
inline constexpr std::uint8_t kVarying = VXP_SEARCH_VARYING;  // entry type: the column has a length prefix
inline constexpr std::uint8_t kLocaleAware = VXP_SEARCH_LOCALE;
inline constexpr std::uint8_t kPatternBits = VXP_SEARCH_KIND_MASK;

enum class Kind { kLiteral, kSubstring, kPrefix, kPattern, kAny };

constexpr Kind KindOf(std::uint8_t entryType) {
  constexpr std::uint8_t kPrefixAndAny = VXP_SEARCH_KIND_PREFIX | VXP_SEARCH_KIND_ANY;
  const std::uint8_t bits = entryType & kPatternBits;
  if (bits == VXP_SEARCH_KIND_LITERAL) return Kind::kLiteral;
  if ((bits & VXP_SEARCH_KIND_SUBSTRING) || (bits & kPrefixAndAny) == kPrefixAndAny) return Kind::kSubstring;
  if (bits & VXP_SEARCH_KIND_PREFIX) return Kind::kPrefix;
  if (bits & VXP_SEARCH_KIND_PATTERN) return Kind::kPattern;
  return Kind::kAny;
}
static_assert(KindOf(0x06) == Kind::kSubstring && KindOf(0x0C) == Kind::kSubstring && KindOf(0x05) == Kind::kPrefix &&
              KindOf(0x03) == Kind::kPattern && KindOf(0x02) == Kind::kAny && KindOf(0x90) == Kind::kLiteral);

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

#endif  // VEXFILT_CORE_SEARCH_LIST_H_
