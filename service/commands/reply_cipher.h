// Enciphered reply bodies, for accounts with transfer encryption on: two bytes that carry
// the key index k (bit 8 of k in the first byte, the low 8 bits in the second), then the
// text, zero-padded to whole cipher blocks, enciphered with the transfer cipher keyed at
// k. The text always gets at least one zero byte of padding, because the client reads
// the deciphered body as zero-terminated text. Any thread.
#ifndef NVX_SERVICE_COMMANDS_REPLY_CIPHER_H_
#define NVX_SERVICE_COMMANDS_REPLY_CIPHER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace nvx::service {

// The key index for a reply at `now_seconds`: below 496, as the client's own choice is.
int ReplyKeyIndex(int64_t now_seconds);

std::string EncipherReplyText(std::string_view text, int64_t now_seconds);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_REPLY_CIPHER_H_
