#include "live_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "live_text.h"

namespace vexfilt::cli {

const std::vector<std::string>& LiveTableNames() {
  static const std::vector<std::string> names = {"processes", "filesystems", "interfaces", "disks"};
  return names;
}

std::unique_ptr<LiveTable> OpenLiveTable(std::string_view name) {
  if (name == "processes") return live::OpenProcesses();
  if (name == "filesystems") return live::OpenFilesystems();
  if (name == "interfaces") return live::OpenInterfaces();
  if (name == "disks") return live::OpenDisks();
  return nullptr;
}

namespace live {

std::string SchemaText(const std::vector<Column>& columns) {
  std::string text;
  for (const Column& column : columns) {
    text.append(text.empty() ? "" : ", ").append(column.name).append(" ").append(column.type);
  }
  return text;
}

int ReadWholeFile(const std::string& path, std::string* text) {
  text->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return error;
    }
    text->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return 0;
}

std::string CannotRead(const std::string& path, int error) {
  return path + ": cannot be read (" + std::system_category().message(error) + ")";
}

bool ReadSource(const std::string& path, std::string* text, std::string* error) {
  const int failure = ReadWholeFile(path, text);
  if (failure != 0) *error = CannotRead(path, failure);
  return failure == 0;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  constexpr std::string_view kBlanks = " \t\r\n";
  for (std::size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;) {
    const std::size_t end = line.find_first_of(kBlanks, at);
    words.push_back(line.substr(at, end - at));
    at = line.find_first_not_of(kBlanks, end);
  }
  return words;
}

template <typename T>
static bool ParseWhole(std::string_view word, T* value) {
  const char* end = word.data() + word.size();
  const auto [stop, error] = std::from_chars(word.data(), end, *value);
  return error == std::errc() && stop == end && !word.empty();
}
bool ParseNumber(std::string_view word, std::uint64_t* value) { return ParseWhole(word, value); }
bool ParseNumber(std::string_view word, std::int64_t* value) { return ParseWhole(word, value); }

std::string Uint32Text(std::uint64_t value) {
  return std::to_string(std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

std::string DoubleText(double value) {
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : "0";
}

double RoundToTenth(double value) { return std::round(value * 10) / 10; }

std::string Fitted(std::string_view value, std::size_t capacity) {
  std::string text(value);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  if (text.size() > capacity) {
    std::size_t cut = capacity;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

}  // namespace live
}  // namespace vexfilt::cli
