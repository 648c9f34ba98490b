#include "tests/support/login_token.h"

#include "codec/md5.h"
#include "codec/scrambled_text.h"

namespace nvx::test {

std::string MakeLoginToken(std::string_view user, std::string_view password, int64_t now_seconds) {
  Md5Digest digest = Md5Of(password);
  std::string plaintext(reinterpret_cast<const char*>(digest.data()), digest.size());
  plaintext.append(user);
  plaintext.push_back('\0');
  return ScrambleBytes(plaintext, now_seconds);
}

}  // namespace nvx::test
