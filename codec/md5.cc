#include "codec/md5.h"

#include <cstring>

#include "codec/coding.h"
#include "codec/secure_wipe.h"

namespace nvx {
namespace {

// The auxiliary functions, in forms that give the same values as the textbook ones but
// keep the chain from one step to the next short: whatever does not depend on b, the
// value the previous step has just produced, is computed off that chain.
inline uint32_t F(uint32_t b, uint32_t c, uint32_t d) {
  return d ^ (b & (c ^ d));
}
inline uint32_t H(uint32_t b, uint32_t c, uint32_t d) {
  return b ^ (c ^ d);
}
inline uint32_t I(uint32_t b, uint32_t c, uint32_t d) {
  return c ^ (b | ~d);
}

template <uint32_t (*Fn)(uint32_t, uint32_t, uint32_t)>
inline __attribute__((always_inline)) void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d,
                                                uint32_t word, int shift, uint32_t constant) {
  a += word + constant;
  a += Fn(b, c, d);
  a = std::rotl(a, shift) + b;
}

// G(b, c, d) = (b AND d) OR (c AND NOT d); the two parts never share a bit, so they may be
// added, and the part without b joins the sum early.
inline __attribute__((always_inline)) void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d,
                                                 uint32_t word, int shift, uint32_t constant) {
  a += word + constant + (c & ~d);
  a += b & d;
  a = std::rotl(a, shift) + b;
}

// Runs the compression function over `blocks` consecutive 64-byte blocks.
void Transform(uint32_t state[4], const uint8_t* data, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian32(data + 4 * i);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    Step<F>(a, b, c, d, x[0], 7, 0xd76aa478);
    Step<F>(d, a, b, c, x[1], 12, 0xe8c7b756);
    Step<F>(c, d, a, b, x[2], 17, 0x242070db);
    Step<F>(b, c, d, a, x[3], 22, 0xc1bdceee);
    Step<F>(a, b, c, d, x[4], 7, 0xf57c0faf);
    Step<F>(d, a, b, c, x[5], 12, 0x4787c62a);
    Step<F>(c, d, a, b, x[6], 17, 0xa8304613);
    Step<F>(b, c, d, a, x[7], 22, 0xfd469501);
    Step<F>(a, b, c, d, x[8], 7, 0x698098d8);
    Step<F>(d, a, b, c, x[9], 12, 0x8b44f7af);
    Step<F>(c, d, a, b, x[10], 17, 0xffff5bb1);
    Step<F>(b, c, d, a, x[11], 22, 0x895cd7be);
    Step<F>(a, b, c, d, x[12], 7, 0x6b901122);
    Step<F>(d, a, b, c, x[13], 12, 0xfd987193);
    Step<F>(c, d, a, b, x[14], 17, 0xa679438e);
    Step<F>(b, c, d, a, x[15], 22, 0x49b40821);

    StepG(a, b, c, d, x[1], 5, 0xf61e2562);
    StepG(d, a, b, c, x[6], 9, 0xc040b340);
    StepG(c, d, a, b, x[11], 14, 0x265e5a51);
    StepG(b, c, d, a, x[0], 20, 0xe9b6c7aa);
    StepG(a, b, c, d, x[5], 5, 0xd62f105d);
    StepG(d, a, b, c, x[10], 9, 0x02441453);
    StepG(c, d, a, b, x[15], 14, 0xd8a1e681);
    StepG(b, c, d, a, x[4], 20, 0xe7d3fbc8);
    StepG(a, b, c, d, x[9], 5, 0x21e1cde6);
    StepG(d, a, b, c, x[14], 9, 0xc33707d6);
    StepG(c, d, a, b, x[3], 14, 0xf4d50d87);
    StepG(b, c, d, a, x[8], 20, 0x455a14ed);
    StepG(a, b, c, d, x[13], 5, 0xa9e3e905);
    StepG(d, a, b, c, x[2], 9, 0xfcefa3f8);
    StepG(c, d, a, b, x[7], 14, 0x676f02d9);
    StepG(b, c, d, a, x[12], 20, 0x8d2a4c8a);

    Step<H>(a, b, c, d, x[5], 4, 0xfffa3942);
    Step<H>(d, a, b, c, x[8], 11, 0x8771f681);
    Step<H>(c, d, a, b, x[11], 16, 0x6d9d6122);
    Step<H>(b, c, d, a, x[14], 23, 0xfde5380c);
    Step<H>(a, b, c, d, x[1], 4, 0xa4beea44);
    Step<H>(d, a, b, c, x[4], 11, 0x4bdecfa9);
    Step<H>(c, d, a, b, x[7], 16, 0xf6bb4b60);
    Step<H>(b, c, d, a, x[10], 23, 0xbebfbc70);
    Step<H>(a, b, c, d, x[13], 4, 0x289b7ec6);
    Step<H>(d, a, b, c, x[0], 11, 0xeaa127fa);
    Step<H>(c, d, a, b, x[3], 16, 0xd4ef3085);
    Step<H>(b, c, d, a, x[6], 23, 0x04881d05);
    Step<H>(a, b, c, d, x[9], 4, 0xd9d4d039);
    Step<H>(d, a, b, c, x[12], 11, 0xe6db99e5);
    Step<H>(c, d, a, b, x[15], 16, 0x1fa27cf8);
    Step<H>(b, c, d, a, x[2], 23, 0xc4ac5665);

    Step<I>(a, b, c, d, x[0], 6, 0xf4292244);
    Step<I>(d, a, b, c, x[7], 10, 0x432aff97);
    Step<I>(c, d, a, b, x[14], 15, 0xab9423a7);
    Step<I>(b, c, d, a, x[5], 21, 0xfc93a039);
    Step<I>(a, b, c, d, x[12], 6, 0x655b59c3);
    Step<I>(d, a, b, c, x[3], 10, 0x8f0ccc92);
    Step<I>(c, d, a, b, x[10], 15, 0xffeff47d);
    Step<I>(b, c, d, a, x[1], 21, 0x85845dd1);
    Step<I>(a, b, c, d, x[8], 6, 0x6fa87e4f);
    Step<I>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
    Step<I>(c, d, a, b, x[6], 15, 0xa3014314);
    Step<I>(b, c, d, a, x[13], 21, 0x4e0811a1);
    Step<I>(a, b, c, d, x[4], 6, 0xf7537e82);
    Step<I>(d, a, b, c, x[11], 10, 0xbd3af235);
    Step<I>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
    Step<I>(b, c, d, a, x[9], 21, 0xeb86d391);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

}  // namespace

void Md5Init(Md5Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.bit_count = 0;
  std::memset(context.pending, 0, sizeof context.pending);
}

void Md5Update(Md5Context& context, const void* data, size_t count) {
  if (count == 0) return;
  const uint8_t* input = static_cast<const uint8_t*>(data);
  size_t pending = static_cast<size_t>((context.bit_count >> 3) & 63);
  context.bit_count += static_cast<uint64_t>(count) << 3;

  if (pending != 0) {
    size_t room = 64 - pending;
    if (count < room) {
      std::memcpy(context.pending + pending, input, count);
      return;
    }
    std::memcpy(context.pending + pending, input, room);
    Transform(context.state, context.pending, 1);
    input += room;
    count -= room;
  }
  // Whole blocks straight from the caller's memory, without copying.
  size_t blocks = count / 64;
  if (blocks > 0) {
    Transform(context.state, input, blocks);
    input += blocks * 64;
    count -= blocks * 64;
  }
  if (count > 0) std::memcpy(context.pending, input, count);
}

void Md5Final(Md5Context& context, uint8_t digest[kMd5DigestSize]) {
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(context.bit_count >> (8 * i));

  // Pad with 0x80 and zeros to 56 bytes modulo 64, then append the length.
  static constexpr uint8_t kPadding[64] = {0x80};
  size_t pending = static_cast<size_t>((context.bit_count >> 3) & 63);
  size_t pad = pending < 56 ? 56 - pending : 120 - pending;
  Md5Update(context, kPadding, pad);
  Md5Update(context, length, sizeof length);

  for (int i = 0; i < 4; ++i) StoreLittleEndian32(digest + 4 * i, context.state[i]);
  SecureWipe(&context, sizeof context);
}

Md5Digest Md5Of(const void* data, size_t count) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, data, count);
  Md5Digest digest;
  Md5Final(context, digest.data());
  return digest;
}

Md5Digest Md5Of(std::string_view data) {
  return Md5Of(data.data(), data.size());
}

std::string Md5SaveState(const Md5Context& context) {
  uint8_t bytes[kMd5StateSize] = {};
  for (int i = 0; i < 4; ++i) StoreLittleEndian32(bytes + 4 * i, context.state[i]);
  StoreLittleEndian64(bytes + 16, context.bit_count);
  // Only the pending bytes of the unfinished block count; the rest stay zero, so that
  // equal contexts give equal bytes.
  size_t pending = static_cast<size_t>((context.bit_count / 8) % 64);
  std::memcpy(bytes + 24, context.pending, pending);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

bool Md5LoadState(std::string_view bytes, Md5Context* context) {
  if (bytes.size() != kMd5StateSize) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  Md5Context loaded{};
  for (int i = 0; i < 4; ++i) loaded.state[i] = LoadLittleEndian32(p + 4 * i);
  loaded.bit_count = LoadLittleEndian64(p + 16);
  if (loaded.bit_count % 8 != 0) return false;
  std::memcpy(loaded.pending, p + 24, sizeof loaded.pending);
  *context = loaded;
  return true;
}

}  // namespace nvx
