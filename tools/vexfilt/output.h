// What the program prints: matching rows, sample headings, missing keys and counts, as CSV, as aligned
// columns for a terminal, or as JSON lines for other programs.
#ifndef VEXFILT_TOOLS_VEXFILT_OUTPUT_H_
#define VEXFILT_TOOLS_VEXFILT_OUTPUT_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vexfilt::cli {

enum class OutputFormat { kCsv, kTable, kJsonLines };

// "csv", "table" or "jsonl"; false for another name.
bool OutputFormatNamed(std::string_view name, OutputFormat* format);

struct SampleLabel {
  std::size_t number = 0;  // from 1
  std::string name;        // the file, "<stdin>" or the live table
  std::string time;        // when a sample of a stream or of this machine was taken; empty for a file
};

class Output {
 public:
  // `numeric[i]` marks columns printed as numbers: right-aligned in a table, unquoted in JSON.
  Output(OutputFormat format, std::vector<std::string> columns, std::vector<bool> numeric, std::FILE* out);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Heading(const SampleLabel& sample);
  void Row(const SampleLabel& sample, const std::vector<std::string>& values);
  void NoRows(const SampleLabel& sample);
  void Missing(const SampleLabel& sample, const std::string& key);
  // `named`: several files were given, so each count carries its file's name, as grep -c prints them.
  void Count(const SampleLabel& sample, long count, bool named);
  // A sample's rows are all printed: a table prints what it held back to align.
  void EndSample();

  // Rows a table holds back before it prints them aligned; later rows keep at least those widths.
  static constexpr std::size_t kTableRowsHeld = 1000;

 private:
  void FlushTable();
  void JsonStart(const SampleLabel& sample);

  OutputFormat format_;
  std::vector<std::string> columns_;
  std::vector<bool> numeric_;
  std::FILE* out_;
  bool csvHeaderPrinted_ = false;
  std::vector<std::vector<std::string>> held_;
  std::vector<std::size_t> widths_;
  std::string line_;  // the CSV line being put together, kept for its room
};

// `text` as a JSON string, quotes included; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_OUTPUT_H_
