// A mutex that Clang's thread-safety analysis knows as a lock, and its scoped holder.
// The standard library's mutex carries no such attribute, so fields guarded by one could
// not say so in the code.
#ifndef NVX_PLATFORM_MUTEX_H_
#define NVX_PLATFORM_MUTEX_H_

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

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_MUTEX_H_
