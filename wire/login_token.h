// The login token that goes with every request to the service's script (X-NVX-RATTART):
// the scrambled text of the password's 16-byte MD5 digest, the user id and one zero
// byte. The library makes it, the service decodes it; both use these functions. Also
// the clear form of a scrambled proxy password, which is scrambled the same way.
// Secrets made here are overwritten before they are let go. Stateless; any thread.
#ifndef NVX_WIRE_LOGIN_TOKEN_H_
#define NVX_WIRE_LOGIN_TOKEN_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx {

// The plaintext of a login token: the 16-byte MD5 digest of the password, the user id,
// one zero byte.
std::string LoginPlaintextFor(std::string_view user, std::string_view password);

// A fresh login token for `user` and `password`, scrambled at the clock's current second.
std::string LoginTokenFor(std::string_view user, std::string_view password);
// The token scrambled at `seconds` (which picks the key and the noise).
std::string LoginTokenAt(std::string_view user, std::string_view password, int64_t seconds);

// What a login token carries.
struct LoginTokenContents {
  std::array<uint8_t, 16> password_digest{};
  std::string user_id;  // up to the first zero byte after the digest
};

// Nothing when the token cannot be descrambled or is too short to hold a digest and at
// least one byte after it.
std::optional<LoginTokenContents> DecodeLoginToken(std::string_view token);

// The user id that a login token carries (see DecodeLoginToken).
std::optional<std::string> UserIdOfLoginToken(std::string_view token);

// The clear text of a scrambled text (GenerateEncryptData): the deciphered bytes up to
// the first zero byte. Nothing when the text cannot be descrambled.
std::optional<std::string> DescrambleProxyPassword(std::string_view scrambled);

}  // namespace nvx

#endif  // NVX_WIRE_LOGIN_TOKEN_H_
