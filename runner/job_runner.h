// The NVXbackup program between main() and the job driver: the command line, reading the
// job configuration, and the run. One thread.
#ifndef NVX_RUNNER_JOB_RUNNER_H_
#define NVX_RUNNER_JOB_RUNNER_H_

#include <string>
#include <vector>

#include "runner/console.h"

namespace nvx {

// Runs NVXbackup with `args` (the arguments after the program's name) and returns its
// exit code.
int RunJobRunner(const std::vector<std::string>& args, Console& console);

}  // namespace nvx

#endif  // NVX_RUNNER_JOB_RUNNER_H_
