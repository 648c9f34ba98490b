// libFuzzer target: the service's reader of an SMTP relay's replies. See fuzz/README.md.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "service/smtp_client.h"

// The first byte sets the size of the pieces the rest arrives in; every reply read must
// keep to the reader's bounds.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t piece = static_cast<size_t>(data[0]) + 1;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  nvx::service::SmtpReplyReader reader;
  while (!rest.empty()) {
    std::string_view input = rest.substr(0, piece);
    rest.remove_prefix(input.size());
    while (!input.empty()) {
      auto result = reader.Feed(&input);
      if (result == nvx::service::SmtpReplyReader::Result::kBroken) return 0;
      if (result == nvx::service::SmtpReplyReader::Result::kReply &&
          (reader.reply().lines.empty() ||
           reader.reply().lines.size() > nvx::service::kServiceSmtpReplyLinesMax ||
           reader.reply().code < 200 || reader.reply().code > 599)) {
        std::abort();
      }
    }
  }
  return 0;
}
