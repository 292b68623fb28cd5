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
#include <cstdint>
#include <cstring>

#include "filter/bytes.h"
#include "filter/column_name.h"
#include "filter/plan_format.h"
#include "filter/status.h"
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
    case 0: case 3: Units(codec, et::kByte, data, end, length); return;
    case 2: case 500: case 501: Units(codec, et::kShort, data, end, length / 2); return;
    case 4: case 456: case 457: case 496: case 497: case 1006: case 1007: Units(codec, et::kLong, data, end, length / 4); return;
    case 448: case 449: case 452: case 453: case 460: case 461: Units(codec, et::kCharacter, data, end, length); return;
    case 480: case 481: case 1000: case 1001: Units(codec, et::kDouble, data, end, length / 8); return;
    default: return;  // UTF-8 text and unknown types travel as they are
  }
}

// A search list within `length` bytes of data.
template <typename C>
std::int32_t SearchList(const C& codec, std::int16_t dataType, std::uint8_t* list, std::int32_t length) {
  if (length < 16) return status::kBadLiteralKind;
  codec.Short(list + 0);
  const std::int16_t count = codec.Short(list + 2);
  codec.Long(list + 4);
  for (std::size_t at : {8, 10, 12, 14}) codec.Short(list + at);
  const bool utf8 = (dataType & ~1) == type::kUtf8Char || (dataType & ~1) == type::kUtf8VarChar;
  std::int32_t at = 16;
  for (int i = 0; i < count; ++i) {
    if (at + 12 > length) return status::kBadLiteralKind;
    std::uint8_t* entry = list + at;
    const std::int16_t size = codec.Short(entry + 0);
    codec.Convert(et::kByte, entry + 2, 2);
    for (std::size_t field : {4, 6, 8}) codec.Short(entry + field);
    const std::int16_t keyLength = codec.Short(entry + 10);
    if (keyLength < 0 || at + 12 + keyLength > length || (size < 12 && i + 1 < count)) return status::kBadLiteralKind;
    if (!utf8) codec.Convert(et::kCharacter, entry + 12, keyLength);
    at += size;
  }
  return status::kOk;
}

// A change control block: four words, the key entry count and stride, six 16-bit fields, then the entries.
template <typename C>
std::int32_t StructuredValue(const C& codec, std::uint8_t* data, std::int32_t length) {
  if (length < 64) return status::kBadLiteralKind;
  codec.Convert(et::kWord, data, 4);
  const std::int16_t count = codec.Short(data + 16);
  const std::int16_t stride = codec.Short(data + 18);
  for (std::size_t at = 20; at <= 30; at += 2) codec.Short(data + at);
  for (int i = 0; i < count; ++i) {
    const std::int64_t at = 64 + static_cast<std::int64_t>(i) * stride;
    if (stride < 32 || at + 32 > length) return status::kBadLiteralKind;
    std::uint8_t* sub = data + at;
    codec.Convert(et::kWord, sub, 1);
    for (std::size_t field = 4; field <= 14; field += 2) codec.Short(sub + field);
    codec.Convert(et::kCharacter, sub + 16, 11);
    codec.Convert(et::kCharacter, sub + 27, 5);
  }
  return status::kOk;
}

// The plan: header, then every element record, once the lengths are consistent.
template <typename C>
std::int32_t Plan(const C& codec, std::uint8_t* plan) {
  codec.Convert(et::kCharacter, plan, 4);
  const std::int16_t version = codec.Short(plan + 4);
  if (version < kOldestVersion || version > kNewestVersion) return status::kOk;
  const std::int16_t totalLength = codec.Short(plan + 6);
  codec.Long(plan + 8);
  const std::int16_t elementCount = codec.Short(plan + 14);
  const std::int16_t elementLength = codec.Short(plan + 12);
  codec.Convert(et::kCharacter, plan + 16, 10);
  codec.Short(plan + 26);
  // The last record is read up to its 192nd byte past a 32-byte header: 224 bytes beyond the first.
  const std::int64_t minimum = std::int64_t{elementLength} * (elementCount - 1) + 224;
  // Records shorter than 192 bytes, or a negative count, would take the walk beyond the plan.
  // A version-130 plan declares no length: its records must at least fit the largest plan there is.
  const bool consistent = version == kOldestVersion
                              ? elementLength == 192 && elementCount >= 0 &&
                                    kPlanHeaderSize + static_cast<std::size_t>(elementCount) * 192 <= 32767
                              : totalLength >= minimum && elementLength >= 192 && elementCount >= 0;
  if (!consistent) return status::kBadVersionOrLength;

  for (int i = 0; i < elementCount; ++i) {
    std::uint8_t* e = plan + kPlanHeaderSize + static_cast<std::size_t>(i) * static_cast<std::size_t>(elementLength);
    codec.Convert(et::kCharacter, e, 4);
    codec.Short(e + 36);
    codec.Convert(et::kShort, e + 64, 2);
    for (std::size_t at : {40, 42, 44, 46}) codec.Short(e + at);
    if constexpr (C::kToLocal) {
      // Either form of function code and name becomes the 32-bit code at 80 and the name at 84.
      char name[11] = {};
      std::uint8_t code = 0;
      FLT1_FixColumnName(e, name, &code);
      StoreUnaligned(e + 64, static_cast<std::uint16_t>(LoadUnaligned<std::uint16_t>(e + 64) | rep::kNameNormalised));
      representation::Convert(representation::Direction::kToLocal, codec.word, et::kCharacter,
                              reinterpret_cast<const std::uint8_t*>(name), e + 84, 11);
      codec.Convert(et::kByte, &code, 1);
      StoreUnaligned<std::uint32_t>(e + 80, code);
    } else {
      codec.Long(e + 80);
      codec.Convert(et::kCharacter, e + 84, 11);
    }
    for (std::size_t at : {4, 8, 16, 20, 32}) codec.Long(e + at);
    for (std::size_t at : {48, 50, 52, 54, 56}) codec.Short(e + at);
    for (std::size_t at : {24, 28}) codec.Long(e + at);
    codec.Convert(et::kShort, e + 68, 2);
    for (std::size_t at : {60, 62, 76, 78}) codec.Short(e + at);
    codec.Convert(et::kShort, e + 72, 2);
    for (std::size_t at : {38, 58}) codec.Short(e + at);
  }
  return status::kOk;
}

// The pool: header, then each entry's header and data, within the pool's own total length.
template <typename C>
std::int32_t Pool(const C& codec, std::uint8_t* pool) {
  codec.Convert(et::kCharacter, pool, 4);
  const std::int16_t version = codec.Short(pool + 4);
  if (version < kOldestVersion) return status::kOk;
  const std::int16_t totalLength = codec.Short(pool + 6);
  const std::int16_t entryCount = codec.Short(pool + 8);
  codec.Long(pool + 12);
  std::int32_t at = static_cast<std::int32_t>(kPoolHeaderSize);
  for (int i = 0; i < entryCount; ++i) {
    if (at + 16 > totalLength) return status::kBadLiteralKind;
    std::uint8_t* entry = pool + at;
    codec.Short(entry + 0);
    codec.Short(entry + 4);
    const std::int16_t valueLength = codec.Short(entry + 8);
    const std::int16_t entryLength = codec.Short(entry + 2);
    const std::int16_t dataType = codec.Short(entry + 6);
    codec.Short(entry + 14);
    // An entry must advance the walk and stay inside the pool.
    if (entryLength < 16 || at + entryLength > totalLength) return status::kBadLiteralKind;
    if (valueLength > 0) {
      std::uint8_t* data = entry + 16;
      const std::int32_t length = std::min<std::int32_t>(valueLength, entryLength - 16);
      std::int32_t st = status::kOk;
      if (version == kOldestVersion) {
        PlainValue(codec, dataType, data, length);
      } else {
        const std::int16_t kind = codec.Short(entry + 12);
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
