#include "csv.h"

namespace vexfilt::cli {

bool ParseCsv(std::string_view text, std::vector<CsvRow>* rows, std::string* error) {
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    CsvRow row;
    row.line = line;
    std::string field;
    bool rowHasData = false;
    for (;;) {
      if (i < text.size() && text[i] == '"') {
        rowHasData = true;
        const int quoteLine = line;
        ++i;
        for (;;) {
          if (i >= text.size()) {
            *error = "line " + std::to_string(quoteLine) + ": a quoted field is not closed";
            return false;
          }
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          field += text[i++];
        }
      }
      while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
        rowHasData = true;
        field += text[i++];
      }
      row.fields.push_back(std::move(field));
      field.clear();
      if (i < text.size() && text[i] == ',') {
        rowHasData = true;
        ++i;
        continue;
      }
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
      ++line;
      break;
    }
    if (rowHasData) rows->push_back(std::move(row));
  }
  return true;
}

std::string CsvField(std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace vexfilt::cli
