// The fixture of the job driver tests: a run of a configuration text against a scripted
// service, with the log folder, the run mutex and the clock of the test.
#ifndef NVX_TESTS_RUNNER_DRIVER_FIXTURE_H_
#define NVX_TESTS_RUNNER_DRIVER_FIXTURE_H_

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "jobfiles/run_status_file.h"
#include "runner/config_reader.h"
#include "runner/job_driver.h"
#include "tests/runner/scripted_service.h"
#include "tests/support/fake_clock.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeFolder(logs_); }

  // The credentials, the results type "Backup" and the log folder.
  std::string Head() const {
    return "NVXUser bob\nNVXPw secret\nResultsType Backup\nLogDirectory " + logs_ + "\n";
  }

  // Reads `text` and runs it; the console's texts land in out_ and err_.
  int Run(const std::string& text, int pending_exit_code = 0) {
    JobConfig config;
    std::ostringstream messages;
    int read = ParseJobConfiguration(text, config, messages);
    EXPECT_EQ(read, kConfigValid) << messages.str();
    std::ostringstream out;
    std::ostringstream err;
    Console console(out, err);
    int exit_code;
    {
      CNvxapi api;
      if (play_script_) PlayScript(api, script_);
      exit_code = DriveRun(api, config, pending_exit_code, options_, console);
    }
    out_ = out.str();
    err_ = err.str();
    return exit_code;
  }

  std::string Results() const { return ReadFileText(logs_ + "/Backup Results.txt"); }
  bool PendingResultsLeft() const { return PathExists(logs_ + "/Backup Results.tmp"); }
  std::string PendingResults() const { return ReadFileText(logs_ + "/Backup Results.tmp"); }
  bool FinalResultsWritten() const { return PathExists(logs_ + "/Backup Results.txt"); }
  // The run status file the last run left; a default status when there is none.
  jobfiles::RunStatus Status() const {
    return jobfiles::ReadRunStatusFile(logs_ + "/Backup.status").value_or(jobfiles::RunStatus{});
  }
  size_t Count(const std::string& command) const {
    size_t count = 0;
    for (const std::string& seen : script_.commands) count += seen == command ? 1 : 0;
    return count;
  }

  TempDir temp_;
  std::string logs_ = temp_.File("logs");
  FakeClock clock_;
  platform::ScopedClockOverride use_clock_{&clock_};
  ServiceScript script_;
  // False: the library's own routines run and talk to the configured server.
  bool play_script_ = true;
  RunOptions options_{5, 200, false, temp_.path(), ""};
  std::string out_;
  std::string err_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_RUNNER_DRIVER_FIXTURE_H_
