#include "platform/auto_reset_event.h"

namespace nvx::platform {

void AutoResetEvent::Signal() {
  {
    MutexLock lock(mutex_);
    signalled_ = true;
  }
  signalled_cv_.NotifyOne();
}

void AutoResetEvent::Wait() {
  MutexLock lock(mutex_);
  while (!signalled_) signalled_cv_.Wait(mutex_);
  signalled_ = false;
}

}  // namespace nvx::platform
