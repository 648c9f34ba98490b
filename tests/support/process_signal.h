// Signals between processes for tests that play "another process": the id of the
// running process, to be printed by a test program, and sending a signal to a process
// by its id.
#ifndef NVX_TESTS_SUPPORT_PROCESS_SIGNAL_H_
#define NVX_TESTS_SUPPORT_PROCESS_SIGNAL_H_

namespace nvx::test {

int CurrentProcessId();
// True when the signal was sent.
bool SendSignal(int process_id, int signal);

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_PROCESS_SIGNAL_H_
