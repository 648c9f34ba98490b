#include "service/commands/reply_cipher.h"

#include "codec/transfer_cipher.h"

namespace nvx::service {

int ReplyKeyIndex(int64_t now_seconds) {
  return static_cast<int>((now_seconds & 1023) % kUploadKeyIndexCount);
}

std::string EncipherReplyText(std::string_view text, int64_t now_seconds) {
  int key_index = ReplyKeyIndex(now_seconds);
  TransferCipher cipher(static_cast<size_t>(key_index));
  // The text and its terminating zero, padded with zeros to whole blocks.
  std::string plain(text);
  plain.push_back('\0');
  plain.resize(RoundUpToBlock(plain.size()), '\0');
  std::string body(2 + plain.size(), '\0');
  body[0] = static_cast<char>((key_index >> 8) & 1);
  body[1] = static_cast<char>(key_index & 0xFF);
  cipher.Encipher(plain.data(), plain.size(), body.data() + 2);
  return body;
}

}  // namespace nvx::service
