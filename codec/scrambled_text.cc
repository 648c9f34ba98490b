#include "codec/scrambled_text.h"

#include <cstring>

#include "codec/secure_wipe.h"

namespace nvx {

std::string ScrambleBytes(std::string_view plaintext, int64_t now_seconds) {
  const auto clock = static_cast<uint64_t>(now_seconds);
  const size_t key_number = (clock & 1023) % kScrambleKeyCount;
  const size_t cipher_length = RoundUpToBlock(plaintext.size());
  const size_t noise = clock % 4;

  std::string raw(kScrambleHeaderSize + cipher_length + noise, '\0');
  auto* bytes = reinterpret_cast<uint8_t*>(raw.data());
  bytes[0] = static_cast<uint8_t>(((key_number >> 8) & 1) | ((clock & 0x7F) << 1));
  bytes[1] = static_cast<uint8_t>(key_number & 0xFF);
  TransferCipher(key_number)
      .Encipher(plaintext.data(), plaintext.size(), bytes + kScrambleHeaderSize);
  // The noise only varies the length; its values come from the clock and mean nothing.
  for (size_t i = 0; i < noise; ++i) {
    bytes[kScrambleHeaderSize + cipher_length + i] =
        static_cast<uint8_t>((clock >> (2 + 3 * i)) * 0x9D + i);
  }
  std::string text = Base64Encode(raw);
  SecureWipe(raw.data(), raw.size());
  return text;
}

std::optional<std::string> UnscrambleText(std::string_view text) {
  uint8_t decoded[kScrambledTextCapacity];
  int64_t length = Base64Decode(text.data(), text.size(), decoded, sizeof decoded);
  if (length < static_cast<int64_t>(kScrambleHeaderSize + Blowfish::kBlockSize)) {
    SecureWipe(decoded, sizeof decoded);
    return std::nullopt;
  }
  const size_t key_number = ((decoded[0] & 1u) << 8) + decoded[1];
  const size_t cipher_length = (static_cast<size_t>(length) - kScrambleHeaderSize) /
                               Blowfish::kBlockSize * Blowfish::kBlockSize;

  uint8_t plain[kScrambledTextCapacity];
  TransferCipher(key_number).Decipher(decoded + kScrambleHeaderSize, plain, cipher_length);
  std::optional<std::string> result(std::in_place, reinterpret_cast<const char*>(plain),
                                    cipher_length);
  SecureWipe(decoded, sizeof decoded);
  SecureWipe(plain, sizeof plain);
  return result;
}

}  // namespace nvx
