#include "protocol/reply_body.h"

#include <cstdint>

#include "codec/transfer_cipher.h"

namespace nvx {

std::string DecipherReplyBody(std::string_view body) {
  if (body.size() < 2) return {};
  const size_t key_number =
      ((static_cast<uint8_t>(body[0]) & 1u) * 256u) + static_cast<uint8_t>(body[1]);
  std::string_view ciphertext = body.substr(2);
  std::string text(ciphertext.substr(0, ciphertext.size() / 8 * 8));
  TransferCipher cipher(key_number);
  cipher.Decipher(text.data(), text.data(), text.size());
  const size_t end = text.find_last_not_of('\0');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

}  // namespace nvx
