// Bytes that end where a readable page ends and an unreadable one begins: a routine that reads even one
// byte past them faults at once, in every build, with or without sanitizers.
#ifndef VEXFILT_TESTS_GUARDED_BYTES_H_
#define VEXFILT_TESTS_GUARDED_BYTES_H_

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vexfilt::testing {

class GuardedBytes {
 public:
  explicit GuardedBytes(const std::uint8_t* bytes, std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    readable_ = (size + page - 1) / page * page;
    if (readable_ == 0) readable_ = page;
    mapped_ = static_cast<std::uint8_t*>(
        mmap(nullptr, readable_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (mapped_ == MAP_FAILED || mprotect(mapped_ + readable_, page, PROT_NONE) != 0) std::abort();
    length_ = readable_ + page;
    data_ = mapped_ + readable_ - size;
    if (size > 0) std::memcpy(data_, bytes, size);
  }
  explicit GuardedBytes(const std::vector<std::uint8_t>& bytes) : GuardedBytes(bytes.data(), bytes.size()) {}
  ~GuardedBytes() { munmap(mapped_, length_); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  const std::uint8_t* data() const { return data_; }
  std::uint8_t* data() { return data_; }

 private:
  std::uint8_t* mapped_ = nullptr;
  std::size_t readable_ = 0;
  std::size_t length_ = 0;
  std::uint8_t* data_ = nullptr;
};

}  // namespace vexfilt::testing

#endif  // VEXFILT_TESTS_GUARDED_BYTES_H_
