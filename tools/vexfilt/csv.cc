#include "csv.h"

namespace vexfilt::cli {

void AppendCsvField(std::string_view value, std::string* out) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    out->append(value);
    return;
  }
  *out += '"';
  for (char c : value) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

std::string CsvField(std::string_view value) {
  std::string out;
  AppendCsvField(value, &out);
  return out;
}

}  // namespace vexfilt::cli
