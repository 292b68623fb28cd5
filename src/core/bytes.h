// Byte helpers shared by every unit. Plans, pools and records are byte buffers with no alignment promise,
// so every multi-byte value is read and written through memcpy, never through a cast pointer.
#ifndef VEXFILT_CORE_BYTES_H_
#define VEXFILT_CORE_BYTES_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vexfilt {

static_assert(std::endian::native == std::endian::little,
              "plans, pools and records are laid out in the local byte order, taken as little-endian");

// Reads a T at `p`, any alignment. REQUIRES: sizeof(T) readable bytes at p.
template <typename T>
inline T LoadUnaligned(const void* p) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// Writes a T at `p`, any alignment. REQUIRES: sizeof(T) writable bytes at p.
template <typename T>
inline void StoreUnaligned(void* p, T value) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(p, &value, sizeof value);
}

// Address `offset` bytes after `base`, keeping constness.
inline const std::uint8_t* BytesAt(const void* base, std::ptrdiff_t offset) {
  return static_cast<const std::uint8_t*>(base) + offset;
}
inline std::uint8_t* BytesAt(void* base, std::ptrdiff_t offset) { return static_cast<std::uint8_t*>(base) + offset; }

// The next multiple of 8 at or above n.
constexpr std::size_t RoundUpTo8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

// Reverses the byte order of an integer.
template <typename T>
constexpr T SwapBytes(T value) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(value), out = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out = static_cast<U>((out << 8) | (u & 0xFF));
    u = static_cast<U>(u >> 8);
  }
  return static_cast<T>(out);
}

}  // namespace vexfilt

#endif  // VEXFILT_CORE_BYTES_H_
