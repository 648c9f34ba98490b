// Login tokens as the library sends them in X-NVX-RATTART, for tests that talk to the
// service: the scrambled text of the password's MD5 digest, the user id and a zero byte.
// Written here a second time on purpose, apart from wire/login_token.*: the service's
// tests check its login against this independent copy, so a fault in the shared code
// cannot pass by agreeing with itself.
#ifndef NVX_TESTS_SUPPORT_LOGIN_TOKEN_H_
#define NVX_TESTS_SUPPORT_LOGIN_TOKEN_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace nvx::test {

// The token at `now_seconds` (which picks the key and the noise).
std::string MakeLoginToken(std::string_view user, std::string_view password,
                           int64_t now_seconds = 1078495629);

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_LOGIN_TOKEN_H_
