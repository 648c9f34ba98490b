// The library's own uses of scrambled texts: the login token that goes with every service
// request, and the clear form of a scrambled proxy password. CNvxauth builds on the same
// functions. Stateless; any thread.
#ifndef NVX_PROTOCOL_LOGIN_TOKEN_H_
#define NVX_PROTOCOL_LOGIN_TOKEN_H_

#include <optional>
#include <string>
#include <string_view>

namespace nvx {

// The plaintext of a login token: the 16-byte MD5 digest of the password, the user id,
// one zero byte.
std::string LoginPlaintextFor(std::string_view user, std::string_view password);

// A fresh login token for `user` and `password`, scrambled at the clock's current second.
std::string LoginTokenFor(std::string_view user, std::string_view password);

// The clear text of a scrambled text (GenerateEncryptData): the deciphered bytes up to
// the first zero byte. Nothing when the text cannot be descrambled.
std::optional<std::string> DescrambleProxyPassword(std::string_view scrambled);

// The user id that a login token carries (the text after the digest, up to the first zero
// byte). Nothing when the token cannot be descrambled or is too short to hold a digest.
std::optional<std::string> UserIdOfLoginToken(std::string_view token);

}  // namespace nvx

#endif  // NVX_PROTOCOL_LOGIN_TOKEN_H_
