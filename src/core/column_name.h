// Column names and function codes in element records, and table names in plan headers.
#ifndef VEXFILT_CORE_COLUMN_NAME_H_
#define VEXFILT_CORE_COLUMN_NAME_H_

#include <cstdint>

#include "core/plan_format.h"

namespace vexfilt {

// Reads the function code and the column name from bytes 80 to 84 of an element record: a byte from 1 to
// 31 is a function code (a later one replaces an earlier one), the first byte above 31 starts the 11-byte
// name and ends the scan. `name` must hold 11 blanks and `functionCode` 0 on entry; a record without a
// name byte leaves them so. Always 0.
// REQUIRES: 95 readable bytes at `record` (the name may start at 84 and run to 94).
std::int32_t FixColumnName(const std::uint8_t* record, char name[kColumnNameSize], std::uint8_t* functionCode);

// True when `name` (terminated, at most its first 10 characters used) names the table. Either ends at its
// tenth character or at a zero byte, and a shorter one counts as padded with blanks: "ABC" names a table
// written "ABC       " as well as one written "ABC" and a zero byte.
bool NamesTable(const char* name, const char tableName[kTableNameSize]);

// The table name as a terminated string, for messages that print it with "%s".
struct TableNameText {
  char text[kTableNameSize + 1];
};
TableNameText TableNameOf(const char tableName[kTableNameSize]);

}  // namespace vexfilt

#endif  // VEXFILT_CORE_COLUMN_NAME_H_
