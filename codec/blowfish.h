// The Blowfish block cipher (16 rounds, the published key schedule) with this system's
// byte convention: each 8-byte block is two 32-bit words stored least significant byte
// first, the first word being the left half; output words are stored the same way. Text
// enciphered here deciphers correctly only under the same convention.
//
// A Blowfish object holds one key schedule (about 4 KB) and wipes it when it goes. Its
// const operations may run on several threads at once.
#ifndef NVX_CODEC_BLOWFISH_H_
#define NVX_CODEC_BLOWFISH_H_

#include <cstddef>
#include <cstdint>

#include "codec/blowfish_tables.h"

namespace nvx {

class Blowfish {
 public:
  static constexpr size_t kBlockSize = 8;
  // Key bytes beyond this many do not reach the schedule and are ignored.
  static constexpr size_t kMaxKeyLength = 4 * kBlowfishPWords;

  // Builds the schedule of `key_length` key bytes, taken cyclically. An empty key leaves
  // the initial tables unmixed with key material.
  Blowfish(const uint8_t* key, size_t key_length);
  ~Blowfish();
  Blowfish(const Blowfish&) = default;
  Blowfish& operator=(const Blowfish&) = default;

  // One block as two words, left and right half.
  void EncryptWords(uint32_t& left, uint32_t& right) const;
  void DecryptWords(uint32_t& left, uint32_t& right) const;

  // `blocks` whole 8-byte blocks in ECB order, from `in` to `out` (which may be the same
  // buffer, but must not otherwise overlap).
  void EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const;
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const;

 private:
  uint32_t p_[kBlowfishPWords];
  uint32_t s_[4][256];
};

}  // namespace nvx

#endif  // NVX_CODEC_BLOWFISH_H_
