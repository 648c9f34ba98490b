// The key table of the transfer cipher: the key material from which every transfer key
// and every scrambled text is keyed. A key is the 16 consecutive table bytes that start
// at a key index. The library and the service share this one table. Read-only data; any
// thread.
#ifndef NVX_CODEC_KEY_TABLE_H_
#define NVX_CODEC_KEY_TABLE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace nvx {

inline constexpr size_t kTransferKeyLength = 16;
// Distinct bytes of key material; key indices are taken modulo this.
inline constexpr size_t kKeyMaterialSize = 512;
// The stored table repeats the first 15 bytes of the material after its end, so that
// every key index of the material (0 to 511) reads its 16 bytes inside the table.
inline constexpr size_t kKeyTableSize = kKeyMaterialSize + kTransferKeyLength - 1;

// The whole stored table.
const std::array<uint8_t, kKeyTableSize>& KeyTable();

// The 16 key bytes at `index` modulo 512; never outside the table.
[[nodiscard]] std::span<const uint8_t, kTransferKeyLength> TransferKeyAt(size_t index);

}  // namespace nvx

#endif  // NVX_CODEC_KEY_TABLE_H_
