// Running another program to its end: its arguments are passed as they are (no shell),
// its standard input is empty, and its standard output and standard error are collected.
// Caller's thread; the call blocks until the program ends.
#ifndef NVX_PLATFORM_PROGRAM_RUN_H_
#define NVX_PLATFORM_PROGRAM_RUN_H_

#include <cstddef>
#include <string>
#include <vector>

namespace nvx::platform {

struct ProgramResult {
  bool started = false;  // false: the program could not be started (see start_error)
  int start_error = 0;   // the system error number when it could not be started
  int exit_code = -1;    // its exit code; 128 + the signal number when a signal ended it
  std::string out;
  std::string err;
};

// Runs `arguments[0]` (looked up on the PATH when it holds no "/") with `arguments`.
// Each output keeps at most `max_output` bytes; more is read and dropped, so that a
// talkative program never blocks on a full pipe.
[[nodiscard]] ProgramResult RunProgram(const std::vector<std::string>& arguments,
                                       size_t max_output);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_PROGRAM_RUN_H_
