#include "platform/tls_common.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace nvx::platform {

std::string TakeTlsErrorText() {
  std::string text;
  for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
    const char* reason = ERR_reason_error_string(code);
    if (!text.empty()) text += "; ";
    text += reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(code));
  }
  return text;
}

bool StartTlsLibrary() {
  static const bool started = OPENSSL_init_ssl(0, nullptr) == 1;
  return started;
}

}  // namespace nvx::platform
