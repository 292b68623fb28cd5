// What the live tables share: reading proc files, splitting their text and writing values as columns take them.
#ifndef VEXFILT_TOOLS_VEXFILT_LIVE_LIVE_TEXT_H_
#define VEXFILT_TOOLS_VEXFILT_LIVE_LIVE_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "live_table.h"

namespace vexfilt::cli::live {

// A table's column: its name and type as the schema text writes them.
struct Column {
  const char* name;
  const char* type;
};
std::string SchemaText(const std::vector<Column>& columns);

// The whole of a file: 0, or the errno of what failed. Proc files report no size, so it reads to the end.
int ReadWholeFile(const std::string& path, std::string* text);
// "PATH: cannot be read (why)", for a Read that fails.
std::string CannotRead(const std::string& path, int error);
// The whole of a file a table cannot do without; false with `error` saying why it cannot be read.
bool ReadSource(const std::string& path, std::string* text, std::string* error);

// A table whose columns and key columns are fixed.
class FixedTable : public LiveTable {
 public:
  FixedTable(const std::vector<Column>& columns, std::vector<std::string> keys)
      : schema_(SchemaText(columns)), keys_(std::move(keys)) {}
  std::string Schema() const override { return schema_; }
  std::vector<std::string> KeyColumns() const override { return keys_; }

 private:
  std::string schema_;
  std::vector<std::string> keys_;
};

std::vector<std::string_view> Lines(std::string_view text);
std::vector<std::string_view> Words(std::string_view line);
bool ParseNumber(std::string_view word, std::uint64_t* value);
bool ParseNumber(std::string_view word, std::int64_t* value);

// A counter as a uint32 column takes it. Counters past 4294967295 are held there rather than wrapped, so a
// large value never reads as a small one; CHANGE of a held counter is 0 until the column is widened.
std::string Uint32Text(std::uint64_t value);
// A double as text that reads back as the same value ("12.5", "0", "137438953472").
std::string DoubleText(double value);
double RoundToTenth(double value);
// A text value fitted to a column of `capacity` bytes. Control bytes become '?', as ps shows them: a record
// cannot hold the bytes 0 and 1 that end its text values, and the others would disturb a terminal. A longer
// value is cut before the UTF-8 character that would cross the end, so that no half character is shown.
std::string Fitted(std::string_view value, std::size_t capacity);

std::unique_ptr<LiveTable> OpenProcesses();
std::unique_ptr<LiveTable> OpenFilesystems();
std::unique_ptr<LiveTable> OpenInterfaces();
std::unique_ptr<LiveTable> OpenDisks();

}  // namespace vexfilt::cli::live

#endif  // VEXFILT_TOOLS_VEXFILT_LIVE_LIVE_TEXT_H_
