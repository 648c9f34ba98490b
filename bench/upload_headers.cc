// Prints the header lines that NVXbackup sends with a new upload (a PUT without resume
// or replacement), so that a peer client can send the same bytes with the same headers
// to the same service: the login token, the agent, the transfer fields, the target
// folder, the file's date and the digest field. One header a line, without CR LF;
// Content-Length is left to the peer client.
//
// Usage: upload_headers USER PASSWORD FOLDER_ID FILE
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "protocol/request_builder.h"
#include "transfer/md5.h"
#include "transfer/scrambled_text.h"

namespace {

// The login token of X-NVX-RATTART: the password's MD5 digest, the user id and a zero
// byte, scrambled with the key that `now` picks.
std::string LoginToken(const std::string& user, const std::string& password, int64_t now) {
  nvx::Md5Digest digest = nvx::Md5Of(password);
  std::string plaintext(reinterpret_cast<const char*>(digest.data()), digest.size());
  plaintext += user;
  plaintext.push_back('\0');
  return nvx::ScrambleBytes(plaintext, now);
}

void Print(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::printf("%s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: upload_headers USER PASSWORD FOLDER_ID FILE\n");
    return 2;
  }
  struct stat status {};
  if (::stat(argv[4], &status) != 0) {
    std::fprintf(stderr, "upload_headers: cannot read %s\n", argv[4]);
    return 1;
  }
  int64_t now = std::time(nullptr);
  Print(nvx::RattartHeader(LoginToken(argv[1], argv[2], now)));
  Print(nvx::UserAgentHeader());
  Print(nvx::FangHeader(nvx::FangFor(false, status.st_size, now, false, false, 0)));
  Print(nvx::BlacmangeOneFieldHeader(argv[3]));
  if (auto dinsdale = nvx::DinsdaleHeader(status.st_mtim.tv_sec)) Print(*dinsdale);
  Print(nvx::NeeHeader("", status.st_size));
  return 0;
}
