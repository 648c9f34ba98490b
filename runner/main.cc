// NVXbackup: runs the jobs of a job configuration file against the storage service.
#include <iostream>
#include <string>
#include <vector>

#include "runner/console.h"
#include "runner/job_runner.h"

int main(int argc, char** argv) {
  // ---- The crash handler is installed here, before anything else runs. ----

  std::vector<std::string> args(argv + 1, argv + argc);
  nvx::Console console(std::cout, std::cerr);
  return nvx::RunJobRunner(args, console);
}
