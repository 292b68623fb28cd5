#include "filter/search_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/memory.h"
#include "core/search_list.h"
#include "core/status.h"
#include "host/trace.h"

namespace vexfilt {
namespace {

namespace sl = search_list;

constexpr std::size_t kPathBuffer = 72;  // 71 bytes and a terminator
constexpr int kLineBuffer = 512;  // reads of at most 511 bytes

// The key of a line: up to the first ";", then the first blank, then the line end. Empty when the line is
// skipped (it starts with a blank or is empty).
std::size_t KeyOf(const char* line) {
  if (line[0] == ' ' || line[0] == '\0') return 0;
  return std::strcspn(line, "; \r\n");
}

std::FILE* Open(const char* path) { return std::fopen(path, "r"); }

}  // namespace

std::int32_t BuildAlternateSearch(Filter& filter, FilterElement& element, std::size_t* listSize) {
  static TraceBlock block{"FLT1_BuildAlternateSearch", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  auto* planList = static_cast<std::uint8_t*>(element.rightData);
  const sl::Entry first = sl::FirstEntry(planList);
  // The path is the first key after its "@", without the blanks (or zero bytes) that pad it to the column.
  const auto* text = reinterpret_cast<const char*>(first.key() + 1);
  std::int32_t pathLength = first.keyLength() - 1;
  while (pathLength > 0 && (text[pathLength - 1] == ' ' || text[pathLength - 1] == '\0')) --pathLength;
  if (pathLength >= static_cast<std::int32_t>(kPathBuffer)) {
    if (trace.HasAny(trace_bit::k80)) {
      TracePrintf(block, __LINE__, "Search list file path longer than %d bytes: \"%.*s\"", static_cast<int>(kPathBuffer - 1),
                  pathLength, text);
    }
    return trace.Exit(status::kUnavailable, __LINE__);
  }
  char path[kPathBuffer] = {};
  std::memcpy(path, text, static_cast<std::size_t>(std::max(pathLength, 0)));

  std::FILE* file = Open(path);
  if (file == nullptr) {
    if (trace.HasAny(trace_bit::k80)) TracePrintf(block, __LINE__, "Unable to open search list file \"%s\"", path);
    return trace.Exit(status::kUnavailable, __LINE__);
  }
  char line[kLineBuffer];
  int reads = 0;
  while (std::fgets(line, kLineBuffer, file) != nullptr) ++reads;
  std::fclose(file);

  // Every entry takes the plan's first entry's shape; its stride is made large enough for the key field
  // (the column length) and the key length, whatever the plan's entry size says.
  const std::int32_t keyField = std::max<std::int32_t>(element.columnLength, 0);
  const std::int32_t stride = std::max<std::int32_t>(
      first.size(), static_cast<std::int32_t>(sl::kEntryHeaderSize) + std::max(keyField, static_cast<std::int32_t>(first.keyLength())));
  if (stride > 32767) return trace.Exit(status::kUnavailable, __LINE__);
  const std::size_t size = sl::kHeaderSize + static_cast<std::size_t>(reads) * static_cast<std::size_t>(stride);
  auto* list = static_cast<std::uint8_t*>(AllocateZeroedBlock(size, "vexflt1", __LINE__));
  if (list == nullptr) return trace.Exit(status::kOk, __LINE__);
  std::memcpy(list, planList, sl::kHeaderSize);

  file = Open(path);
  if (file == nullptr) {
    ReleaseBlock(list, "vexflt1", __LINE__);
    return trace.Exit(status::kOk, __LINE__);
  }
  std::int16_t count = 0;
  std::uint8_t* next = list + sl::kHeaderSize;
  for (int i = 0; i < reads && std::fgets(line, kLineBuffer, file) != nullptr; ++i) {
    const std::size_t keyLength = std::min(KeyOf(line), static_cast<std::size_t>(keyField));
    if (keyLength == 0) continue;
    std::memcpy(next, first.start(), sl::kEntryHeaderSize);
    StoreUnaligned(next + sl::kSize, static_cast<std::int16_t>(stride));
    next[sl::kMatchFlags] = 0;
    std::memset(next + sl::kKey, ' ', static_cast<std::size_t>(keyField));
    std::memcpy(next + sl::kKey, line, keyLength);
    next += stride;
    ++count;
  }
  std::fclose(file);
  if (count == 0) {
    // The plan's list stays in use throughout: list, count and element agree.
    ReleaseBlock(list, "vexflt1", __LINE__);
    if (trace.HasAny(trace_bit::k80)) {
      TracePrintf(block, __LINE__, "Search list file \"%s\" contains zero valid entries", path);
    }
    return trace.Exit(status::kUnavailable, __LINE__);
  }
  StoreUnaligned(list + sl::kEntryCount, count);
  filter.searchList = list;
  filter.ownedSearchList = list;
  filter.ownership |= kOwnsSearchList;
  *listSize = size;
  return trace.Exit(status::kOk, __LINE__);
}

}  // namespace vexfilt
