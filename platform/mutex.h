// A mutex that Clang's thread-safety analysis knows as a lock, its scoped holder, and a
// condition variable that waits on it. The standard library's mutex carries no such
// attribute, so fields guarded by one could not say so in the code; every mutex of the
// library and the service is one of these.
#ifndef NVX_PLATFORM_MUTEX_H_
#define NVX_PLATFORM_MUTEX_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_annotations.h"

namespace nvx::platform {

// Tells the processor that the thread spins on a value another thread will change.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Holders keep these locks for microseconds at most: a taken lock is tried again up to
  // kLooksBeforeSleep times before the thread sleeps on it, as a sleep and a wake-up cost
  // far more.
  void Lock() ACQUIRE() {
    for (int look = 0; look < kLooksBeforeSleep; ++look) {
      if (mutex_.try_lock()) return;
      SpinPause();
    }
    mutex_.lock();
  }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  static constexpr int kLooksBeforeSleep = 100;
  friend class CondVar;
  std::mutex mutex_;
};

// Holds `mutex` from construction to the end of the scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// Waits on a Mutex the caller holds; one Notify wakes the waiters to test their condition
// again (with the lock held).
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Releases `mutex` while it waits and holds it again when it returns, which may be
  // without a Notify: test the condition in a loop.
  void Wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();
  }
  // As Wait, and returns after `millis` at the latest.
  void WaitFor(Mutex& mutex, int millis) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    condition_.wait_for(lock, std::chrono::milliseconds(millis));
    lock.release();
  }
  // The same, ending at `deadline` of the steady clock at the latest. False when the
  // deadline passed.
  bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    const bool woken = condition_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return woken;
  }
  void NotifyOne() { condition_.notify_one(); }
  void NotifyAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_MUTEX_H_
