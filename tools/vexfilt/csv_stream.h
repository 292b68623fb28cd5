// CSV rows read as a stream: a block at a time from a file descriptor or from text in memory, so memory stays
// the same whatever the input's size. Quoted fields, doubled quotes, CRLF or LF line ends.
#ifndef VEXFILT_TOOLS_VEXFILT_CSV_STREAM_H_
#define VEXFILT_TOOLS_VEXFILT_CSV_STREAM_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vexfilt::cli {

class CsvStream {
 public:
  // Reads `fd`, which stays the caller's to close.
  explicit CsvStream(int fd);
  // Reads `text`, which must outlive the stream.
  explicit CsvStream(std::string_view text);

  enum class Next {
    kRow,      // fields(), line() and text() describe the row
    kEnd,      // the input is over
    kTimeout,  // no whole row arrived in the time allowed; a part of one stays for the next call
    kError,    // error() says what; the stream is over
  };
  // The next row. `timeoutMs` bounds the wait for input on a pipe or terminal (-1: no bound).
  Next Read(int timeoutMs = -1);

  // The row's fields, valid until the next Read.
  const std::vector<std::string_view>& fields() const { return fields_; }
  // The 1-based line the row starts on.
  int line() const { return rowLine_; }
  // The row as it stood in the input, without its line end, when it held no quote; quoted rows give "\"".
  // Blank lines and separator lines are told by it.
  std::string_view text() const { return rowText_; }
  const std::string& error() const { return error_; }

  // Rows may not outgrow this: a longer one is input that is not CSV, not a row to hold in memory.
  static constexpr std::size_t kMaxRowBytes = std::size_t{8} << 20;

 private:
  // Where the row starting at begin_ ends: false when the buffer does not hold all of it yet.
  bool FindRowEnd(std::size_t* contentEnd, std::size_t* next, int* newlines) const;
  void SplitQuoted(std::size_t end);
  // Reads more input after what the buffer holds; false on a timeout or an error (error_ set).
  bool Fill(int timeoutMs, bool* timedOut);

  int fd_ = -1;
  std::vector<char> owned_;  // the buffer of a descriptor stream
  char* data_ = nullptr;
  std::size_t begin_ = 0, end_ = 0;
  bool atEof_ = false;
  bool failed_ = false;
  int nextLine_ = 1;
  int rowLine_ = 0;
  std::string_view rowText_;
  std::vector<std::string_view> fields_;
  std::string error_;
};

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_CSV_STREAM_H_
