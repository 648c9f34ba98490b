#include "wire/login_token.h"

#include <cstring>

#include "codec/md5.h"
#include "codec/scrambled_text.h"
#include "codec/secure_wipe.h"
#include "platform/clock.h"

namespace nvx {
namespace {

// The text of `bytes` from `start` up to the first zero byte or the end.
std::string TextFrom(const std::string& bytes, size_t start) {
  if (start >= bytes.size()) return {};
  size_t end = bytes.find('\0', start);
  return bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void Wipe(std::string& secret) {
  SecureWipe(secret.data(), secret.size());
}

}  // namespace

std::string LoginPlaintextFor(std::string_view user, std::string_view password) {
  Md5Digest digest = Md5Of(password);
  std::string plaintext(reinterpret_cast<const char*>(digest.data()), digest.size());
  SecureWipe(digest.data(), digest.size());
  plaintext.append(user);
  plaintext.push_back('\0');
  return plaintext;
}

std::string LoginTokenAt(std::string_view user, std::string_view password, int64_t seconds) {
  std::string plaintext = LoginPlaintextFor(user, password);
  std::string token = ScrambleBytes(plaintext, seconds);
  Wipe(plaintext);
  return token;
}

std::string LoginTokenFor(std::string_view user, std::string_view password) {
  return LoginTokenAt(user, password, platform::GetClock().NowSeconds());
}

std::optional<LoginTokenContents> DecodeLoginToken(std::string_view token) {
  std::optional<std::string> plain = UnscrambleText(token);
  if (!plain) return std::nullopt;
  std::optional<LoginTokenContents> contents;
  if (plain->size() > kMd5DigestSize) {
    contents.emplace();
    std::memcpy(contents->password_digest.data(), plain->data(), kMd5DigestSize);
    contents->user_id = TextFrom(*plain, kMd5DigestSize);
  }
  Wipe(*plain);
  return contents;
}

std::optional<std::string> UserIdOfLoginToken(std::string_view token) {
  std::optional<LoginTokenContents> contents = DecodeLoginToken(token);
  if (!contents) return std::nullopt;
  SecureWipe(contents->password_digest.data(), contents->password_digest.size());
  return std::move(contents->user_id);
}

std::optional<std::string> DescrambleProxyPassword(std::string_view scrambled) {
  std::optional<std::string> plain = UnscrambleText(scrambled);
  if (!plain) return std::nullopt;
  std::string password = TextFrom(*plain, 0);
  Wipe(*plain);
  return password;
}

}  // namespace nvx
