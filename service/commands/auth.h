// The login check of every request to the service's script. The client sends a login
// token in X-NVX-RATTART (wire/login_token.h: the scrambled password digest and user id).
// The service decodes it, finds the account (the id without regard to letter case) and
// compares digests. Any thread.
#ifndef NVX_SERVICE_COMMANDS_AUTH_H_
#define NVX_SERVICE_COMMANDS_AUTH_H_

#include <optional>
#include <string>
#include <string_view>

#include "service/store/store.h"

namespace nvx::service {

// The conclusions of a failed login check.
inline constexpr std::string_view kIdInvalid = "ID Invalid";
inline constexpr std::string_view kPasswordInvalid = "Password Invalid";
inline constexpr std::string_view kAccountDisabled = "Account Disabled";
inline constexpr std::string_view kPasswordExpired = "Password Expired";

struct LoginCheck {
  std::string_view conclusion;     // empty when the login holds
  std::optional<Account> account;  // set when the login holds
};

// Checks the token of a request; a missing token is an invalid id.
LoginCheck CheckLogin(Store& store, std::optional<std::string_view> token);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_AUTH_H_
