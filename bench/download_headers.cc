// Prints the header lines that NVXbackup sends to download a document it has no copy of
// (a GET ?DownLoad without X-NVX-RESTART2, no transfer compression), so that curl can
// fetch the same document with the same headers from the same service. One header a
// line, without CR LF; the request line and Host are left to the peer client.
//
// Usage: download_headers USER PASSWORD VERSION_ID
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "bench/login_header.h"
#include "protocol/transfer_requests.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_headers USER PASSWORD VERSION_ID\n");
    return 2;
  }
  int64_t now = std::time(nullptr);
  nvx::TransferRequestBase base;
  base.route.host = "127.0.0.1";
  base.login_token = nvx::bench::LoginToken(argv[1], argv[2], now);
  nvx::DownloadFields fields;
  fields.version_id = argv[3];
  fields.fang = nvx::FangFor(false, 0, now, false, false, 0);
  std::string request = nvx::FormatDownload(base, fields);
  // Every line but the request line, Host and the empty line that ends the block.
  size_t line_start = 0;
  for (int line = 0; line_start < request.size(); ++line) {
    size_t line_end = request.find("\r\n", line_start);
    if (line_end == std::string::npos) line_end = request.size();
    std::string_view text(request.data() + line_start, line_end - line_start);
    bool skipped = line == 0 || text.empty() || text.starts_with("Host:");
    if (!skipped) nvx::bench::PrintHeaderLine(std::string(text));
    line_start = line_end + 2;
  }
  return 0;
}
