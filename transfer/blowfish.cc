#include "transfer/blowfish.h"

#include <bit>
#include <cstring>
#include <utility>

#include "transfer/secure_wipe.h"

namespace nvx {
namespace {

inline uint32_t LoadWord(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  return value;
}

inline void StoreWord(uint8_t* p, uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(p, &value, sizeof value);
}

#define NVX_BF_F(s, x)                                                              \
  ((((s)[0][(x) >> 24] + (s)[1][((x) >> 16) & 0xFF]) ^ (s)[2][((x) >> 8) & 0xFF]) + \
   (s)[3][(x)&0xFF])

// One round: `to` takes the round key and the mix of `from`.
#define NVX_BF_ROUND(to, from, key) (to) ^= NVX_BF_F(s, from) ^ (key)

// The sixteen rounds unrolled, encrypting; on return the halves are swapped back.
inline __attribute__((always_inline)) void EncryptPair(const uint32_t* p, const uint32_t (*s)[256],
                                                       uint32_t& left, uint32_t& right) {
  uint32_t l = left ^ p[0];
  uint32_t r = right;
  NVX_BF_ROUND(r, l, p[1]);
  NVX_BF_ROUND(l, r, p[2]);
  NVX_BF_ROUND(r, l, p[3]);
  NVX_BF_ROUND(l, r, p[4]);
  NVX_BF_ROUND(r, l, p[5]);
  NVX_BF_ROUND(l, r, p[6]);
  NVX_BF_ROUND(r, l, p[7]);
  NVX_BF_ROUND(l, r, p[8]);
  NVX_BF_ROUND(r, l, p[9]);
  NVX_BF_ROUND(l, r, p[10]);
  NVX_BF_ROUND(r, l, p[11]);
  NVX_BF_ROUND(l, r, p[12]);
  NVX_BF_ROUND(r, l, p[13]);
  NVX_BF_ROUND(l, r, p[14]);
  NVX_BF_ROUND(r, l, p[15]);
  NVX_BF_ROUND(l, r, p[16]);
  left = r ^ p[17];
  right = l;
}

inline __attribute__((always_inline)) void DecryptPair(const uint32_t* p, const uint32_t (*s)[256],
                                                       uint32_t& left, uint32_t& right) {
  uint32_t l = left ^ p[17];
  uint32_t r = right;
  NVX_BF_ROUND(r, l, p[16]);
  NVX_BF_ROUND(l, r, p[15]);
  NVX_BF_ROUND(r, l, p[14]);
  NVX_BF_ROUND(l, r, p[13]);
  NVX_BF_ROUND(r, l, p[12]);
  NVX_BF_ROUND(l, r, p[11]);
  NVX_BF_ROUND(r, l, p[10]);
  NVX_BF_ROUND(l, r, p[9]);
  NVX_BF_ROUND(r, l, p[8]);
  NVX_BF_ROUND(l, r, p[7]);
  NVX_BF_ROUND(r, l, p[6]);
  NVX_BF_ROUND(l, r, p[5]);
  NVX_BF_ROUND(r, l, p[4]);
  NVX_BF_ROUND(l, r, p[3]);
  NVX_BF_ROUND(r, l, p[2]);
  NVX_BF_ROUND(l, r, p[1]);
  left = r ^ p[0];
  right = l;
}

#undef NVX_BF_ROUND
#undef NVX_BF_F

}  // namespace

Blowfish::Blowfish(const uint8_t* key, size_t key_length) {
  std::memcpy(p_, kBlowfishInitialP, sizeof p_);
  std::memcpy(s_, kBlowfishInitialS, sizeof s_);
  if (key == nullptr) key_length = 0;
  if (key_length > kMaxKeyLength) key_length = kMaxKeyLength;

  if (key_length > 0) {
    size_t next = 0;
    for (uint32_t& word : p_) {
      uint32_t data = 0;
      for (int i = 0; i < 4; ++i) {
        data = (data << 8) | key[next];
        next = next + 1 == key_length ? 0 : next + 1;
      }
      word ^= data;
    }
  }

  // Every table word in turn is replaced by the encryption of the block before it,
  // starting from an all-zero block.
  uint32_t left = 0, right = 0;
  for (size_t i = 0; i < kBlowfishPWords; i += 2) {
    EncryptPair(p_, s_, left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (size_t i = 0; i < 256; i += 2) {
      EncryptPair(p_, s_, left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

Blowfish::~Blowfish() {
  SecureWipe(p_, sizeof p_);
  SecureWipe(s_, sizeof s_);
}

void Blowfish::EncryptWords(uint32_t& left, uint32_t& right) const {
  EncryptPair(p_, s_, left, right);
}

void Blowfish::DecryptWords(uint32_t& left, uint32_t& right) const {
  DecryptPair(p_, s_, left, right);
}

void Blowfish::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
  for (; blocks > 0; --blocks, in += kBlockSize, out += kBlockSize) {
    uint32_t left = LoadWord(in), right = LoadWord(in + 4);
    EncryptPair(p_, s_, left, right);
    StoreWord(out, left);
    StoreWord(out + 4, right);
  }
}

void Blowfish::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
  for (; blocks > 0; --blocks, in += kBlockSize, out += kBlockSize) {
    uint32_t left = LoadWord(in), right = LoadWord(in + 4);
    DecryptPair(p_, s_, left, right);
    StoreWord(out, left);
    StoreWord(out + 4, right);
  }
}

}  // namespace nvx
