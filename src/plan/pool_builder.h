// Builds Literal Pools: a header and chained literal entries, in the local byte order.
//
//   PoolBuilder pool;
//   Literal limit = pool.Long(90);                         // id 1
//   Literal name = pool.Char("INIT", 8);                   // id 2, "INIT    "
//   Literal odd = pool.Short(7, {.valueLength = 5});       // a field overridden for a test of bad input
//   std::vector<std::uint8_t> bytes = pool.Build();
#ifndef VEXFILT_PLAN_POOL_BUILDER_H_
#define VEXFILT_PLAN_POOL_BUILDER_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plan_format.h"
#include "plan/column.h"

namespace vexfilt::plan {

// What an element needs to refer to a literal entry.
struct Literal {
  std::int16_t id = 0;
  std::int16_t dataType = 0;  // as written in the entry
  std::int16_t length = 0;    // bytes of data the builder wrote, whatever the header was made to say
};

// Entry header fields to write instead of the computed ones; unset fields keep their computed value.
// Overrides change only what the header says, never where the next entry starts.
struct EntryFields {
  std::optional<std::int16_t> id = std::nullopt;  // default: the entry's position, 1 for the first
  std::optional<std::int16_t> entryLength = std::nullopt;
  std::optional<std::int16_t> dataLength = std::nullopt;
  std::optional<std::int16_t> dataType = std::nullopt;
  std::optional<std::int16_t> valueLength = std::nullopt;
  std::optional<std::int16_t> kind = std::nullopt;
  std::optional<std::int16_t> alternateLength = std::nullopt;  // default 0
  std::uint16_t reserved = 0;
  std::size_t padding = 0;  // zero bytes after the data, counted in the entry's length
};

// Search-list entry type bits (enttyp), list flags and match flags: vexplan.h's VXP_SEARCH_ codes.
namespace search {
inline constexpr std::uint8_t kVarying = VXP_SEARCH_VARYING;  // the column has a 2-byte length prefix
inline constexpr std::uint8_t kLocale = VXP_SEARCH_LOCALE;    // locale-aware comparison
inline constexpr std::uint8_t kSubstring = VXP_SEARCH_KIND_SUBSTRING;
inline constexpr std::uint8_t kPrefix = VXP_SEARCH_KIND_PREFIX;
inline constexpr std::uint8_t kAny = VXP_SEARCH_KIND_ANY;
inline constexpr std::uint8_t kPattern = VXP_SEARCH_KIND_PATTERN;
inline constexpr std::uint32_t kContinueAfterMatch = VXP_SEARCH_LIST_CONTINUE_AFTER_MATCH;  // list flag
inline constexpr std::uint8_t kMatched = VXP_SEARCH_MATCHED;                                // match flags
}  // namespace search

struct SearchKey {
  std::string key{};
  std::uint8_t entryType = 0;  // search:: entry type bits
  std::uint8_t matchFlags = 0;
  std::int16_t compareOffset = 0;
  std::optional<std::int16_t> compareLength = std::nullopt;  // default: the key's length
  std::optional<std::int16_t> keyLength = std::nullopt;      // entlen; default: the key's length
  std::optional<std::int16_t> size = std::nullopt;           // to the next entry; default: header and key
  std::int16_t reserved = 0;
};

struct SearchList {
  std::vector<SearchKey> keys{};
  std::uint32_t flags = 0;
  std::int16_t dataOffset = 0;                       // where retrieval writes a key in the record
  std::optional<std::int16_t> count = std::nullopt;  // default: the number of keys
  std::int16_t dataType = type::kChar;               // of the pool entry; UTF-8 types keep keys untranslated

  // Keys blank padded to `width` (as they are when 0), all of one entry type.
  static SearchList Of(std::initializer_list<std::string_view> keys, std::int16_t width = 0,
                       std::uint8_t entryType = 0);
  // A list to be read from the file at `path` when the Filter is created: one key "@path", blank padded to
  // the column's width, since every entry read from the file takes the first entry's lengths.
  static SearchList File(std::string_view path, std::int16_t width, std::uint8_t entryType = 0);
};

// Change function option bits: vexplan.h's VXP_CHANGE_ options.
namespace change_option {
inline constexpr std::uint32_t kEnableFire = VXP_CHANGE_ENABLE_FIRE;  // fire on the first sample of a key
inline constexpr std::uint32_t kPercent = VXP_CHANGE_PERCENT;  // percent change instead of the absolute change
}  // namespace change_option

// The change control block of a change element's right operand.
struct ChangeControl {
  std::uint32_t options = 0;
  std::vector<Column> keys{};  // key columns, in key order: their offset, length and name are written
  std::int16_t keyStride = static_cast<std::int16_t>(sizeof(VxpChangeKey));
  std::optional<std::int16_t> keyCount = std::nullopt;         // default: the number of keys
  std::optional<std::int16_t> keyLength = std::nullopt;        // default: the sum of the key lengths
  std::optional<std::int16_t> valueAreaLength = std::nullopt;  // default: a VxpChangeRecord's values and stamps
  std::optional<std::int16_t> recordSize = std::nullopt;       // default: a VxpChangeRecord and the key

  std::int16_t KeyLength() const;
  std::int16_t RecordSize() const;
};

class PoolBuilder {
 public:
  PoolBuilder();

  PoolBuilder& Tag(std::string_view tag);
  PoolBuilder& Version(std::int16_t version);
  PoolBuilder& LanguageId(std::uint32_t languageId);
  PoolBuilder& Reserved(std::uint16_t reserved);
  // Header fields written instead of the computed ones (the built length, the number of entries).
  PoolBuilder& TotalLength(std::int16_t totalLength);
  PoolBuilder& EntryCount(std::int16_t entryCount);
  // Rounds every entry's length up to a multiple of `alignment` with zero bytes.
  PoolBuilder& AlignEntries(std::size_t alignment);
  // Cuts the built pool to `length` bytes, or extends it with zero bytes.
  PoolBuilder& BufferLength(std::size_t length);

  Literal Long(std::int32_t value, const EntryFields& fields = {});
  Literal ULong(std::uint32_t value, const EntryFields& fields = {});
  Literal Short(std::int16_t value, const EntryFields& fields = {});
  Literal UShort(std::uint16_t value, const EntryFields& fields = {});
  Literal Double(double value, const EntryFields& fields = {});
  // Fixed character text as it is, or blank padded (or cut) to `length`.
  Literal Char(std::string_view text, const EntryFields& fields = {});
  Literal Char(std::string_view text, std::int16_t length, const EntryFields& fields = {});
  Literal Utf8Char(std::string_view text, const EntryFields& fields = {});
  Literal Utf8Char(std::string_view text, std::int16_t length, const EntryFields& fields = {});
  // Varying character text: its 16-bit length, then the text.
  Literal VarChar(std::string_view text, const EntryFields& fields = {});
  Literal Utf8VarChar(std::string_view text, const EntryFields& fields = {});
  Literal Bytes(std::int16_t dataType, std::string_view data, const EntryFields& fields = {});
  Literal Bytes(std::int16_t dataType, const std::vector<std::uint8_t>& data, const EntryFields& fields = {});

  Literal Search(const SearchList& list, const EntryFields& fields = {});
  // The work space of a column-against-column element, naming its second column.
  Literal ColumnDescriptor(const Column& right, const EntryFields& fields = {});
  Literal Change(const ChangeControl& control, const EntryFields& fields = {});
  // The scratch record a change element's left operand refers to.
  Literal ChangeScratch(const ChangeControl& control, const EntryFields& fields = {});

  std::size_t size() const { return entries_.size(); }
  std::vector<std::uint8_t> Build() const;

 private:
  struct Entry {
    std::int16_t id;
    std::int16_t dataType;
    std::int16_t kind;
    std::vector<std::uint8_t> data;
    EntryFields fields;
  };
  Literal Add(std::int16_t dataType, std::int16_t kind, std::vector<std::uint8_t> data, const EntryFields& fields);

  char tag_[4] = {'P', 'O', 'O', 'L'};
  std::int16_t version_ = VXP_VERSION_EXTENDED;
  std::uint32_t languageId_ = 0;
  std::uint16_t reserved_ = 0;
  std::optional<std::int16_t> totalLength_;
  std::optional<std::int16_t> entryCount_;
  std::size_t alignment_ = 1;
  std::optional<std::size_t> bufferLength_;
  std::vector<Entry> entries_;
};

}  // namespace vexfilt::plan

#endif  // VEXFILT_PLAN_POOL_BUILDER_H_
