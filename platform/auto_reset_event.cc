#include "platform/auto_reset_event.h"

namespace nvx::platform {

void AutoResetEvent::Signal() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  signalled_cv_.notify_one();
}

void AutoResetEvent::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  signalled_cv_.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

bool AutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!signalled_cv_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

}  // namespace nvx::platform
