#include "runner/job_runner.h"

#include "api/nvxapi.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/run_mutex.h"
#include "runner/command_line.h"
#include "runner/config_reader.h"
#include "runner/job_driver.h"

namespace nvx {

int RunJobRunner(const std::vector<std::string>& args, Console& console) {
  CommandLine line = ParseCommandLine(args);
  JobConfig config;
  if (line.source == CommandLine::Source::kDefaultFile) {
    int result = ReadDefaultJobConfiguration(config, console.errors());
    if (result != kConfigValid) {
      console.Error("No Configuration File Found\n");
      console.ErrorText(kUsageText);
      return result;
    }
  } else if (line.source == CommandLine::Source::kNamedFile) {
    int result = ReadJobConfiguration(line.file, config, console.errors());
    if (result != kConfigValid) return result;
  }
  if (line.malformed) {
    console.ErrorText(kUsageText);
    return kConfigCannotOpen;
  }

  RunOptions options;
  options.poll_sleep_millis = line.poll_sleep_millis;
  options.display_interval = line.display_interval;
  options.pause_at_end = platform::StandardOutputIsTerminal();
  options.mutex_folder = platform::DefaultRunMutexFolder();
  // The desktop notifier is installed beside NVXbackup.
  const std::string program = platform::ExecutablePath();
  const size_t slash = program.rfind('/');
  if (slash != std::string::npos) {
    const std::string notifier = program.substr(0, slash + 1) + kNotifierProgramName;
    if (platform::IsRegularFile(notifier)) options.notifier_program = notifier;
  }
  CNvxapi api;
  return DriveRun(api, config, line.pending_exit_code, options, console);
}

}  // namespace nvx
