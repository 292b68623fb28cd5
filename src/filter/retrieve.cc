#include "filter/retrieve.h"

#include <cstring>

#include "core/search_list.h"
#include "core/status.h"
#include "host/trace.h"

namespace vexfilt {

std::int32_t RetrieveRecord(Filter& filter, std::uint8_t* buffer, std::uint32_t* bufferLength) {
  namespace sl = search_list;
  static TraceBlock block{"FLT1_RetrieveRecord", kFilterUnit, __LINE__};
  TraceScope trace(block, __LINE__);
  std::int32_t st = status::kNoMoreRecords;
  if (filter.searchList != nullptr && filter.retrievePosition > 0 && filter.retrieveCursor != nullptr) {
    const auto dataOffset = LoadUnaligned<std::int16_t>(filter.searchList + sl::kDataOffset);
    while (filter.retrievePosition <= filter.lastUnmatchedEntry && filter.retrievePosition <= filter.searchEntryCount &&
           st == status::kNoMoreRecords) {
      const sl::Entry entry(filter.retrieveCursor);
      if (!entry.matched()) {
        const bool varying = (entry.type() & sl::kVarying) != 0;
        const std::uint8_t* data = varying ? entry.start() + sl::kKeyLength : entry.key();
        const std::int64_t length = entry.keyLength() + (varying ? 2 : 0);
        if (dataOffset < 0 || dataOffset + length > *bufferLength || filter.recordLength > *bufferLength) {
          st = status::kFalse;
          if (trace.HasAny(trace_bit::k80)) {
            TracePrintf(block, __LINE__, "Search data offset %d length %d, record length %d exceeds buffer length %d status %d",
                        dataOffset, static_cast<int>(length), filter.recordLength, *bufferLength, st);
          }
        } else {
          std::memcpy(buffer + dataOffset, data, static_cast<std::size_t>(length));
          *bufferLength = filter.recordLength;
          st = status::kOk;
          if (trace.Has(trace_bit::k10 | trace_bit::k01)) {
            if (entry.type() & sl::kLocaleAware) {
              TracePrintf(block, __LINE__, "Retrieve Record Search Entry: NLS 0x%.02X%.02X l=%d o=%d r=%d",
                          entry.matchFlags(), entry.type(), entry.keyLength(), dataOffset, filter.recordLength);
              TraceDump(block, __LINE__, entry.key(), static_cast<std::size_t>(entry.keyLength()));
            } else {
              TracePrintf(block, __LINE__, "Retrieve Record Search Entry: 0x%.02X%.02X %*.*s l=%d o=%d r=%d",
                          entry.matchFlags(), entry.type(), entry.keyLength(), entry.keyLength(),
                          reinterpret_cast<const char*>(entry.key()), entry.keyLength(), dataOffset, filter.recordLength);
            }
          }
        }
      }
      if (st == status::kFalse) break;  // the same entry is offered again
      if (filter.retrievePosition >= filter.searchEntryCount) {
        filter.retrieveCursor = nullptr;
        filter.retrievePosition = 0;
        break;
      }
      filter.retrieveCursor = entry.Next().start();
      ++filter.retrievePosition;
    }
  }
  if (st == status::kNoMoreRecords) {
    filter.retrieveCursor = nullptr;
    filter.retrievePosition = 0;
  }
  return trace.Exit(st, __LINE__);
}

}  // namespace vexfilt
