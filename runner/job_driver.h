// The job driver: one run of the jobs of a job configuration through one CNvxapi, from
// the results type and the login check to the results report, the e-mail summary and the
// exit code. Only one run proceeds on a machine at a time: a run waits for the run mutex
// before it opens its log and results files, so that it never writes over the files of a
// run in progress. One thread.
#ifndef NVX_RUNNER_JOB_DRIVER_H_
#define NVX_RUNNER_JOB_DRIVER_H_

#include <cstdint>
#include <string>

#include "api/nvxapi.h"
#include "runner/console.h"
#include "runner/job_config.h"

namespace nvx {

inline constexpr char kRunMutexName[] = "NVX-SDK Sync";
// The desktop notifier's program file, beside NVXbackup's.
inline constexpr char kNotifierProgramName[] = "NVXnotify";
// How long a window opened for the run stays readable at its end.
inline constexpr int64_t kClosingPauseMillis = 15000;
// The longest a poll waits for a service command's end before it looks at its status again.
inline constexpr int64_t kPollSliceMillis = 20;

// Exit codes of a run.
inline constexpr int kExitProxyRefused = 2;
inline constexpr int kExitCredentialsInvalid = 3;
inline constexpr int kExitFolderNotFound = 5;
inline constexpr int kExitAccessDenied = 6;
inline constexpr int kExitLocalFileNotFound = 7;
inline constexpr int kExitQuotaExceeded = 8;
inline constexpr int kExitSystemError = 10;

struct RunOptions {
  int poll_sleep_millis = 5;
  int display_interval = 200;
  // The closing pause: only when standard output is a terminal someone may be reading.
  bool pause_at_end = false;
  // The folder of the run mutex's lock file.
  std::string mutex_folder;
  // The desktop notifier started to watch the run ("" for none): it is given this
  // process's id and the run status file, and tells the desktop how the run ended.
  std::string notifier_program;
};

// Runs the jobs of `config` with `api`, which the caller has just constructed and
// destroys afterwards. `pending_exit_code` is the exit code of a configuration without
// jobs. Returns the run's exit code.
int DriveRun(CNvxapi& api, const JobConfig& config, int pending_exit_code,
             const RunOptions& options, Console& console);

}  // namespace nvx

#endif  // NVX_RUNNER_JOB_DRIVER_H_
