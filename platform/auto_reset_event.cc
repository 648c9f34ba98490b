#include "platform/auto_reset_event.h"

#include <thread>

namespace nvx::platform {

void AutoResetEvent::Signal() {
  {
    MutexLock lock(mutex_);
    signalled_ = true;
  }
  signalled_cv_.NotifyOne();
}

void AutoResetEvent::Wait() {
  MutexLock lock(mutex_);
  while (!signalled_) signalled_cv_.Wait(mutex_);
  signalled_ = false;
}

void AutoResetEvent::Wait(std::chrono::microseconds spin) {
  const auto deadline = std::chrono::steady_clock::now() + spin;
  do {
    if (TryWait()) return;
    std::this_thread::yield();
  } while (std::chrono::steady_clock::now() < deadline);
  Wait();
}

bool AutoResetEvent::TryWait() {
  MutexLock lock(mutex_);
  if (!signalled_) return false;
  signalled_ = false;
  return true;
}

}  // namespace nvx::platform
