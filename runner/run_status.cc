#include "runner/run_status.h"

#include "platform/process_start.h"

namespace nvx {

RunStatusReport::RunStatusReport(const std::string& log_folder, const std::string& results_type,
                                 std::string notify, platform::Clock& clock)
    : clock_(clock) {
  if (!log_folder.empty()) path_ = log_folder + jobfiles::RunStatusFileName(results_type);
  status_.results_type = results_type;
  status_.notify = std::move(notify);
}

void RunStatusReport::Begin(int jobs) {
  if (!enabled()) return;
  if (std::optional<jobfiles::RunStatus> previous = jobfiles::ReadRunStatusFile(path_)) {
    status_.last_success = previous->last_success;
  }
  status_.pid = platform::CurrentProcessId();
  status_.started = clock_.NowSeconds();
  status_.jobs = jobs;
  status_.phase = "login";
  Write(true);
}

void RunStatusReport::StartJob(int job, std::string_view phase) {
  status_.job = job;
  status_.phase = std::string(phase);
  status_.files_done = 0;
  status_.files_total = -1;
  status_.bytes_done = 0;
  status_.bytes_total = -1;
  status_.rate = -1;
  status_.seconds_left = -1;
  status_.current_file.clear();
  Write(true);
}

void RunStatusReport::Progress(const TransferReading& reading) {
  status_.files_done = reading.files_done;
  status_.files_total = reading.files_total;
  status_.bytes_done = reading.bytes_done;
  status_.bytes_total = reading.bytes_total;
  status_.rate = reading.rate;
  status_.seconds_left = reading.seconds_left;
  status_.current_file = reading.current_file;
  Write(false);
}

void RunStatusReport::Heartbeat() {
  Write(false);
}

void RunStatusReport::Finish(int exit_code, bool report, bool errors, const std::string& subject,
                             const std::string& email) {
  status_.state = jobfiles::RunState::kFinished;
  status_.phase = "end";
  status_.rate = -1;
  status_.seconds_left = -1;
  status_.current_file.clear();
  status_.exit_code = exit_code;
  status_.report = report;
  status_.errors = errors;
  status_.subject = subject;
  status_.email = email;
  status_.ended = clock_.NowSeconds();
  if (exit_code == 0) status_.last_success = status_.started;
  Write(true);
}

void RunStatusReport::Write(bool force) {
  if (!enabled()) return;
  const int64_t now = clock_.MonotonicMillis();
  if (!force && written_ && now - last_write_millis_ < kRunStatusIntervalMillis) return;
  status_.updated = clock_.NowSeconds();
  // A failed write leaves the previous status in place; the next write tries again.
  if (jobfiles::WriteRunStatusFile(path_, status_)) {
    written_ = true;
    last_write_millis_ = now;
  }
}

}  // namespace nvx
