// An auto-reset event: one Signal releases exactly one Wait, and a Signal with no
// waiter stays set until the next Wait takes it. Safe to use from any thread.
#ifndef NVX_PLATFORM_AUTO_RESET_EVENT_H_
#define NVX_PLATFORM_AUTO_RESET_EVENT_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace nvx::platform {

class AutoResetEvent {
 public:
  AutoResetEvent() = default;
  AutoResetEvent(const AutoResetEvent&) = delete;
  AutoResetEvent& operator=(const AutoResetEvent&) = delete;

  void Signal();
  // Blocks until signalled; takes the signal.
  void Wait();
  // Blocks at most `timeout` of real time. True when the signal was taken.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable signalled_cv_;
  bool signalled_ = false;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_AUTO_RESET_EVENT_H_
