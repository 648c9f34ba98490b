#include "codec/base64.h"

#include <array>

namespace nvx {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr uint8_t kNotInAlphabet = 0xFF;
constexpr uint8_t kPad = 0xFE;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kNotInAlphabet;
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
  table['='] = kPad;
  return table;
}

constexpr std::array<uint8_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

int Base64Encode(const void* bytes, size_t count, char* text, size_t capacity) {
  if (text == nullptr) return kBase64NoRoom;
  if (capacity < Base64EncodedLength(count) + 1) {
    if (capacity > 0) text[0] = '\0';
    return kBase64NoRoom;
  }
  const uint8_t* in = static_cast<const uint8_t*>(bytes);
  char* out = text;
  size_t whole = count / 3 * 3;
  for (size_t i = 0; i < whole; i += 3) {
    uint32_t group = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    out[0] = kAlphabet[group >> 18];
    out[1] = kAlphabet[(group >> 12) & 63];
    out[2] = kAlphabet[(group >> 6) & 63];
    out[3] = kAlphabet[group & 63];
    out += 4;
  }
  size_t rest = count - whole;
  if (rest > 0) {
    uint32_t group = uint32_t{in[whole]} << 16;
    if (rest == 2) group |= uint32_t{in[whole + 1]} << 8;
    out[0] = kAlphabet[group >> 18];
    out[1] = kAlphabet[(group >> 12) & 63];
    out[2] = rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
    out[3] = '=';
    out += 4;
  }
  *out = '\0';
  return 0;
}

int64_t Base64Decode(const char* text, size_t length, uint8_t* bytes, size_t capacity) {
  if (text == nullptr) return 0;
  size_t written = 0;
  uint32_t group = 0;
  int sextets = 0;  // characters of the current quartet seen so far
  // Emits the bytes that the first `sextets` characters of a quartet complete.
  auto emit = [&](int filled) -> bool {
    int produced = filled - 1;  // 2 characters give 1 byte, 3 give 2, 4 give 3
    uint32_t value = group << (6 * (4 - filled));
    for (int i = 0; i < produced; ++i) {
      if (written >= capacity || bytes == nullptr) return false;
      bytes[written++] = static_cast<uint8_t>(value >> (16 - 8 * i));
    }
    return true;
  };
  for (size_t i = 0; i < length; ++i) {
    uint8_t code = kDecodeTable[static_cast<uint8_t>(text[i])];
    if (code == kPad) {
      if (sextets >= 2) return emit(sextets) ? static_cast<int64_t>(written) : -1;
      continue;  // a pad where no data can end is noise, like any other stray character
    }
    if (code == kNotInAlphabet) continue;
    group = (group << 6) | code;
    if (++sextets == 4) {
      if (!emit(4)) return -1;
      group = 0;
      sextets = 0;
    }
  }
  if (sextets >= 2 && !emit(sextets)) return -1;
  return static_cast<int64_t>(written);
}

std::string Base64Encode(std::string_view bytes) {
  std::string text(Base64EncodedLength(bytes.size()) + 1, '\0');
  // The text is sized for the whole encoding: the count written is known.
  (void)Base64Encode(bytes.data(), bytes.size(), text.data(), text.size());
  text.pop_back();
  return text;
}

std::string Base64Decode(std::string_view text) {
  std::string bytes(text.size() / 4 * 3 + 3, '\0');
  int64_t written = Base64Decode(text.data(), text.size(), reinterpret_cast<uint8_t*>(bytes.data()),
                                 bytes.size());
  bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return bytes;
}

}  // namespace nvx
