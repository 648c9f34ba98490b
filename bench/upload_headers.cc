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

#include "bench/login_header.h"
#include "protocol/request_builder.h"

using nvx::bench::PrintHeaderLine;

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
  PrintHeaderLine(nvx::RattartHeader(nvx::bench::LoginToken(argv[1], argv[2], now)));
  PrintHeaderLine(nvx::UserAgentHeader());
  PrintHeaderLine(nvx::FangHeader(nvx::FangFor(false, status.st_size, now, false, false, 0)));
  PrintHeaderLine(nvx::BlacmangeOneFieldHeader(argv[3]));
  if (auto dinsdale = nvx::DinsdaleHeader(status.st_mtim.tv_sec)) PrintHeaderLine(*dinsdale);
  PrintHeaderLine(nvx::NeeHeader("", status.st_size));
  return 0;
}
