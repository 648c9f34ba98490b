// Runs a program as a child process for tests: standard output and standard error go to
// files, the test waits for the end with a bound, may send the child a signal, and the
// destructor kills and reaps a child that is still running, so no test leaves a process
// behind. One thread uses a ChildProcess at a time.
#ifndef NVX_TESTS_SUPPORT_CHILD_PROCESS_H_
#define NVX_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace nvx::test {

struct ChildOutcome {
  bool exited = false;  // ended by exit (exit_code valid)
  int exit_code = -1;
  int signal = 0;  // the signal that killed it, when not exited
  bool timed_out = false;
};

class ChildProcess {
 public:
  // Starts `program` with `arguments` (not counting the program's name); `environment`
  // entries ("NAME=value") are set on top of the test's own environment. Standard output
  // and standard error are written to `output_path` and `error_path`.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& output_path, const std::string& error_path,
               const std::vector<std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Sends `signal` to the child.
  bool Signal(int signal);
  // Waits for the end; a child still running after `timeout` is killed (timed_out).
  ChildOutcome Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// Waits until the file holds `text`, at most `timeout`. True when it does.
bool WaitForFileText(const std::string& path, const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_CHILD_PROCESS_H_
