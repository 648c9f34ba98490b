#include "platform/tls_common.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace nvx::platform {

bool StartTlsLibrary() {
  static const bool started = OPENSSL_init_ssl(0, nullptr) == 1;
  return started;
}

std::string TakeTlsErrorText() {
  std::string text;
  char piece[256];
  for (unsigned long error = ERR_get_error(); error != 0; error = ERR_get_error()) {
    ERR_error_string_n(error, piece, sizeof piece);
    if (!text.empty()) text += "; ";
    text += piece;
  }
  return text;
}

}  // namespace nvx::platform
