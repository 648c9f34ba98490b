#include "runner/password_scrambling.h"

#include <array>
#include <optional>

#include "api/nvxapi.h"
#include "runner/runner_limits.h"

namespace nvx {
namespace {

// The key numbers a scrambler picks lie below this, so that the 16 key bytes stay inside
// the key table.
constexpr int kKeyNumberLimit = 496;
constexpr size_t kCipherBlock = 8;
constexpr size_t kMaxNoiseBytes = 3;

std::optional<int> Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return std::nullopt;
}

// The length the text decodes to, when it is valid Base64 with "=" padding only at its
// end.
std::optional<size_t> DecodedLength(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    if (!Base64Value(text[i])) return std::nullopt;
  }
  return text.size() / 4 * 3 - padding;
}

// The key number that the first two decoded bytes carry: bit 0 of the first byte is its
// ninth bit, the second byte its low eight. The text holds at least three Base64 digits.
int KeyNumber(std::string_view text) {
  int a = *Base64Value(text[0]);
  int b = *Base64Value(text[1]);
  int c = *Base64Value(text[2]);
  int first = ((a << 2) | (b >> 4)) & 0xFF;
  int second = ((b & 0x0F) << 4) | (c >> 2);
  return ((first & 1) << 8) | second;
}

}  // namespace

std::string ScrambleLoginPassword(const std::string& user, const std::string& password) {
  std::array<char, kAuthOutputCapacity> output{};
  CNvxauth auth;
  auth.GenerateAuthData(user.c_str(), password.c_str(), output.data());
  output.back() = '\0';
  return std::string(output.data());
}

std::string ScrambleProxyPassword(const std::string& password) {
  std::array<char, kAuthOutputCapacity> output{};
  CNvxauth auth;
  auth.GenerateEncryptData(password.c_str(), output.data());
  output.back() = '\0';
  return std::string(output.data());
}

bool IsLoginTokenOf(const std::string& user, const std::string& token) {
  CNvxauth auth;
  return auth.VerifyAuthId(user.c_str(), token.c_str());
}

bool IsWellFormedScrambledText(std::string_view text) {
  if (text.size() >= kAuthOutputCapacity) return false;
  std::optional<size_t> length = DecodedLength(text);
  if (!length || *length < 2 + kCipherBlock) return false;
  if ((*length - 2) % kCipherBlock > kMaxNoiseBytes) return false;
  return KeyNumber(text) < kKeyNumberLimit;
}

}  // namespace nvx
