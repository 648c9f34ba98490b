#include "codec/blowfish.h"

#include <cstring>
#include <utility>

#include "codec/coding.h"
#include "codec/secure_wipe.h"

namespace nvx {
namespace {

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

// Two independent blocks with their rounds interleaved, so that the table look-ups of one
// overlap those of the other.
inline __attribute__((always_inline)) void EncryptTwo(const uint32_t* p, const uint32_t (*s)[256],
                                                      uint32_t& l0, uint32_t& r0, uint32_t& l1,
                                                      uint32_t& r1) {
  uint32_t a = l0 ^ p[0], b = r0, c = l1 ^ p[0], d = r1;
  NVX_BF_ROUND(b, a, p[1]);
  NVX_BF_ROUND(d, c, p[1]);
  NVX_BF_ROUND(a, b, p[2]);
  NVX_BF_ROUND(c, d, p[2]);
  NVX_BF_ROUND(b, a, p[3]);
  NVX_BF_ROUND(d, c, p[3]);
  NVX_BF_ROUND(a, b, p[4]);
  NVX_BF_ROUND(c, d, p[4]);
  NVX_BF_ROUND(b, a, p[5]);
  NVX_BF_ROUND(d, c, p[5]);
  NVX_BF_ROUND(a, b, p[6]);
  NVX_BF_ROUND(c, d, p[6]);
  NVX_BF_ROUND(b, a, p[7]);
  NVX_BF_ROUND(d, c, p[7]);
  NVX_BF_ROUND(a, b, p[8]);
  NVX_BF_ROUND(c, d, p[8]);
  NVX_BF_ROUND(b, a, p[9]);
  NVX_BF_ROUND(d, c, p[9]);
  NVX_BF_ROUND(a, b, p[10]);
  NVX_BF_ROUND(c, d, p[10]);
  NVX_BF_ROUND(b, a, p[11]);
  NVX_BF_ROUND(d, c, p[11]);
  NVX_BF_ROUND(a, b, p[12]);
  NVX_BF_ROUND(c, d, p[12]);
  NVX_BF_ROUND(b, a, p[13]);
  NVX_BF_ROUND(d, c, p[13]);
  NVX_BF_ROUND(a, b, p[14]);
  NVX_BF_ROUND(c, d, p[14]);
  NVX_BF_ROUND(b, a, p[15]);
  NVX_BF_ROUND(d, c, p[15]);
  NVX_BF_ROUND(a, b, p[16]);
  NVX_BF_ROUND(c, d, p[16]);
  l0 = b ^ p[17];
  r0 = a;
  l1 = d ^ p[17];
  r1 = c;
}

inline __attribute__((always_inline)) void DecryptTwo(const uint32_t* p, const uint32_t (*s)[256],
                                                      uint32_t& l0, uint32_t& r0, uint32_t& l1,
                                                      uint32_t& r1) {
  uint32_t a = l0 ^ p[17], b = r0, c = l1 ^ p[17], d = r1;
  NVX_BF_ROUND(b, a, p[16]);
  NVX_BF_ROUND(d, c, p[16]);
  NVX_BF_ROUND(a, b, p[15]);
  NVX_BF_ROUND(c, d, p[15]);
  NVX_BF_ROUND(b, a, p[14]);
  NVX_BF_ROUND(d, c, p[14]);
  NVX_BF_ROUND(a, b, p[13]);
  NVX_BF_ROUND(c, d, p[13]);
  NVX_BF_ROUND(b, a, p[12]);
  NVX_BF_ROUND(d, c, p[12]);
  NVX_BF_ROUND(a, b, p[11]);
  NVX_BF_ROUND(c, d, p[11]);
  NVX_BF_ROUND(b, a, p[10]);
  NVX_BF_ROUND(d, c, p[10]);
  NVX_BF_ROUND(a, b, p[9]);
  NVX_BF_ROUND(c, d, p[9]);
  NVX_BF_ROUND(b, a, p[8]);
  NVX_BF_ROUND(d, c, p[8]);
  NVX_BF_ROUND(a, b, p[7]);
  NVX_BF_ROUND(c, d, p[7]);
  NVX_BF_ROUND(b, a, p[6]);
  NVX_BF_ROUND(d, c, p[6]);
  NVX_BF_ROUND(a, b, p[5]);
  NVX_BF_ROUND(c, d, p[5]);
  NVX_BF_ROUND(b, a, p[4]);
  NVX_BF_ROUND(d, c, p[4]);
  NVX_BF_ROUND(a, b, p[3]);
  NVX_BF_ROUND(c, d, p[3]);
  NVX_BF_ROUND(b, a, p[2]);
  NVX_BF_ROUND(d, c, p[2]);
  NVX_BF_ROUND(a, b, p[1]);
  NVX_BF_ROUND(c, d, p[1]);
  l0 = b ^ p[0];
  r0 = a;
  l1 = d ^ p[0];
  r1 = c;
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

// Two blocks at a time where there are two.
void Blowfish::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
  for (; blocks >= 2; blocks -= 2, in += 2 * kBlockSize, out += 2 * kBlockSize) {
    uint32_t l0 = LoadLittleEndian32(in), r0 = LoadLittleEndian32(in + 4);
    uint32_t l1 = LoadLittleEndian32(in + 8), r1 = LoadLittleEndian32(in + 12);
    EncryptTwo(p_, s_, l0, r0, l1, r1);
    StoreLittleEndian32(out, l0);
    StoreLittleEndian32(out + 4, r0);
    StoreLittleEndian32(out + 8, l1);
    StoreLittleEndian32(out + 12, r1);
  }
  if (blocks == 1) {
    uint32_t left = LoadLittleEndian32(in), right = LoadLittleEndian32(in + 4);
    EncryptPair(p_, s_, left, right);
    StoreLittleEndian32(out, left);
    StoreLittleEndian32(out + 4, right);
  }
}

void Blowfish::DecryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const {
  for (; blocks >= 2; blocks -= 2, in += 2 * kBlockSize, out += 2 * kBlockSize) {
    uint32_t l0 = LoadLittleEndian32(in), r0 = LoadLittleEndian32(in + 4);
    uint32_t l1 = LoadLittleEndian32(in + 8), r1 = LoadLittleEndian32(in + 12);
    DecryptTwo(p_, s_, l0, r0, l1, r1);
    StoreLittleEndian32(out, l0);
    StoreLittleEndian32(out + 4, r0);
    StoreLittleEndian32(out + 8, l1);
    StoreLittleEndian32(out + 12, r1);
  }
  if (blocks == 1) {
    uint32_t left = LoadLittleEndian32(in), right = LoadLittleEndian32(in + 4);
    DecryptPair(p_, s_, left, right);
    StoreLittleEndian32(out, left);
    StoreLittleEndian32(out + 4, right);
  }
}

}  // namespace nvx
