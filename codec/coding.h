// Byte order in one place: words stored least significant byte first, as the digest and
// the cipher keep them, and most significant byte first, as a database server sends its
// binary integers. Stateless; any thread.
#ifndef NVX_CODEC_CODING_H_
#define NVX_CODEC_CODING_H_

#include <bit>
#include <cstdint>
#include <cstring>

namespace nvx {

[[nodiscard]] inline uint32_t LoadLittleEndian32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  return value;
}

inline void StoreLittleEndian32(uint8_t* p, uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(p, &value, sizeof value);
}

inline uint64_t LoadLittleEndian64(const uint8_t* p) {
  return LoadLittleEndian32(p) | (uint64_t{LoadLittleEndian32(p + 4)} << 32);
}

inline void StoreLittleEndian64(uint8_t* p, uint64_t value) {
  StoreLittleEndian32(p, static_cast<uint32_t>(value));
  StoreLittleEndian32(p + 4, static_cast<uint32_t>(value >> 32));
}

// An unsigned integer of `size` bytes (at most 8), most significant byte first.
inline uint64_t LoadBigEndian(const uint8_t* p, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) value = (value << 8) | p[i];
  return value;
}

}  // namespace nvx

#endif  // NVX_CODEC_CODING_H_
