// Comma-separated rows: quoted fields, doubled quotes, CRLF or LF line ends.
#ifndef VEXFILT_TOOLS_VEXFILT_CSV_H_
#define VEXFILT_TOOLS_VEXFILT_CSV_H_

#include <string>
#include <string_view>
#include <vector>

namespace vexfilt::cli {

struct CsvRow {
  int line = 0;  // 1-based line where the row starts
  std::vector<std::string> fields;
};

// Splits `text` into rows; blank lines are skipped. Returns false and sets `error` on an unterminated quote.
bool ParseCsv(std::string_view text, std::vector<CsvRow>* rows, std::string* error);

// A field as CSV output writes it: quoted only when it has to be.
std::string CsvField(std::string_view value);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_CSV_H_
