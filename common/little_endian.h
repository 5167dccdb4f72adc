// Unsigned integers stored least significant byte first, as Windows program files and Jet
// databases hold them, read and written byte by byte so that neither the host's byte order nor the
// alignment of the bytes matters.
#ifndef COMMON_LITTLE_ENDIAN_H_
#define COMMON_LITTLE_ENDIAN_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace common {

// The `size` bytes (at most 8) at `p` as an unsigned number.
inline uint64_t ReadLittleEndian(const void* p, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(p);
  uint64_t value = 0;
  for (size_t i = size; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

inline uint16_t ReadLe16(const void* p) { return static_cast<uint16_t>(ReadLittleEndian(p, 2)); }
inline uint32_t ReadLe32(const void* p) { return static_cast<uint32_t>(ReadLittleEndian(p, 4)); }
inline uint64_t ReadLe64(const void* p) { return ReadLittleEndian(p, 8); }

// Appends the `size` (at most 8) lowest bytes of `value` to *out, least significant first.
inline void AppendLittleEndian(std::string* out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace common

#endif  // COMMON_LITTLE_ENDIAN_H_
