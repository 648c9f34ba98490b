// An auto-reset event: one Signal releases exactly one Wait, and a Signal with no
// waiter stays set until the next Wait takes it. Safe to use from any thread.
#ifndef NVX_PLATFORM_AUTO_RESET_EVENT_H_
#define NVX_PLATFORM_AUTO_RESET_EVENT_H_

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

 private:
  Mutex mutex_;
  CondVar signalled_cv_;
  bool signalled_ GUARDED_BY(mutex_) = false;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_AUTO_RESET_EVENT_H_
