// Byte order in one place: 32-bit words stored least significant byte first, as the
// digest and the cipher keep them. Stateless; any thread.
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

}  // namespace nvx

#endif  // NVX_CODEC_CODING_H_
