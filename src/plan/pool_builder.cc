#include "plan/pool_builder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "core/bytes.h"

namespace vexfilt::plan {
namespace {

constexpr std::size_t kSearchHeaderSize = sizeof(VxpSearchListHeader);
constexpr std::size_t kSearchEntryHeaderSize = sizeof(VxpSearchEntry);
constexpr std::size_t kDescriptorSize = sizeof(VxpColumnDescriptor);
constexpr std::size_t kDescriptorNameOffset = offsetof(VxpColumnDescriptor, columnName);
constexpr std::size_t kDescriptorNameSize = sizeof(VxpColumnDescriptor::columnName);  // characters and a terminator
constexpr std::size_t kDescriptorTypeOffset = offsetof(VxpColumnDescriptor, dataType);
constexpr std::size_t kChangeKeysOffset = sizeof(VxpChangeControl);
constexpr std::size_t kChangeKeyNameOffset = offsetof(VxpChangeKey, columnName);
constexpr std::size_t kChangeKeyNameSize = sizeof(VxpChangeKey::columnName);
constexpr std::size_t kChangeKeyEntrySize = sizeof(VxpChangeKey);  // with characters the library does not read
constexpr std::int16_t kChangeValueArea = sizeof(VxpChangeRecord);
constexpr std::size_t kLengthPrefixSize = sizeof(std::uint16_t);  // before the text of a varying value

template <typename T>
std::vector<std::uint8_t> ValueBytes(T value) {
  std::vector<std::uint8_t> bytes(sizeof value);
  StoreUnaligned(bytes.data(), value);
  return bytes;
}

// Writes a T at `offset` when it fits; overridden counts and strides may put fields outside the data.
template <typename T>
void Put(std::vector<std::uint8_t>& data, std::size_t offset, T value) {
  if (offset + sizeof value <= data.size()) StoreUnaligned(data.data() + offset, value);
}

void PutText(std::vector<std::uint8_t>& data, std::size_t offset, std::string_view text, std::size_t width) {
  if (offset >= data.size()) return;
  const std::size_t n = std::min({text.size(), width, data.size() - offset});
  std::memcpy(data.data() + offset, text.data(), n);
}

std::vector<std::uint8_t> TextBytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> PaddedText(std::string_view text, std::int16_t length) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int16_t>(length, 0)), ' ');
  PutText(bytes, 0, text, bytes.size());
  return bytes;
}

std::vector<std::uint8_t> VaryingText(std::string_view text) {
  std::vector<std::uint8_t> bytes(kLengthPrefixSize + text.size());
  StoreUnaligned(bytes.data(), static_cast<std::uint16_t>(text.size()));
  PutText(bytes, kLengthPrefixSize, text, text.size());
  return bytes;
}

void CopyTag(char (&tag)[4], std::string_view text) {
  std::memset(tag, 0, sizeof tag);
  std::memcpy(tag, text.data(), std::min(text.size(), sizeof tag));
}

}  // namespace

SearchList SearchList::Of(std::initializer_list<std::string_view> keys, std::int16_t width, std::uint8_t entryType) {
  SearchList list;
  for (std::string_view key : keys) {
    SearchKey entry;
    entry.key = std::string(key);
    if (width > 0) entry.key.resize(static_cast<std::size_t>(width), ' ');
    entry.entryType = entryType;
    list.keys.push_back(std::move(entry));
  }
  return list;
}

SearchList SearchList::File(std::string_view path, std::int16_t width, std::uint8_t entryType) {
  std::string key(1, VXP_SEARCH_FILE_MARK);
  key.append(path);
  return Of({key}, std::max<std::int16_t>(width, static_cast<std::int16_t>(key.size())), entryType);
}

std::int16_t ChangeControl::KeyLength() const {
  if (keyLength) return *keyLength;
  int sum = 0;
  for (const Column& key : keys) sum += key.length;
  return static_cast<std::int16_t>(sum);
}

std::int16_t ChangeControl::RecordSize() const {
  return recordSize.value_or(static_cast<std::int16_t>(kChangeValueArea + KeyLength()));
}

PoolBuilder::PoolBuilder() = default;

PoolBuilder& PoolBuilder::Tag(std::string_view tag) {
  CopyTag(tag_, tag);
  return *this;
}
PoolBuilder& PoolBuilder::Version(std::int16_t version) {
  version_ = version;
  return *this;
}
PoolBuilder& PoolBuilder::LanguageId(std::uint32_t languageId) {
  languageId_ = languageId;
  return *this;
}
PoolBuilder& PoolBuilder::Reserved(std::uint16_t reserved) {
  reserved_ = reserved;
  return *this;
}
PoolBuilder& PoolBuilder::TotalLength(std::int16_t totalLength) {
  totalLength_ = totalLength;
  return *this;
}
PoolBuilder& PoolBuilder::EntryCount(std::int16_t entryCount) {
  entryCount_ = entryCount;
  return *this;
}
PoolBuilder& PoolBuilder::AlignEntries(std::size_t alignment) {
  alignment_ = std::max<std::size_t>(alignment, 1);
  return *this;
}
PoolBuilder& PoolBuilder::BufferLength(std::size_t length) {
  bufferLength_ = length;
  return *this;
}

Literal PoolBuilder::Add(std::int16_t dataType, std::int16_t kind, std::vector<std::uint8_t> data,
                         const EntryFields& fields) {
  Entry entry{fields.id.value_or(static_cast<std::int16_t>(entries_.size() + 1)), fields.dataType.value_or(dataType),
              kind, std::move(data), fields};
  const Literal literal{entry.id, entry.dataType, static_cast<std::int16_t>(entry.data.size())};
  entries_.push_back(std::move(entry));
  return literal;
}

Literal PoolBuilder::Long(std::int32_t value, const EntryFields& fields) {
  return Add(type::kLong, 0, ValueBytes(value), fields);
}
Literal PoolBuilder::ULong(std::uint32_t value, const EntryFields& fields) {
  return Add(type::kULong, 0, ValueBytes(value), fields);
}
Literal PoolBuilder::Short(std::int16_t value, const EntryFields& fields) {
  return Add(type::kShort, 0, ValueBytes(value), fields);
}
Literal PoolBuilder::UShort(std::uint16_t value, const EntryFields& fields) {
  return Add(type::kUShort, 0, ValueBytes(value), fields);
}
Literal PoolBuilder::Double(double value, const EntryFields& fields) {
  return Add(type::kDouble, 0, ValueBytes(value), fields);
}
Literal PoolBuilder::Char(std::string_view text, const EntryFields& fields) {
  return Add(type::kChar, 0, TextBytes(text), fields);
}
Literal PoolBuilder::Char(std::string_view text, std::int16_t length, const EntryFields& fields) {
  return Add(type::kChar, 0, PaddedText(text, length), fields);
}
Literal PoolBuilder::Utf8Char(std::string_view text, const EntryFields& fields) {
  return Add(type::kUtf8Char, 0, TextBytes(text), fields);
}
Literal PoolBuilder::Utf8Char(std::string_view text, std::int16_t length, const EntryFields& fields) {
  return Add(type::kUtf8Char, 0, PaddedText(text, length), fields);
}
Literal PoolBuilder::VarChar(std::string_view text, const EntryFields& fields) {
  return Add(type::kVarChar, 0, VaryingText(text), fields);
}
Literal PoolBuilder::Utf8VarChar(std::string_view text, const EntryFields& fields) {
  return Add(type::kUtf8VarChar, 0, VaryingText(text), fields);
}
Literal PoolBuilder::Bytes(std::int16_t dataType, std::string_view data, const EntryFields& fields) {
  return Add(dataType, 0, TextBytes(data), fields);
}
Literal PoolBuilder::Bytes(std::int16_t dataType, const std::vector<std::uint8_t>& data, const EntryFields& fields) {
  return Add(dataType, 0, data, fields);
}

Literal PoolBuilder::Search(const SearchList& list, const EntryFields& fields) {
  std::vector<std::uint8_t> data(kSearchHeaderSize);
  Put(data, offsetof(VxpSearchListHeader, entryCount), list.count.value_or(static_cast<std::int16_t>(list.keys.size())));
  Put(data, offsetof(VxpSearchListHeader, listFlags), list.flags);
  Put(data, offsetof(VxpSearchListHeader, dataOffset), list.dataOffset);
  for (const SearchKey& key : list.keys) {
    const std::size_t start = data.size();
    const auto keySize = static_cast<std::int16_t>(key.key.size());
    data.resize(start + kSearchEntryHeaderSize + key.key.size());
    Put(data, start + offsetof(VxpSearchEntry, size),
        key.size.value_or(static_cast<std::int16_t>(kSearchEntryHeaderSize + key.key.size())));
    Put(data, start + offsetof(VxpSearchEntry, matchFlags), key.matchFlags);
    Put(data, start + offsetof(VxpSearchEntry, entryType), key.entryType);
    Put(data, start + offsetof(VxpSearchEntry, compareOffset), key.compareOffset);
    Put(data, start + offsetof(VxpSearchEntry, compareLength), key.compareLength.value_or(keySize));
    Put(data, start + offsetof(VxpSearchEntry, reserved8), key.reserved);
    Put(data, start + offsetof(VxpSearchEntry, keyLength), key.keyLength.value_or(keySize));
    PutText(data, start + kSearchEntryHeaderSize, key.key, key.key.size());
  }
  return Add(list.dataType, kKindSearchList, std::move(data), fields);
}

Literal PoolBuilder::ColumnDescriptor(const Column& right, const EntryFields& fields) {
  std::vector<std::uint8_t> data(kDescriptorSize);
  PutText(data, kDescriptorNameOffset, right.name, kDescriptorNameSize - 1);
  Put(data, kDescriptorTypeOffset, right.dataType);
  return Add(right.dataType, 0, std::move(data), fields);
}

Literal PoolBuilder::Change(const ChangeControl& control, const EntryFields& fields) {
  const std::size_t stride = static_cast<std::size_t>(std::max<std::int16_t>(control.keyStride, 0));
  std::vector<std::uint8_t> data(kChangeKeysOffset + control.keys.size() * stride);
  Put(data, offsetof(VxpChangeControl, options), control.options);
  Put(data, offsetof(VxpChangeControl, keyCount),
      control.keyCount.value_or(static_cast<std::int16_t>(control.keys.size())));
  Put(data, offsetof(VxpChangeControl, keyStride), control.keyStride);
  Put(data, offsetof(VxpChangeControl, keyLength), control.KeyLength());
  Put(data, offsetof(VxpChangeControl, valueAreaLength), control.valueAreaLength.value_or(kChangeValueArea));
  Put(data, offsetof(VxpChangeControl, recordSize), control.RecordSize());
  for (std::size_t i = 0; i < control.keys.size(); ++i) {
    const Column& key = control.keys[i];
    const std::size_t start = kChangeKeysOffset + i * stride;
    // Written whole, then cut to the stride: a stride below a whole VxpChangeKey drops the entry's tail.
    std::array<std::uint8_t, kChangeKeyEntrySize> entry{};
    StoreUnaligned(entry.data() + offsetof(VxpChangeKey, columnOffset), static_cast<std::int16_t>(key.offset));
    StoreUnaligned(entry.data() + offsetof(VxpChangeKey, columnLength), key.length);
    std::memset(entry.data() + kChangeKeyNameOffset, ' ', kChangeKeyNameSize);
    std::memcpy(entry.data() + kChangeKeyNameOffset, key.name.data(), std::min(key.name.size(), kChangeKeyNameSize));
    std::memcpy(data.data() + start, entry.data(), std::min(stride, entry.size()));
  }
  return Add(0, kKindChangeControl, std::move(data), fields);
}

Literal PoolBuilder::ChangeScratch(const ChangeControl& control, const EntryFields& fields) {
  return Add(0, 0, std::vector<std::uint8_t>(static_cast<std::size_t>(std::max<std::int16_t>(control.RecordSize(), 0))),
             fields);
}

std::vector<std::uint8_t> PoolBuilder::Build() const {
  std::vector<std::uint8_t> out(kPoolHeaderSize);
  for (const Entry& entry : entries_) {
    const std::size_t start = out.size();
    std::size_t room = kEntryHeaderSize + entry.data.size() + entry.fields.padding;
    room = (room + alignment_ - 1) / alignment_ * alignment_;
    out.resize(start + room);

    const auto dataSize = static_cast<std::int16_t>(entry.data.size());
    LiteralEntry header{};
    header.id = entry.id;
    header.entryLength = entry.fields.entryLength.value_or(static_cast<std::int16_t>(room));
    header.dataLength = entry.fields.dataLength.value_or(dataSize);
    header.dataType = entry.dataType;
    header.valueLength = entry.fields.valueLength.value_or(dataSize);
    header.reserved = entry.fields.reserved;
    header.kind = entry.fields.kind.value_or(entry.kind);
    header.alternateLength = entry.fields.alternateLength.value_or(0);
    std::memcpy(out.data() + start, &header, sizeof header);
    if (!entry.data.empty()) std::memcpy(out.data() + start + kEntryHeaderSize, entry.data.data(), entry.data.size());
  }
  out.resize(bufferLength_.value_or(out.size()));

  PoolHeader header{};
  std::memcpy(header.tag, tag_, sizeof tag_);
  header.version = version_;
  header.totalLength = totalLength_.value_or(static_cast<std::int16_t>(out.size()));
  header.entryCount = entryCount_.value_or(static_cast<std::int16_t>(entries_.size()));
  header.reserved = reserved_;
  header.languageId = languageId_;
  if (!out.empty()) std::memcpy(out.data(), &header, std::min(sizeof header, out.size()));
  return out;
}

}  // namespace vexfilt::plan
