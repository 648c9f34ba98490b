// The MD5 message digest (RFC 1321), by which the client and the server decide whether two
// copies of a file are equal, and which the login token carries instead of the password.
// A context belongs to one caller at a time; the functions keep no other state and may
// run on any thread.
#ifndef NVX_CODEC_MD5_H_
#define NVX_CODEC_MD5_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvx {

inline constexpr size_t kMd5DigestSize = 16;
using Md5Digest = std::array<uint8_t, kMd5DigestSize>;

struct Md5Context {
  uint32_t state[4];
  uint64_t bit_count;   // message length so far, in bits (modulo 2^64)
  uint8_t pending[64];  // the start of a block that is not yet complete
};

void Md5Init(Md5Context& context);
// Adds `count` bytes to the message; any split of a message into updates gives the same
// digest.
void Md5Update(Md5Context& context, const void* data, size_t count);
// Finishes the message, writes its 16-byte digest and wipes the context (initialise it
// again before reuse).
void Md5Final(Md5Context& context, uint8_t digest[kMd5DigestSize]);

// A context as bytes, so that a digest begun by one process can be continued by another
// (the service keeps it with an incomplete document): kMd5StateSize bytes, every word least
// significant byte first. Loading refuses bytes of another size or a context whose
// pending bytes do not fit.
inline constexpr size_t kMd5StateSize = 4 * 4 + 8 + 64;
std::string Md5SaveState(const Md5Context& context);
bool Md5LoadState(std::string_view bytes, Md5Context* context);
// Bytes of the message a context has taken in.
inline uint64_t Md5ByteCount(const Md5Context& context) {
  return context.bit_count / 8;
}

// The digest of one whole message.
[[nodiscard]] Md5Digest Md5Of(std::string_view data);
[[nodiscard]] Md5Digest Md5Of(const void* data, size_t count);

}  // namespace nvx

#endif  // NVX_CODEC_MD5_H_
