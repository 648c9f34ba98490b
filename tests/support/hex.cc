#include "tests/support/hex.h"

#include <stdexcept>

namespace nvx::test {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ToHex(const void* bytes, size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto* in = static_cast<const uint8_t*>(bytes);
  std::string hex;
  hex.reserve(2 * count);
  for (size_t i = 0; i < count; ++i) {
    hex.push_back(kDigits[in[i] >> 4]);
    hex.push_back(kDigits[in[i] & 15]);
  }
  return hex;
}

std::string ToHex(std::string_view bytes) {
  return ToHex(bytes.data(), bytes.size());
}

std::vector<uint8_t> FromHex(std::string_view hex) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    int value = DigitValue(c);
    if (value < 0) throw std::invalid_argument("not a hexadecimal digit");
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + value));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hexadecimal digits");
  return bytes;
}

}  // namespace nvx::test
