#include "filter/column_name.h"

#include <cstring>

namespace vexfilt {

std::int32_t FLT1_FixColumnName(const std::uint8_t* record, char name[11], std::uint8_t* functionCode) {
  constexpr int kFirst = 80, kLast = 84, kNameLength = 11;
  for (int offset = kFirst; offset <= kLast; ++offset) {
    const std::uint8_t byte = record[offset];
    if (byte >= 1 && byte <= 31) {
      *functionCode = byte;
    } else if (byte > 31) {
      std::memcpy(name, record + offset, kNameLength);
      break;
    }
  }
  return 0;
}

bool NamesTable(const char* name, const char tableName[10]) {
  bool nameEnded = false, tableEnded = false;
  for (int i = 0; i < 10; ++i) {
    nameEnded = nameEnded || name[i] == '\0';
    tableEnded = tableEnded || tableName[i] == '\0';
    const char a = nameEnded ? ' ' : name[i];
    const char b = tableEnded ? ' ' : tableName[i];
    if (a != b) return false;
  }
  return true;
}

TableNameText TableNameOf(const char tableName[10]) {
  TableNameText out{};
  std::memcpy(out.text, tableName, 10);
  out.text[10] = '\0';
  return out;
}

}  // namespace vexfilt
