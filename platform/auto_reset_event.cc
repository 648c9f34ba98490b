#include "platform/auto_reset_event.h"

namespace nvx::platform {

void AutoResetEvent::Signal() {
  {
    MutexLock lock(mutex_);
    signalled_ = true;
    signalled_hint_.store(true, std::memory_order_release);
  }
  signalled_cv_.NotifyOne();
}

void AutoResetEvent::Wait() {
  MutexLock lock(mutex_);
  while (!signalled_) signalled_cv_.Wait(mutex_);
  signalled_ = false;
  signalled_hint_.store(false, std::memory_order_relaxed);
}

bool AutoResetEvent::Wait(std::chrono::microseconds spin) {
  if (spin.count() > 0) {
    const auto deadline = std::chrono::steady_clock::now() + spin;
    do {
      // The clock is read every few dozen looks; a look is a load of the hint.
      for (int look = 0; look < 64; ++look) {
        if (signalled_hint_.load(std::memory_order_acquire) && TryWait()) return true;
        SpinPause();
      }
    } while (std::chrono::steady_clock::now() < deadline);
  }
  Wait();
  return false;
}

bool AutoResetEvent::TryWait() {
  MutexLock lock(mutex_);
  if (!signalled_) return false;
  signalled_ = false;
  signalled_hint_.store(false, std::memory_order_relaxed);
  return true;
}

}  // namespace nvx::platform
