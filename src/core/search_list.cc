#include "core/search_list.h"

namespace vexfilt::search_list {

bool Fits(const std::uint8_t* list, std::size_t extent) {
  if (extent < kHeaderSize) return false;
  const std::int16_t count = EntryCountOf(list);
  if (count < 0) return false;
  std::size_t at = kHeaderSize;
  for (int i = 0; i < count; ++i) {
    if (at + kEntryHeaderSize > extent) return false;
    const std::uint8_t* entry = list + at;
    const auto size = LoadUnaligned<std::int16_t>(entry + kSize);
    const auto keyLength = LoadUnaligned<std::int16_t>(entry + kKeyLength);
    const auto compareOffset = LoadUnaligned<std::int16_t>(entry + kCompareOffset);
    const auto compareLength = LoadUnaligned<std::int16_t>(entry + kCompareLength);
    const bool sound = keyLength >= 0 && compareOffset >= 0 && compareLength >= 0 &&
                       compareOffset + compareLength <= keyLength &&
                       static_cast<std::int32_t>(kEntryHeaderSize) + keyLength <= size && at + size <= extent;
    if (!sound) return false;
    at += static_cast<std::size_t>(size);
  }
  return true;
}

}  // namespace vexfilt::search_list
