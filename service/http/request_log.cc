#include "service/http/request_log.h"

#include <cstdio>
#include <string>

#include "platform/mutex.h"
#include "platform/text_format.h"

namespace nvx::service {
namespace {

// Targets are cut in the log; the request itself was bounded already.
constexpr size_t kLoggedTargetMax = 300;

// Held while a line goes to standard error, so that lines of concurrent connections
// never mix.
platform::Mutex g_log_mutex;

std::string Printable(std::string_view text, size_t max) {
  std::string out;
  for (char c : text.substr(0, max)) {
    auto u = static_cast<unsigned char>(c);
    out.push_back(u < 0x20 || u == 0x7F ? '?' : c);
  }
  if (text.size() > max) out += "...";
  return out;
}

void WriteLine(const std::string& line) {
  platform::MutexLock lock(g_log_mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void LogRequest(std::string_view remote, std::string_view method, std::string_view target,
                int status, std::string_view conclusion) {
  WriteLine(StrFormat("%s %s %s %d \"%s\"\n", Printable(remote, 64).c_str(),
                      Printable(method, 16).c_str(), Printable(target, kLoggedTargetMax).c_str(),
                      status, Printable(conclusion, 128).c_str()));
}

void LogLine(std::string_view text) {
  WriteLine(Printable(text, 1024) + "\n");
}

}  // namespace nvx::service
