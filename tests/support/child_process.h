// A program started by a test: its standard output and standard error are captured, it
// can be waited for with a bound, and it is killed and reaped if it still runs when the
// object goes. Used by one test thread.
#ifndef NVX_TESTS_SUPPORT_CHILD_PROCESS_H_
#define NVX_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::test {

class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> args;  // after the program's name
    // "NAME=value" entries that are added to (or replace in) the test's environment.
    std::vector<std::string> env;
    std::string working_directory;  // empty: the test's own
  };

  // Starts `program`; throws std::runtime_error when it cannot be started.
  ChildProcess(const std::string& program, const Options& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until standard output holds `text`; false when the bound passes or the
  // program ends first.
  bool WaitForOutput(std::string_view text, std::chrono::milliseconds bound);
  // Waits for the program to end and returns its exit code (128 + the signal number when
  // a signal ended it); none when the bound passes first.
  std::optional<int> Wait(std::chrono::milliseconds bound);
  // True while the program has not ended.
  bool Running();
  // The program's process id.
  pid_t pid() const { return pid_; }

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  // Reads what is ready on the pipes, waiting at most `bound` for something.
  void Pump(std::chrono::milliseconds bound);
  bool Reap(bool block);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::optional<int> exit_code_;
  std::string out_;
  std::string err_;
};

// Runs a program to its end (at most `bound`) and returns its exit code and output.
struct RunResult {
  std::optional<int> exit_code;
  std::string out;
  std::string err;
};
RunResult RunProgram(const std::string& program, const ChildProcess::Options& options,
                     std::chrono::milliseconds bound = std::chrono::seconds(60));

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_CHILD_PROCESS_H_
