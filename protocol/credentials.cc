#include "protocol/credentials.h"

#include <optional>

#include "codec/base64.h"
#include "codec/secure_wipe.h"
#include "protocol/library_limits.h"
#include "wire/login_token.h"

namespace nvx {
namespace {

// Overwrites a text's bytes before it is released.
void Wipe(std::string& text) {
  SecureWipe(text.data(), text.size());
  text.clear();
}

}  // namespace

std::string LoginToken(const LinkSettings& settings) {
  if (!settings.scrambled_password.empty()) return settings.scrambled_password;
  return LoginTokenFor(settings.user, settings.password);
}

std::string ProxyAuthorizationLine(Reporter& report, std::string_view id, std::string_view password,
                                   bool scrambled) {
  std::string clear_password;
  if (scrambled) {
    std::optional<std::string> descrambled = DescrambleProxyPassword(password);
    if (!descrambled) {
      report.LogText(kLineError, " Err - Proxy password could not be descrambled\n");
      return {};
    }
    clear_password = *descrambled;
    Wipe(*descrambled);
  } else {
    clear_password = std::string(password);
  }
  // Built in one buffer of its final size: no temporary copy of the password is left.
  std::string joined;
  joined.reserve(id.size() + 1 + clear_password.size());
  joined.append(id).append(":").append(clear_password);
  Wipe(clear_password);
  if (joined.size() > kProxyCredentialsMax) {
    Wipe(joined);
    report.LogLine(kLineError, " Err - Proxy id and password longer than %zu characters\n",
                   kProxyCredentialsMax);
    return {};
  }
  std::string line = "Proxy-Authorization: Basic " + Base64Encode(joined) + "\r\n";
  Wipe(joined);
  return line;
}

}  // namespace nvx
