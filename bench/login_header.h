// What the benchmark scripts' header printers share: the login token of X-NVX-RATTART as
// NVXbackup makes it, so that curl reaches the same account the same way, and printing.
#ifndef NVX_BENCH_LOGIN_HEADER_H_
#define NVX_BENCH_LOGIN_HEADER_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "wire/login_token.h"

namespace nvx::bench {

// The token as the library makes it (wire/login_token.h), scrambled with the key that
// `now` picks.
inline std::string LoginToken(const std::string& user, const std::string& password, int64_t now) {
  return LoginTokenAt(user, password, now);
}

// One header line without its CR LF, on standard output.
inline void PrintHeaderLine(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::printf("%s\n", text.c_str());
}

}  // namespace nvx::bench

#endif  // NVX_BENCH_LOGIN_HEADER_H_
