// The walk over a Filter Plan or a Literal Pool that converts every field between a sender's data
// representation and the local one, in place. Translation walks foreign buffers to the local form; the
// PlanBuilder walks local buffers to a foreign form, the way a sending machine would write them. Both go
// through the same list of fields, so they cannot drift apart.
//
// A Codec converts fields in place and returns the local value of each integer field it converts:
//   static constexpr bool kToLocal;
//   void Convert(int elementType, std::uint8_t* at, std::int32_t count);
//   std::int16_t Short(std::uint8_t* at);  std::int32_t Long(std::uint8_t* at);
#ifndef VEXFILT_TRANSLATE_WALK_H_
#define VEXFILT_TRANSLATE_WALK_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/bytes.h"
#include "core/column_name.h"
#include "core/plan_format.h"
#include "core/status.h"
#include "host/representation.h"

namespace vexfilt::translate {

namespace et = element_type;

// A codec over the conversion primitives, for either direction.
template <representation::Direction direction>
struct Codec {
  static constexpr bool kToLocal = direction == representation::Direction::kToLocal;
  std::uint32_t word;

  void Convert(int elementType, std::uint8_t* at, std::int32_t count) const {
    representation::Convert(direction, word, elementType, at, at, count);
  }
  template <typename T, int kType>
  T Field(std::uint8_t* at) const {
    if constexpr (kToLocal) {
      Convert(kType, at, 1);
      return LoadUnaligned<T>(at);
    } else {
      const T value = LoadUnaligned<T>(at);
      Convert(kType, at, 1);
      return value;
    }
  }
  std::int16_t Short(std::uint8_t* at) const { return Field<std::int16_t, et::kShort>(at); }
  std::int32_t Long(std::uint8_t* at) const { return Field<std::int32_t, et::kLong>(at); }
};

// Converts `count` units of `elementType` that start at `at`, none beyond `end`.
template <typename C>
void Units(const C& codec, int elementType, std::uint8_t* at, const std::uint8_t* end, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(representation::ElementSize(elementType));
  const std::int64_t fit = std::max<std::int64_t>(0, (end - at) / size);
  codec.Convert(elementType, at, static_cast<std::int32_t>(std::min(count, fit)));
}

// Plain values by data type: whole units only, a remainder stays as it is. Floating-point values are
// converted as whole 8-byte doubles: a double is not two independent 4-byte units in another format.
template <typename C>
void PlainValue(const C& codec, std::int16_t dataType, std::uint8_t* data, std::int32_t length) {
  const std::uint8_t* end = data + length;
  switch (dataType) {
    case VXP_TYPE_BYTES:
    case VXP_TYPE_BYTES_ALT: Units(codec, et::kByte, data, end, length); return;
    case VXP_TYPE_USHORT:
    case VXP_TYPE_SHORT:
    case VXP_TYPE_SHORT_NULLABLE: Units(codec, et::kShort, data, end, length / 2); return;
    case VXP_TYPE_WORDS:
    case VXP_TYPE_LONG_TEXT:
    case VXP_TYPE_LONG_TEXT_NULLABLE:
    case VXP_TYPE_LONG:
    case VXP_TYPE_LONG_NULLABLE:
    case VXP_TYPE_ULONG:
    case VXP_TYPE_ULONG_NULLABLE: Units(codec, et::kLong, data, end, length / 4); return;
    case VXP_TYPE_VARCHAR:
    case VXP_TYPE_VARCHAR_NULLABLE:
    case VXP_TYPE_CHAR:
    case VXP_TYPE_CHAR_NULLABLE:
    case VXP_TYPE_TEXT:
    case VXP_TYPE_TEXT_NULLABLE: Units(codec, et::kCharacter, data, end, length); return;
    case VXP_TYPE_DOUBLE:
    case VXP_TYPE_DOUBLE_NULLABLE:
    case VXP_TYPE_DOUBLE_ALT:
    case VXP_TYPE_DOUBLE_ALT_NULLABLE: Units(codec, et::kDouble, data, end, length / 8); return;
    default: return;  // UTF-8 text and unknown types travel as they are
  }
}

// A search list within `length` bytes of data.
template <typename C>
std::int32_t SearchList(const C& codec, std::int16_t dataType, std::uint8_t* list, std::int32_t length) {
  using Header = ::VxpSearchListHeader;
  using Entry = ::VxpSearchEntry;
  constexpr std::int32_t kHeaderSize = sizeof(Header), kEntrySize = sizeof(Entry);
  if (length < kHeaderSize) return status::kBadLiteralKind;
  codec.Short(list + offsetof(Header, reserved0));
  const std::int16_t count = codec.Short(list + offsetof(Header, entryCount));
  codec.Long(list + offsetof(Header, listFlags));
  for (std::size_t at : {offsetof(Header, reserved8), offsetof(Header, dataOffset), offsetof(Header, reserved12),
                         offsetof(Header, reserved14)}) {
    codec.Short(list + at);
  }
  const bool utf8 = (dataType & ~1) == type::kUtf8Char || (dataType & ~1) == type::kUtf8VarChar;
  std::int32_t at = kHeaderSize;
  for (int i = 0; i < count; ++i) {
    if (at + kEntrySize > length) return status::kBadLiteralKind;
    std::uint8_t* entry = list + at;
    const std::int16_t size = codec.Short(entry + offsetof(Entry, size));
    // The match flags and the entry type, a byte each.
    codec.Convert(et::kByte, entry + offsetof(Entry, matchFlags), 2);
    for (std::size_t field : {offsetof(Entry, compareOffset), offsetof(Entry, compareLength), offsetof(Entry, reserved8)}) {
      codec.Short(entry + field);
    }
    const std::int16_t keyLength = codec.Short(entry + offsetof(Entry, keyLength));
    if (keyLength < 0 || at + kEntrySize + keyLength > length || (size < kEntrySize && i + 1 < count)) {
      return status::kBadLiteralKind;
    }
    if (!utf8) codec.Convert(et::kCharacter, entry + kEntrySize, keyLength);
    at += size;
  }
  return status::kOk;
}

// A change control block: four words, the key entry count and stride, six 16-bit fields, then the entries.
template <typename C>
std::int32_t StructuredValue(const C& codec, std::uint8_t* data, std::int32_t length) {
  using Block = ::VxpChangeControl;
  using Key = ::VxpChangeKey;
  constexpr std::int32_t kBlockSize = sizeof(Block), kKeySize = sizeof(Key);
  if (length < kBlockSize) return status::kBadLiteralKind;
  // options, bytesHeld, recordsHeld and reserved12
  codec.Convert(et::kWord, data + offsetof(Block, options), 4);
  const std::int16_t count = codec.Short(data + offsetof(Block, keyCount));
  const std::int16_t stride = codec.Short(data + offsetof(Block, keyStride));
  for (std::size_t at = offsetof(Block, keyLength); at <= offsetof(Block, reserved30); at += sizeof(std::int16_t)) {
    codec.Short(data + at);
  }
  for (int i = 0; i < count; ++i) {
    const std::int64_t at = kBlockSize + static_cast<std::int64_t>(i) * stride;
    if (stride < kKeySize || at + kKeySize > length) return status::kBadLiteralKind;
    std::uint8_t* sub = data + at;
    codec.Convert(et::kWord, sub + offsetof(Key, reserved0), 1);
    for (std::size_t field = offsetof(Key, reserved4); field <= offsetof(Key, reserved14); field += sizeof(std::int16_t)) {
      codec.Short(sub + field);
    }
    codec.Convert(et::kCharacter, sub + offsetof(Key, columnName), sizeof(Key::columnName));
    codec.Convert(et::kCharacter, sub + offsetof(Key, reserved27), sizeof(Key::reserved27));
  }
  return status::kOk;
}

// The plan: header, then every element record, once the lengths are consistent.
template <typename C>
std::int32_t Plan(const C& codec, std::uint8_t* plan) {
  using Header = ::VxpPlanHeader;
  using El = ::VxpElement;
  codec.Convert(et::kCharacter, plan + offsetof(Header, tag), sizeof(Header::tag));
  const std::int16_t version = codec.Short(plan + offsetof(Header, version));
  if (version < kOldestVersion || version > kNewestVersion) return status::kOk;
  const std::int16_t totalLength = codec.Short(plan + offsetof(Header, totalLength));
  codec.Long(plan + offsetof(Header, recordLength));
  const std::int16_t elementCount = codec.Short(plan + offsetof(Header, elementCount));
  const std::int16_t elementLength = codec.Short(plan + offsetof(Header, elementLength));
  codec.Convert(et::kCharacter, plan + offsetof(Header, tableName), sizeof(Header::tableName));
  codec.Short(plan + offsetof(Header, planFlags));
  // The last record is read up to its last element byte past the header.
  constexpr auto kRecord = static_cast<std::int64_t>(kElementRecordSize);
  const std::int64_t minimum = std::int64_t{elementLength} * (elementCount - 1) + std::int64_t{kPlanHeaderSize} + kRecord;
  // Records shorter than an element, or a negative count, would take the walk beyond the plan.
  // A version-130 plan declares no length: its records must at least fit the largest plan there is, whose
  // length a 16-bit field gives.
  const bool consistent = version == kOldestVersion
                              ? elementLength == kRecord && elementCount >= 0 &&
                                    kPlanHeaderSize + static_cast<std::size_t>(elementCount) * kElementRecordSize <=
                                        static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())
                              : totalLength >= minimum && elementLength >= kRecord && elementCount >= 0;
  if (!consistent) return status::kBadVersionOrLength;

  for (int i = 0; i < elementCount; ++i) {
    std::uint8_t* e = plan + kPlanHeaderSize + static_cast<std::size_t>(i) * static_cast<std::size_t>(elementLength);
    codec.Convert(et::kCharacter, e + offsetof(El, tag), sizeof(El::tag));
    codec.Short(e + offsetof(El, reserved36));
    // leftFlags and rightFlags
    codec.Convert(et::kShort, e + offsetof(El, leftFlags), 2);
    for (std::size_t at : {offsetof(El, elementId), offsetof(El, trueTargetId), offsetof(El, falseTargetId),
                           offsetof(El, reserved46)}) {
      codec.Short(e + at);
    }
    if constexpr (C::kToLocal) {
      // Either form of function code and name becomes the 32-bit functionCode and the columnName after it.
      char name[sizeof(El::columnName)] = {};
      std::uint8_t code = 0;
      FixColumnName(e, name, &code);
      std::uint8_t* const flags = e + offsetof(El, leftFlags);
      StoreUnaligned(flags, static_cast<std::uint16_t>(LoadUnaligned<std::uint16_t>(flags) | rep::kNameNormalised));
      representation::Convert(representation::Direction::kToLocal, codec.word, et::kCharacter,
                              reinterpret_cast<const std::uint8_t*>(name), e + offsetof(El, columnName),
                              sizeof(El::columnName));
      codec.Convert(et::kByte, &code, 1);
      StoreUnaligned<std::uint32_t>(e + offsetof(El, functionCode), code);
    } else {
      codec.Long(e + offsetof(El, functionCode));
      codec.Convert(et::kCharacter, e + offsetof(El, columnName), sizeof(El::columnName));
    }
    for (std::size_t at : {offsetof(El, compareOperator), offsetof(El, logicalOperator), offsetof(El, columnOffset),
                           offsetof(El, rightColumnOffset), offsetof(El, substringOffset)}) {
      codec.Long(e + at);
    }
    for (std::size_t at : {offsetof(El, columnLength), offsetof(El, dataType), offsetof(El, trueSkip),
                           offsetof(El, falseSkip), offsetof(El, resultTarget)}) {
      codec.Short(e + at);
    }
    for (std::size_t at : {offsetof(El, leftResult), offsetof(El, rightResult)}) codec.Long(e + at);
    // leftLiteralLength and rightLiteralLength
    codec.Convert(et::kShort, e + offsetof(El, leftLiteralLength), 2);
    for (std::size_t at : {offsetof(El, leftScale), offsetof(El, rightScale), offsetof(El, alternateOperator),
                           offsetof(El, rightDataType)}) {
      codec.Short(e + at);
    }
    // leftLiteralId and rightLiteralId
    codec.Convert(et::kShort, e + offsetof(El, leftLiteralId), 2);
    for (std::size_t at : {offsetof(El, routineSlot), offsetof(El, resultOperand)}) codec.Short(e + at);
  }
  return status::kOk;
}

// The pool: header, then each entry's header and data, within the pool's own total length.
template <typename C>
std::int32_t Pool(const C& codec, std::uint8_t* pool) {
  using Header = ::VxpPoolHeader;
  using Entry = ::VxpLiteralEntry;
  constexpr auto kEntrySize = static_cast<std::int32_t>(kEntryHeaderSize);
  codec.Convert(et::kCharacter, pool + offsetof(Header, tag), sizeof(Header::tag));
  const std::int16_t version = codec.Short(pool + offsetof(Header, version));
  if (version < kOldestVersion) return status::kOk;
  const std::int16_t totalLength = codec.Short(pool + offsetof(Header, totalLength));
  const std::int16_t entryCount = codec.Short(pool + offsetof(Header, entryCount));
  codec.Long(pool + offsetof(Header, languageId));
  std::int32_t at = static_cast<std::int32_t>(kPoolHeaderSize);
  for (int i = 0; i < entryCount; ++i) {
    if (at + kEntrySize > totalLength) return status::kBadLiteralKind;
    std::uint8_t* entry = pool + at;
    codec.Short(entry + offsetof(Entry, id));
    codec.Short(entry + offsetof(Entry, dataLength));
    const std::int16_t valueLength = codec.Short(entry + offsetof(Entry, valueLength));
    const std::int16_t entryLength = codec.Short(entry + offsetof(Entry, entryLength));
    const std::int16_t dataType = codec.Short(entry + offsetof(Entry, dataType));
    codec.Short(entry + offsetof(Entry, alternateLength));
    // An entry must advance the walk and stay inside the pool.
    if (entryLength < kEntrySize || at + entryLength > totalLength) return status::kBadLiteralKind;
    if (valueLength > 0) {
      std::uint8_t* data = entry + kEntrySize;
      const std::int32_t length = std::min<std::int32_t>(valueLength, entryLength - kEntrySize);
      std::int32_t st = status::kOk;
      if (version == kOldestVersion) {
        PlainValue(codec, dataType, data, length);
      } else {
        const std::int16_t kind = codec.Short(entry + offsetof(Entry, kind));
        if (kind <= 0) {
          PlainValue(codec, dataType, data, length);
        } else if (kind == kKindSearchList) {
          st = SearchList(codec, dataType, data, length);
        } else if (kind == kKindChangeControl && version >= kChangeControlVersion) {
          st = StructuredValue(codec, data, length);
        } else {
          st = status::kBadLiteralKind;
        }
      }
      if (st != status::kOk) return st;
    }
    at += entryLength;
  }
  return status::kOk;
}

}  // namespace vexfilt::translate

#endif  // VEXFILT_TRANSLATE_WALK_H_
