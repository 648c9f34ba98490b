#include "platform/shutdown_signal.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace nvx::platform {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

sigset_t g_previous_mask;

}  // namespace

ShutdownSignals::ShutdownSignals() {
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t set = StopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, &g_previous_mask);
}

ShutdownSignals::~ShutdownSignals() {
  ::pthread_sigmask(SIG_SETMASK, &g_previous_mask, nullptr);
}

int ShutdownSignals::Wait() {
  sigset_t set = StopSignals();
  for (;;) {
    int signal_number = 0;
    if (::sigwait(&set, &signal_number) == 0) return signal_number;
  }
}

void ShutdownSignals::RequestShutdown() {
  ::kill(::getpid(), SIGTERM);
}

}  // namespace nvx::platform
