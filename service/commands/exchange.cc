#include "service/commands/exchange.h"

#include "codec/transfer_cipher.h"
#include "platform/text_format.h"

namespace nvx::service {

int64_t FileBody::WireLength() const {
  if (!key_index) return length;
  return static_cast<int64_t>(RoundUpToBlock(static_cast<size_t>(length)));
}

void Reply::SetHeader(std::string_view name, std::string_view value) {
  for (auto& [existing, text] : headers) {
    if (EqualsIgnoreCase(existing, name)) {
      text = std::string(value);
      return;
    }
  }
  headers.emplace_back(std::string(name), std::string(value));
}

std::string_view Reply::Header(std::string_view name) const {
  for (const auto& [existing, text] : headers) {
    if (EqualsIgnoreCase(existing, name)) return text;
  }
  return {};
}

}  // namespace nvx::service
