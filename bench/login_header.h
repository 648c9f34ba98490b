// What the benchmark scripts' header printers share: the login token of X-NVX-RATTART as
// NVXbackup makes it, so that curl reaches the same account the same way, and printing.
#ifndef NVX_BENCH_LOGIN_HEADER_H_
#define NVX_BENCH_LOGIN_HEADER_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "codec/md5.h"
#include "codec/scrambled_text.h"

namespace nvx::bench {

// The password's MD5 digest, the user id and a zero byte, scrambled with the key that
// `now` picks.
inline std::string LoginToken(const std::string& user, const std::string& password, int64_t now) {
  Md5Digest digest = Md5Of(password);
  std::string plaintext(reinterpret_cast<const char*>(digest.data()), digest.size());
  plaintext += user;
  plaintext.push_back('\0');
  return ScrambleBytes(plaintext, now);
}

// One header line without its CR LF, on standard output.
inline void PrintHeaderLine(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::printf("%s\n", text.c_str());
}

}  // namespace nvx::bench

#endif  // NVX_BENCH_LOGIN_HEADER_H_
