#include "platform/shutdown_signal.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace nvx::platform {
namespace {

sigset_t StopSignals(bool reload_signal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (reload_signal) sigaddset(&set, SIGHUP);
  return set;
}

sigset_t g_previous_mask;

}  // namespace

ShutdownSignals::ShutdownSignals(bool reload_signal) : reload_signal_(reload_signal) {
  ::signal(SIGPIPE, SIG_IGN);
  sigset_t set = StopSignals(reload_signal_);
  ::pthread_sigmask(SIG_BLOCK, &set, &g_previous_mask);
}

ShutdownSignals::~ShutdownSignals() {
  ::pthread_sigmask(SIG_SETMASK, &g_previous_mask, nullptr);
}

bool ShutdownSignals::IsReload(int signal_number) {
  return signal_number == SIGHUP;
}

int ShutdownSignals::Wait() {
  sigset_t set = StopSignals(reload_signal_);
  for (;;) {
    int signal_number = 0;
    if (::sigwait(&set, &signal_number) == 0) return signal_number;
  }
}

void ShutdownSignals::RequestShutdown() {
  ::kill(::getpid(), SIGTERM);
}

}  // namespace nvx::platform
