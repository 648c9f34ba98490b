// The run status file of a run (jobfiles/run_status_file.h), kept up to date by the job
// driver: written when the run begins, at each job, about once a second while the run
// waits or transfers, and when it ends. Without a log folder there is no file. A write
// that fails is tried again at the next occasion; the run never stops for it. One thread.
#ifndef NVX_RUNNER_RUN_STATUS_H_
#define NVX_RUNNER_RUN_STATUS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "jobfiles/run_status_file.h"
#include "platform/clock.h"
#include "runner/transfer_meter.h"

namespace nvx {

// Between two writes of a running status, at least this long.
inline constexpr int64_t kRunStatusIntervalMillis = 1000;

class RunStatusReport {
 public:
  // `log_folder` ends with "/" (empty: no status file); `notify` is the desktop
  // notification wanted (jobfiles::kNotifyFailures, ...).
  RunStatusReport(const std::string& log_folder, const std::string& results_type,
                  std::string notify, platform::Clock& clock);

  // The run begins with `jobs` jobs; the last success of earlier runs is carried over.
  void Begin(int jobs);
  // Job `job` (from 1) begins, doing `phase`.
  void StartJob(int job, std::string_view phase);
  // The progress of the transfer in hand; written when the last write is a second old.
  void Progress(const TransferReading& reading);
  // Nothing new, but the run is alive.
  void Heartbeat();
  // The run ends with `exit_code`; `report` says whether its results report was written.
  void Finish(int exit_code, bool report, bool errors, const std::string& subject,
              const std::string& email);

  const std::string& path() const { return path_; }
  bool enabled() const { return !path_.empty(); }
  bool finished() const { return status_.state == jobfiles::RunState::kFinished; }

 private:
  void Write(bool force);

  platform::Clock& clock_;
  std::string path_;
  jobfiles::RunStatus status_;
  int64_t last_write_millis_ = 0;
  bool written_ = false;
};

}  // namespace nvx

#endif  // NVX_RUNNER_RUN_STATUS_H_
