// Other processes: starting a program that outlives its starter, and asking whether a
// process still runs. Caller's thread.
#ifndef NVX_PLATFORM_PROCESS_START_H_
#define NVX_PLATFORM_PROCESS_START_H_

#include <cstdint>
#include <string>
#include <vector>

namespace nvx::platform {

// The id of the running process, and the real user's id.
int64_t CurrentProcessId();
int64_t CurrentUserId();

// True while the process `pid` exists and has not ended (an ended process that its parent
// has not yet collected counts as ended).
bool ProcessIsRunning(int64_t pid);

// Starts `arguments[0]` (a path) with `arguments` in a session of its own, so that it
// neither waits on nor ends with its starter, and returns without waiting for it. Its
// standard input is empty; its standard output and standard error are appended to
// `output_file` (nothing is kept when that is empty or cannot be opened). 0 when it was
// started, else the system error number (the program missing or not executable).
int StartDetachedProgram(const std::vector<std::string>& arguments, const std::string& output_file);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_PROCESS_START_H_
