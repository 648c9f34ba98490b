// The transfer cipher: Blowfish in ECB order keyed with 16 bytes of the key table, with
// which file data travels enciphered when the service asks for it. An upload picks its key
// index from a seed (the time) and names it to the service by its key code; a download
// takes the index from a value the service sends. A cipher object is made per request and
// discarded after it; its operations are const and may run on any thread.
#ifndef NVX_CODEC_TRANSFER_CIPHER_H_
#define NVX_CODEC_TRANSFER_CIPHER_H_

#include <cstddef>
#include <cstdint>

#include "codec/blowfish.h"

namespace nvx {

// Upload key indices lie below this; download key indices below the second.
inline constexpr int64_t kUploadKeyIndexCount = 496;
inline constexpr int64_t kDownloadKeyIndexCount = 511;

// A length rounded up to whole cipher blocks: 0 stays 0, 8 stays 8, 9 becomes 16.
[[nodiscard]] constexpr size_t RoundUpToBlock(size_t count) {
  return (count + (Blowfish::kBlockSize - 1)) & ~(Blowfish::kBlockSize - 1);
}

// The key code that names key index `key_index` to the service: the index as a 16-bit
// value with its two bytes swapped (index 300, 0x012C, gives 0x2C01 = 11265).
[[nodiscard]] constexpr uint16_t KeyCodeOf(size_t key_index) {
  auto index = static_cast<uint16_t>(key_index);
  return static_cast<uint16_t>((index << 8) | (index >> 8));
}
// The key index a key code names.
[[nodiscard]] constexpr size_t KeyIndexOfCode(uint16_t key_code) {
  return static_cast<uint16_t>((key_code << 8) | (key_code >> 8));
}

class TransferCipher {
 public:
  // A cipher keyed with the 16 table bytes at `key_index` (taken modulo 512).
  explicit TransferCipher(size_t key_index);

  size_t key_index() const { return key_index_; }
  uint16_t key_code() const { return KeyCodeOf(key_index_); }

  // Enciphers `count` bytes of `data` into `out`, the last block padded with zeros, and
  // returns RoundUpToBlock(count). Reads exactly `count` bytes; `out` must hold
  // RoundUpToBlock(count) bytes. `data` and `out` may be the same buffer (then it must hold
  // the rounded count) but must not otherwise overlap.
  size_t Encipher(const void* data, size_t count, void* out) const;

  // Deciphers (count + 7) / 8 blocks of `data` into `out` and returns RoundUpToBlock(count).
  // Reads exactly `count` bytes (a trailing part block is taken as if padded with zeros);
  // `out` must hold RoundUpToBlock(count) bytes. In place when `data` and `out` are the same.
  size_t Decipher(const void* data, void* out, size_t count) const;

 private:
  using BlockOperation = void (Blowfish::*)(const uint8_t* in, uint8_t* out, size_t blocks) const;
  // Runs `operation` over the whole blocks of `data` and over the zero-padded rest.
  [[nodiscard]] size_t Apply(BlockOperation operation, const void* data, size_t count,
                             void* out) const;

  size_t key_index_;
  Blowfish blowfish_;
};

// The key index of an upload: seed modulo 496 (never negative), the seed being the time
// in seconds; requests name it by its key code.
[[nodiscard]] size_t UploadKeyIndex(int64_t seed);
// The key index of a download: value modulo 511, the value coming from the service.
[[nodiscard]] size_t DownloadKeyIndex(int64_t value);

// The ciphers of those key indices.
[[nodiscard]] TransferCipher CipherForUpload(int64_t seed);
[[nodiscard]] TransferCipher CipherForDownload(int64_t value);

}  // namespace nvx

#endif  // NVX_CODEC_TRANSFER_CIPHER_H_
