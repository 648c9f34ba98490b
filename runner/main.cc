// NVXbackup: runs the jobs of a job configuration file against the storage service.
#include <iostream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "runner/console.h"
#include "runner/crash_report.h"
#include "runner/job_runner.h"

int main(int argc, char** argv) {
  // First of all, so that a fault anywhere in the run leaves a report and exit code 255.
  nvx::InstallCrashHandler();
  // A console or a connection whose reader went away is an error to report, not the end
  // of the run without its results.
  nvx::platform::IgnoreBrokenPipeSignal();

  std::vector<std::string> args(argv + 1, argv + argc);
  nvx::Console console(std::cout, std::cerr);
  return nvx::RunJobRunner(args, console);
}
