// The sequencing behind DriveRun: the start of a run, the job walk and the end of the
// run, each a thin series of CNvxapi calls around the decisions of run_decisions.h and
// the texts of run_report.h. Internal to the job driver.
#ifndef NVX_RUNNER_RUN_DRIVER_H_
#define NVX_RUNNER_RUN_DRIVER_H_

#include <optional>
#include <string>

#include "api/nvxapi.h"
#include "platform/clock.h"
#include "runner/console.h"
#include "runner/job_config.h"
#include "runner/job_driver.h"
#include "runner/progress_display.h"
#include "runner/run_decisions.h"
#include "runner/run_status.h"

namespace nvx {

class RunDriver {
 public:
  RunDriver(CNvxapi& api, const JobConfig& config, const RunOptions& options, Console& console);

  // From the results type to the exit code; the run mutex is held. The run status file
  // says how the run ended before this returns.
  int Run();

 private:
  int RunSteps();
  // Starts the desktop notifier that watches this run (RunOptions::notifier_program).
  void StartNotifier();
  // The run status file's last word on the run.
  void FinishStatus(int exit_code);
  // Start (job_driver.cc).
  void OpenLogAndPrintBanners();
  // False when the run ends; `exit_code` then tells how.
  bool HandOverCredentials(int* exit_code);
  void LowerPriority();
  // False when the run ends after the login check.
  bool CheckLogin(int* exit_code);
  void WriteAndCloseResults(const std::string& text);
  void Poll(int64_t sleep_millis);

  // Job walk (job_walk.cc). A job returns the exit code when it ends the run.
  int WalkJobs();
  std::optional<int> RunJob(const JobEntry& job);
  // The folder list could not be read before `job`: the reason goes to the results and
  // the run ends with the system error's exit code.
  int FolderListFailed(const JobEntry& job);
  void VerifyFolders(const JobEntry& job);
  void ApplyJobSettings(const JobEntry& job);
  std::optional<int> RunTransferJob(const JobEntry& job, JobKind kind);
  void DeleteEmptyFolders(const JobEntry& job);
  void Clean(const JobEntry& job);
  // The restore test (restore_test.cc): the report says how it went.
  void VerifyRestore(const JobEntry& job);
  // Downloads `name` of `server_folder` into `local_folder`; with `offer_copy` the copy
  // already there is offered by its MD5. True when the file came (or, offered, was found
  // current by the service).
  bool RestoreOneFile(const JobEntry& job, const std::string& server_folder,
                      const std::string& local_folder, const std::string& name, bool offer_copy);
  DisplaySettings DisplayFor(const JobEntry& job);
  // A job's command ended failed: the results say which job and why, the subject says
  // "Errors Detected" and the run does not end with 0.
  void NoteFailedCommand(const JobEntry& job, std::string_view server_folder,
                         std::string_view status_message);

  // After a transfer and the end of the run (run_end.cc).
  std::optional<int> AfterTransfer(const JobEntry& job, JobKind kind);
  int OutOfSpace(const JobEntry& job);
  // Finishes the results report with the head, the statistics and the closing notes;
  // returns the subject.
  std::string CloseReport(const RunFlags& flags);
  int EndOfRun();
  void SendStatusEmail(const std::string& subject);
  // The results e-mail was not taken: the report says so after its text.
  void NoteEmailRefused(const std::string& answer);
  bool AnyNotify() const { return config_.notify_user || config_.notify_administrator; }

  CNvxapi& api_;
  const JobConfig& config_;
  const RunOptions& options_;
  Console& console_;
  platform::Clock& clock_;
  // The first job's flags rule the start, the login outcome and the end of the run.
  const JobEntry& first_job_;
  int exit_code_ = 0;
  RunFlags flags_;
  std::string statistics_;
  platform::LocalTime start_time_;
  RunStatusReport status_;
  // What the status file tells of the outcome: whether a finished report was written, its
  // subject (or the reason the run ended), and the e-mail's refusal.
  bool report_written_ = false;
  std::string outcome_;
  std::string email_refusal_;
};

}  // namespace nvx

#endif  // NVX_RUNNER_RUN_DRIVER_H_
