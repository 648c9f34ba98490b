// Signals between processes for tests that play "another process": the id of the
// running process, to be printed by a test program, sending a signal to a process by
// its id, and counting a signal that this process receives.
#ifndef NVX_TESTS_SUPPORT_PROCESS_SIGNAL_H_
#define NVX_TESTS_SUPPORT_PROCESS_SIGNAL_H_

#include <signal.h>

namespace nvx::test {

int CurrentProcessId();
// True when the signal was sent.
bool SendSignal(int process_id, int signal);

// Counts deliveries of `signal` to this process while it lives, in place of the signal's
// own action: a signal that would end the test program shows as a count. One at a time.
class SignalCount {
 public:
  explicit SignalCount(int signal);
  ~SignalCount();
  SignalCount(const SignalCount&) = delete;
  SignalCount& operator=(const SignalCount&) = delete;
  int count() const;

 private:
  int signal_;
  struct sigaction previous_ {};
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_PROCESS_SIGNAL_H_
