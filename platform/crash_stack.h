// Alternate signal stacks for the crash handler. A thread that overflows its stack can
// only have its fault handled on a second stack; the kernel keeps one such stack per
// thread. The crash handler's installation gives the installing thread one for the life
// of the process; other threads that want their stack overflows reported hold a
// ThreadCrashStack while they run. Each stack has an inaccessible guard page below it, so
// that a handler running out of it faults instead of overwriting other memory.
#ifndef NVX_PLATFORM_CRASH_STACK_H_
#define NVX_PLATFORM_CRASH_STACK_H_

#include <cstddef>

namespace nvx::platform {

// Room for the unwinder, the loader's symbol lookup and the sanitizers' instrumentation
// of the crash handler's own frames.
inline constexpr size_t kCrashStackSize = 256 * 1024;

// Gives the calling thread a crash stack that is never released. False when the memory
// or the stack could not be had.
[[nodiscard]] bool UseCrashStackForLife();

// Gives the calling thread a crash stack while the object lives. Create and destroy it
// on the same thread (first thing in the thread's function).
class ThreadCrashStack {
 public:
  ThreadCrashStack();
  ~ThreadCrashStack();
  ThreadCrashStack(const ThreadCrashStack&) = delete;
  ThreadCrashStack& operator=(const ThreadCrashStack&) = delete;

  bool active() const { return active_; }

 private:
  void* mapping_ = nullptr;
  size_t mapping_size_ = 0;
  bool active_ = false;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_CRASH_STACK_H_
