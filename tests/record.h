// Records for tests: bytes with values placed at column offsets.
#ifndef VEXFILT_TESTS_RECORD_H_
#define VEXFILT_TESTS_RECORD_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace vexfilt::testing {

class Record {
 public:
  explicit Record(std::size_t size = 32, std::uint8_t fill = 0) : bytes_(size, fill) {}
  template <typename T>
  Record& At(int offset, T value) {
    StoreUnaligned(bytes_.data() + offset, value);
    return *this;
  }
  Record& Text(int offset, const std::string& text) {
    std::memcpy(bytes_.data() + offset, text.data(), text.size());
    return *this;
  }
  // A varying column: 2-byte length prefix, then the text.
  Record& Varying(int offset, const std::string& text) {
    At(offset, static_cast<std::uint16_t>(text.size()));
    return Text(offset + 2, text);
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_RECORD_H_
