// Base64 (RFC 4648 standard alphabet with "=" padding, no line breaks): the text form in
// which digests travel in headers and scrambled texts are stored. Stateless; any thread.
#ifndef NVX_CODEC_BASE64_H_
#define NVX_CODEC_BASE64_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvx {

// Base64Encode returns this when the text buffer is too small.
inline constexpr int kBase64NoRoom = 3;

// Characters of the encoded form of `count` bytes, without the terminating zero.
[[nodiscard]] constexpr size_t Base64EncodedLength(size_t count) {
  return (count + 2) / 3 * 4;
}

// Encodes `count` bytes into `text` and terminates it. Returns 0, or kBase64NoRoom when
// `capacity` is below Base64EncodedLength(count) + 1; then nothing but an empty text (when
// capacity allows one byte) is written.
[[nodiscard]] int Base64Encode(const void* bytes, size_t count, char* text, size_t capacity);

// Decodes `length` characters of `text` into `bytes`. Characters outside the alphabet
// (line breaks, blanks) are skipped; "=" in the third or fourth place of a quartet ends
// the output; a quartet cut short by the end of the text yields the bytes it completes.
// Returns the number of bytes written, or -1 when a byte is due and `capacity` bytes are
// already written.
[[nodiscard]] int64_t Base64Decode(const char* text, size_t length, uint8_t* bytes,
                                   size_t capacity);

[[nodiscard]] std::string Base64Encode(std::string_view bytes);
// The decoded bytes of `text`; its own length bounds the result.
[[nodiscard]] std::string Base64Decode(std::string_view text);

}  // namespace nvx

#endif  // NVX_CODEC_BASE64_H_
