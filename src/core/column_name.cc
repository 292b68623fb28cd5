#include "core/column_name.h"

#include <cstddef>
#include <cstring>

namespace vexfilt {

std::int32_t FixColumnName(const std::uint8_t* record, char name[kColumnNameSize], std::uint8_t* functionCode) {
  // From the first byte of the 32-bit function code to the first byte of the name that follows it.
  constexpr std::size_t kFirst = offsetof(VxpElement, functionCode), kLast = offsetof(VxpElement, columnName);
  for (std::size_t offset = kFirst; offset <= kLast; ++offset) {
    const std::uint8_t byte = record[offset];
    if (byte >= 1 && byte <= 31) {
      *functionCode = byte;
    } else if (byte > 31) {
      std::memcpy(name, record + offset, kColumnNameSize);
      break;
    }
  }
  return 0;
}

bool NamesTable(const char* name, const char tableName[kTableNameSize]) {
  bool nameEnded = false, tableEnded = false;
  for (std::size_t i = 0; i < kTableNameSize; ++i) {
    nameEnded = nameEnded || name[i] == '\0';
    tableEnded = tableEnded || tableName[i] == '\0';
    const char a = nameEnded ? ' ' : name[i];
    const char b = tableEnded ? ' ' : tableName[i];
    if (a != b) return false;
  }
  return true;
}

TableNameText TableNameOf(const char tableName[kTableNameSize]) {
  TableNameText out{};
  std::memcpy(out.text, tableName, kTableNameSize);
  out.text[kTableNameSize] = '\0';
  return out;
}

}  // namespace vexfilt
