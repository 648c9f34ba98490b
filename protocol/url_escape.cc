#include "protocol/url_escape.h"

namespace nvx {
namespace {

constexpr std::string_view kReserved = ";/?:@&=+!*'(),\"#%<>";
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Control bytes would end the request line or start a header of their own: they are
// escaped like the reserved characters, and the service decodes them alike.
bool NeedsEscape(unsigned char byte) {
  return byte < 0x20 || byte == 0x7F || kReserved.find(static_cast<char>(byte)) != kReserved.npos;
}

}  // namespace

std::string UrlEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == ' ') {
      escaped += '+';
    } else if (NeedsEscape(byte)) {
      escaped += '%';
      escaped += kHexDigits[byte >> 4];
      escaped += kHexDigits[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace nvx
