#include "tests/support/process_signal.h"

#include <signal.h>
#include <unistd.h>

namespace nvx::test {

int CurrentProcessId() {
  return static_cast<int>(::getpid());
}

bool SendSignal(int process_id, int signal) {
  return process_id > 0 && ::kill(static_cast<pid_t>(process_id), signal) == 0;
}

}  // namespace nvx::test
