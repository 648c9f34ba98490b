#include "platform/process.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace nvx::platform {

int LowerToIdlePriority() {
  if (::setpriority(PRIO_PROCESS, 0, 19) != 0) return errno;
  return 0;
}

bool StandardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void IgnoreBrokenPipeSignal() {
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace nvx::platform
