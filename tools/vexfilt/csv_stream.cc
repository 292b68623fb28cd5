#include "csv_stream.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexfilt::cli {
namespace {

// A block large enough that a read costs little per row, small enough to stay in the second-level cache.
constexpr std::size_t kBlockBytes = std::size_t{256} << 10;

}  // namespace

CsvStream::CsvStream(int fd) : fd_(fd), owned_(kBlockBytes), data_(owned_.data()) {}

CsvStream::CsvStream(std::string_view text) : owned_(text.begin(), text.end()), atEof_(true) {
  data_ = owned_.data();
  end_ = owned_.size();
}

bool CsvStream::FindRowEnd(std::size_t* contentEnd, std::size_t* next, int* newlines) const {
  *newlines = 0;
  // Line ends inside quotes belong to the field.
  bool quoted = false;
  for (std::size_t i = begin_; i < end_; ++i) {
    const char c = data_[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\n') {
      if (!quoted) {
        *contentEnd = i > begin_ && data_[i - 1] == '\r' ? i - 1 : i;
        *next = i + 1;
        return true;
      }
      ++*newlines;
    }
  }
  if (!atEof_ || quoted) return false;
  *contentEnd = end_;
  *next = end_;
  return true;
}

// Quoted fields lose their quotes and doubled quotes their twin; the row is rewritten in place, which only
// ever shortens it. Text after a closing quote joins the field, as the quotes were meant to enclose it.
void CsvStream::SplitQuoted(std::size_t end) {
  std::size_t i = begin_;
  for (;;) {
    char* const field = data_ + i;
    char* write = field;
    bool quoted = false;
    for (; i < end; ++i) {
      const char c = data_[i];
      if (quoted) {
        if (c != '"') {
          *write++ = c;
        } else if (i + 1 < end && data_[i + 1] == '"') {
          *write++ = '"';
          ++i;
        } else {
          quoted = false;
        }
      } else if (c == '"') {
        quoted = true;
      } else if (c == ',') {
        break;
      } else {
        *write++ = c;
      }
    }
    fields_.emplace_back(field, static_cast<std::size_t>(write - field));
    if (i >= end) break;
    ++i;  // the comma
  }
}

bool CsvStream::Fill(int timeoutMs, bool* timedOut) {
  *timedOut = false;
  if (begin_ > 0) {
    std::memmove(data_, data_ + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == owned_.size()) {
    if (owned_.size() >= kMaxRowBytes) {
      error_ = "line " + std::to_string(nextLine_) + ": a row longer than " + std::to_string(kMaxRowBytes >> 20) +
               " MiB";
      return false;
    }
    owned_.resize(owned_.size() * 2);
    data_ = owned_.data();
  }
  if (timeoutMs >= 0) {
    pollfd ready{fd_, POLLIN, 0};
    const int polled = poll(&ready, 1, timeoutMs);
    // A signal (an interrupt asking the program to stop) ends the wait as the time running out does.
    if (polled == 0 || (polled < 0 && errno == EINTR)) {
      *timedOut = true;
      return false;
    }
  }
  for (;;) {
    const ssize_t got = ::read(fd_, data_ + end_, owned_.size() - end_);
    if (got > 0) {
      end_ += static_cast<std::size_t>(got);
      return true;
    }
    if (got == 0) {
      atEof_ = true;
      return true;
    }
    if (errno == EINTR) {
      *timedOut = true;
      return false;
    }
    error_ = std::string("read failed: ") + std::strerror(errno);
    return false;
  }
}

CsvStream::Next CsvStream::Read(int timeoutMs) {
  if (failed_) return Next::kError;
  fields_.clear();
  for (;;) {
    // Most rows hold no quote: one pass splits them at their commas and finds their end.
    if (begin_ < end_) {
      const char* const start = data_ + begin_;
      const char* const stop = data_ + end_;
      const char* field = start;
      const char* at = start;
      for (; at != stop; ++at) {
        const char c = *at;
        if (c == ',') {
          fields_.emplace_back(field, static_cast<std::size_t>(at - field));
          field = at + 1;
        } else if (c == '\n' || c == '"') {
          break;
        }
      }
      if (at == stop ? atEof_ : *at == '\n') {
        const char* contentEnd = at > start && at[-1] == '\r' ? at - 1 : at;
        // The last field ends before a CR that ends the line (never before its own start: a comma is no CR).
        fields_.emplace_back(field, static_cast<std::size_t>(contentEnd - field));
        rowLine_ = nextLine_++;
        rowText_ = std::string_view(start, static_cast<std::size_t>(contentEnd - start));
        begin_ = static_cast<std::size_t>(at - data_) + (at == stop ? 0 : 1);
        return Next::kRow;
      }
      fields_.clear();
    }
    std::size_t contentEnd = 0, next = 0;
    int newlines = 0;
    if (begin_ < end_ && FindRowEnd(&contentEnd, &next, &newlines)) {
      rowLine_ = nextLine_;
      nextLine_ += 1 + newlines;
      // Only a row with a quote comes here: the pass above takes the others.
      rowText_ = "\"";
      SplitQuoted(contentEnd);
      begin_ = next;
      return Next::kRow;
    }
    if (atEof_) {
      if (begin_ >= end_) return Next::kEnd;
      failed_ = true;
      error_ = "line " + std::to_string(nextLine_) + ": a quoted field is not closed";
      return Next::kError;
    }
    bool timedOut = false;
    if (!Fill(timeoutMs, &timedOut)) {
      if (timedOut) return Next::kTimeout;
      failed_ = true;
      return Next::kError;
    }
  }
}

}  // namespace vexfilt::cli
