// Unsigned integers stored most significant byte first, as font files hold them, read byte by
// byte so that neither the host's byte order nor the alignment of the bytes matters.
#ifndef COMMON_BIG_ENDIAN_H_
#define COMMON_BIG_ENDIAN_H_

#include <cstddef>
#include <cstdint>

namespace common {

// The `size` bytes (at most 8) at `p` as an unsigned number.
inline uint64_t ReadBigEndian(const void* p, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) value = (value << 8) | bytes[i];
  return value;
}

inline uint16_t ReadBe16(const void* p) { return static_cast<uint16_t>(ReadBigEndian(p, 2)); }
inline uint32_t ReadBe32(const void* p) { return static_cast<uint32_t>(ReadBigEndian(p, 4)); }

}  // namespace common

#endif  // COMMON_BIG_ENDIAN_H_
