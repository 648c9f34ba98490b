// Scrambled texts: how login tokens and stored passwords are kept out of sight. The
// library writes them (CNvxauth, the login token of every request) and reads them back
// (the proxy password, VerifyAuthId); the service reads login tokens with the same code.
//
// Layout before Base64 (no line breaks):
//   byte 0   bit 0: bit 8 of the key number k; bits 1 to 7: the low 7 bits of the time
//   byte 1   the low 8 bits of k
//   then     the plaintext, padded with zeros to whole blocks, enciphered with the
//            transfer cipher keyed at k
//   then     (time modulo 4) bytes of noise
// with k = (time AND 1023) modulo 496, the time in seconds. The same plaintext therefore
// scrambles differently from second to second. Stateless; any thread.
#ifndef NVX_CODEC_SCRAMBLED_TEXT_H_
#define NVX_CODEC_SCRAMBLED_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/base64.h"
#include "codec/transfer_cipher.h"

namespace nvx {

// The output buffer of CNvxauth and the decode buffer of tokens.
inline constexpr size_t kScrambledTextCapacity = 256;
inline constexpr int64_t kScrambleKeyCount = 496;
inline constexpr size_t kScrambleHeaderSize = 2;
inline constexpr size_t kScrambleNoiseMax = 3;

// The longest plaintext whose scrambled text, with its terminating zero, always fits in
// kScrambledTextCapacity bytes.
[[nodiscard]] constexpr size_t ScramblePlaintextMaxFor(size_t capacity) {
  size_t raw = (capacity - 1) / 4 * 3;
  return (raw - kScrambleHeaderSize - kScrambleNoiseMax) / Blowfish::kBlockSize *
         Blowfish::kBlockSize;
}
inline constexpr size_t kScramblePlaintextMax = ScramblePlaintextMaxFor(kScrambledTextCapacity);

// The scrambled text of `plaintext` at time `now_seconds` (any length).
[[nodiscard]] std::string ScrambleBytes(std::string_view plaintext, int64_t now_seconds);

// The deciphered blocks of a scrambled text: (decoded length - 2) rounded down to whole
// blocks, padding and noise included. Decoding is bounded by kScrambledTextCapacity bytes.
// Nothing when the text does not decode, overflows the bound or holds no whole block.
[[nodiscard]] std::optional<std::string> UnscrambleText(std::string_view text);

}  // namespace nvx

#endif  // NVX_CODEC_SCRAMBLED_TEXT_H_
