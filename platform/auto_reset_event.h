// An auto-reset event: one Signal releases exactly one Wait, and a Signal with no
// waiter stays set until the next Wait takes it. Safe to use from any thread.
#ifndef NVX_PLATFORM_AUTO_RESET_EVENT_H_
#define NVX_PLATFORM_AUTO_RESET_EVENT_H_

#include <atomic>
#include <chrono>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"

namespace nvx::platform {

class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Signal() EXCLUDES(mutex_);
  // Blocks until signalled; takes the signal.
  void Wait() EXCLUDES(mutex_);
  // The same, but looks for the signal for up to `spin` first, without a system call,
  // before it sleeps: a signal that usually comes within microseconds then costs no sleep
  // and wake-up (two thread switches). True when the signal was taken while looking.
  bool Wait(std::chrono::microseconds spin) EXCLUDES(mutex_);
  // Takes the signal when it is set; never blocks.
  [[nodiscard]] bool TryWait() EXCLUDES(mutex_);

 private:
  Mutex mutex_;
  CondVar signalled_cv_;
  bool signalled_ GUARDED_BY(mutex_) = false;
  // Follows signalled_, so that a spinning Wait can look without the mutex.
  std::atomic<bool> signalled_hint_{false};
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_AUTO_RESET_EVENT_H_
