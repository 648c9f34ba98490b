// Whether a thread about to wait for another one looks for the signal a while before it
// sleeps. Where the other thread answers within microseconds (a worker and its caller
// passing thousands of quick files between them), looking costs far less than a sleep and
// a wake-up, which on a virtual machine take tens of microseconds each. Where it answers
// in milliseconds, looking only burns processor time the other thread may need.
//
// The decision follows how waits end, not how long they took (a woken thread's own delay
// would otherwise turn looking off for good): waits look while they end during their look;
// after kGiveUpAfter looks in a row ran out (one slow file does not count), waits sleep at
// once, and every kProbeEvery-th one looks briefly, so that a partner that became quick
// again is found within a few waits and a slow one costs little. One thread's.
#ifndef NVX_PLATFORM_ADAPTIVE_SPIN_H_
#define NVX_PLATFORM_ADAPTIVE_SPIN_H_

#include <chrono>

#include "platform/mutex.h"

namespace nvx::platform {

// Calls `take` (a load of an atomic first, so that a look costs no system call and no
// lock) until it returns true or `until` passes; true when it did. The clock is read every
// few dozen looks.
template <typename Take>
bool LookUntil(std::chrono::steady_clock::time_point until, Take take) {
  while (std::chrono::steady_clock::now() < until) {
    for (int look = 0; look < 64; ++look) {
      if (take()) return true;
      SpinPause();
    }
  }
  return false;
}

class AdaptiveSpin {
 public:
  static constexpr std::chrono::microseconds kLook{100};
  static constexpr std::chrono::microseconds kProbe{15};
  static constexpr int kGiveUpAfter = 2;
  static constexpr int kProbeEvery = 4;

  // How long the next wait looks before it sleeps; zero: it sleeps at once.
  std::chrono::microseconds NextLook() {
    if (missed_in_a_row_ < kGiveUpAfter) return kLook;
    if (++sleeps_since_probe_ < kProbeEvery) return std::chrono::microseconds(0);
    sleeps_since_probe_ = 0;
    return kProbe;
  }
  // How the wait that NextLook sized ended: during its look or after a sleep.
  void Ended(bool during_look) { missed_in_a_row_ = during_look ? 0 : missed_in_a_row_ + 1; }

 private:
  int missed_in_a_row_ = 0;
  int sleeps_since_probe_ = 0;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_ADAPTIVE_SPIN_H_
