#include "service/commands/auth.h"

#include "wire/login_token.h"

namespace nvx::service {
namespace {

// Compares in time independent of where the first difference lies.
bool SameDigest(const Digest& a, const Digest& b) {
  uint8_t difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

}  // namespace

LoginCheck CheckLogin(Store& store, std::optional<std::string_view> token) {
  LoginCheck check;
  std::optional<LoginTokenContents> decoded;
  if (token) decoded = DecodeLoginToken(*token);
  std::optional<Account> account;
  if (decoded && !decoded->user_id.empty()) account = store.FindAccount(decoded->user_id);
  if (!account) {
    check.conclusion = kIdInvalid;
  } else if (!SameDigest(account->password_digest, decoded->password_digest)) {
    check.conclusion = kPasswordInvalid;
  } else if (account->state == AccountState::kDisabled) {
    check.conclusion = kAccountDisabled;
  } else if (account->state == AccountState::kExpired) {
    check.conclusion = kPasswordExpired;
  } else {
    check.account = std::move(account);
  }
  return check;
}

}  // namespace nvx::service
