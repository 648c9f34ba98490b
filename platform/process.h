// The running process as the job runner sees it: its scheduling priority, whether its
// standard output is a terminal, its environment, and what a reader that went away does
// to it. Caller's thread.
#ifndef NVX_PLATFORM_PROCESS_H_
#define NVX_PLATFORM_PROCESS_H_

#include <optional>
#include <string>

namespace nvx::platform {

// Lowers the process to the idle priority (the lowest nice value, 19): 0 on success,
// else the system error number.
[[nodiscard]] int LowerToIdlePriority();

// True when standard output is a terminal (a window someone may be reading).
[[nodiscard]] bool StandardOutputIsTerminal();

// The value of an environment variable; none when it is not set.
[[nodiscard]] std::optional<std::string> EnvironmentValue(const char* name);

// Ignores SIGPIPE for the whole process, so that a write to a pipe or socket whose
// reader is gone fails with an error instead of ending the program. For programs only:
// a library leaves its caller's signal settings alone.
void IgnoreBrokenPipeSignal();

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_PROCESS_H_
