#include "platform/auto_reset_event.h"

#include "platform/adaptive_spin.h"

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
  if (spin.count() > 0 && LookUntil(std::chrono::steady_clock::now() + spin, [this] {
        return signalled_hint_.load(std::memory_order_acquire) && TryWait();
      })) {
    return true;
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
