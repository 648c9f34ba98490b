// A mutex that Clang's thread-safety analysis knows as a lock, its scoped holder, and a
// condition variable that waits with it held. The standard library's mutex carries no
// such attribute, so fields guarded by one could not say so in the code; every mutex of
// the library is one of these.
#ifndef NVX_PLATFORM_MUTEX_H_
#define NVX_PLATFORM_MUTEX_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/thread_annotations.h"

namespace nvx::platform {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class ConditionVariable;
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

// Waits for a change that another thread makes under the same Mutex. The waiter holds
// the mutex before and after each wait; the condition is tested by the caller in a loop
// (a wake-up may come without a change), so the analysis sees every read under the lock.
class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  // Releases `mutex` while waiting and holds it again on return.
  void Wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> held(mutex.mutex_, std::adopt_lock);
    signalled_.wait(held);
    held.release();
  }
  // The same, ending at `deadline` of the steady clock at the latest. False when the
  // deadline passed.
  bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock<std::mutex> held(mutex.mutex_, std::adopt_lock);
    const bool woken = signalled_.wait_until(held, deadline) == std::cv_status::no_timeout;
    held.release();
    return woken;
  }
  void NotifyOne() { signalled_.notify_one(); }
  void NotifyAll() { signalled_.notify_all(); }

 private:
  std::condition_variable signalled_;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_MUTEX_H_
