// The start of a run: the run mutex, the log, the banners, the credentials, the proxy,
// the server, the priority and the login check.
#include "runner/job_driver.h"

#include <algorithm>

#include "platform/error_text.h"
#include "platform/process.h"
#include "platform/process_start.h"
#include "platform/run_mutex.h"
#include "platform/text_format.h"
#include "runner/command_line.h"
#include "runner/password_scrambling.h"
#include "runner/runner_limits.h"

#include "runner/run_driver.h"

namespace nvx {
namespace {

// Takes the run mutex, waiting while another run holds it. False when the run must end.
bool TakeRunMutex(platform::RunMutex& mutex, Console& console) {
  if (mutex.is_open() && mutex.TryAcquire()) return true;
  platform::RunMutex::WaitResult result = platform::RunMutex::WaitResult::kFailed;
  if (mutex.is_open() && mutex.error() == 0) {
    console.Print("Waiting for the run in progress to end\n");
    result = mutex.Acquire(kRunMutexWaitLimitMillis, kRunMutexPollMillis);
  }
  switch (result) {
    case platform::RunMutex::WaitResult::kAcquired:
      return true;
    case platform::RunMutex::WaitResult::kTimedOut:
      console.Print("The run in progress did not end within %lld hours: this run gives up\n",
                    static_cast<long long>(kRunMutexWaitLimitMillis / 3600000));
      return false;
    case platform::RunMutex::WaitResult::kFailed:
      console.Print("Run mutex %s unavailable (%s): %s\n", kRunMutexName, mutex.path().c_str(),
                    platform::ErrorText(mutex.error()).c_str());
      return false;
  }
  return false;
}

}  // namespace

int DriveRun(CNvxapi& api, const JobConfig& config, int pending_exit_code,
             const RunOptions& options, Console& console) {
  if (config.jobs.empty()) {
    console.Error("Invalid Configuration File\n");
    console.ErrorText(kUsageText);
    return pending_exit_code;
  }
  // Released before the caller destroys the CNvxapi, on every way out.
  platform::RunMutex mutex = platform::RunMutex::Open(kRunMutexName, options.mutex_folder);
  if (!TakeRunMutex(mutex, console)) return kExitSystemError;
  return RunDriver(api, config, options, console).Run();
}

RunDriver::RunDriver(CNvxapi& api, const JobConfig& config, const RunOptions& options,
                     Console& console)
    : api_(api),
      config_(config),
      options_(options),
      console_(console),
      clock_(platform::GetClock()),
      first_job_(config.jobs.front()),
      status_(config.log_directory, config.results_type, config.desktop_notify, clock_) {}

int RunDriver::Run() {
  status_.Begin(static_cast<int>(config_.jobs.size()));
  StartNotifier();
  const int exit_code = RunSteps();
  if (!status_.finished()) FinishStatus(exit_code);
  return exit_code;
}

void RunDriver::StartNotifier() {
  if (options_.notifier_program.empty() || !status_.enabled() ||
      config_.desktop_notify == jobfiles::kNotifyNever) {
    return;
  }
  // The notifier is a help, not part of the run: a notifier that cannot start changes
  // nothing here.
  const int error = platform::StartDetachedProgram(
      {options_.notifier_program, "--watch", std::to_string(platform::CurrentProcessId()),
       "--status", status_.path()},
      config_.log_directory + "NVXnotify.out");
  if (error != 0 && first_job_.debug) {
    console_.Print("Desktop notifier %s not started: %s\n", options_.notifier_program.c_str(),
                   platform::ErrorText(error).c_str());
  }
}

void RunDriver::FinishStatus(int exit_code) {
  const bool errors = flags_.errors_seen || flags_.notes_seen || flags_.command_failed;
  status_.Finish(exit_code, report_written_, errors, outcome_, email_refusal_);
}

int RunDriver::RunSteps() {
  OpenLogAndPrintBanners();
  int exit_code = 0;
  if (!HandOverCredentials(&exit_code)) return exit_code;
  // The authorities first: SetServer's list may name TLS servers.
  if (!config_.server_ca_file.empty()) api_.SetServerCA(config_.server_ca_file.c_str());
  if (!config_.server_host.empty()) api_.SetServer(config_.server_host.c_str());
  LowerPriority();
  if (!CheckLogin(&exit_code)) return exit_code;
  return WalkJobs();
}

void RunDriver::OpenLogAndPrintBanners() {
  const char* type = config_.results_type.c_str();
  api_.SetResultsType(type);
  // Without a log directory there is no activity log and no results report.
  if (!config_.log_directory.empty()) {
    api_.SetLogDirectory(config_.log_directory.c_str());
    api_.SetLogLevel(config_.log_level);
  }
  if (first_job_.debug) {
    console_.Print("\n\nNorrvault, Inc.\n\n");
    console_.Print("Verify user %s\n\n", config_.user.c_str());
  }
  if (first_job_.progress) {
    console_.Print("\n\nNorrvault, Inc. %s Started\n\n", type);
    console_.Print("IMPORTANT! Closing this window will STOP the %s!\n\n", type);
    console_.Print("This window will close when the %s program ends.\n\n", type);
  }
}

bool RunDriver::HandOverCredentials(int* exit_code) {
  if (config_.password_scrambled) {
    if (!IsLoginTokenOf(config_.user, config_.password)) {
      WriteAndCloseResults("ID and/or encrypted password invalid\r\n");
      *exit_code = kExitCredentialsInvalid;
      return false;
    }
    api_.SetUserAuthEncrypted(config_.user.c_str(), config_.password.c_str());
  } else {
    api_.SetUserAuth(config_.user.c_str(), config_.password.c_str());
  }
  if (config_.proxy_given) {
    api_.SetProxyServer(config_.proxy_host.c_str(), config_.proxy_port.c_str());
  }
  if (config_.proxy_id_given) {
    if (!config_.proxy_password_scrambled) {
      api_.SetProxyAuth(config_.proxy_id.c_str(), config_.proxy_password.c_str());
    } else if (IsWellFormedScrambledText(config_.proxy_password)) {
      api_.SetProxyAuthEncrypted(config_.proxy_id.c_str(), config_.proxy_password.c_str());
    } else {
      WriteAndCloseResults("Invalid Encrypted Proxy Password Info\r\n");
      *exit_code = kExitCredentialsInvalid;
      return false;
    }
  }
  return true;
}

void RunDriver::LowerPriority() {
  int error = platform::LowerToIdlePriority();
  if (error != 0) console_.Print("SetPriorityClass Failed %d\n", error);
}

bool RunDriver::CheckLogin(int* exit_code) {
  start_time_ = clock_.LocalNow();
  api_.SetStartTime();
  api_.VerifyId();
  Poll(1000);
  const std::string conclusion = TextOrEmpty(api_.GetConclusion());
  const std::string http_response = TextOrEmpty(api_.GetHttpResponse());
  LoginOutcome outcome = DecideLoginOutcome(api_.GetStatus(), api_.GetErrorCode(), conclusion,
                                            http_response, TextOrEmpty(api_.GetStatusMsg()));
  if (first_job_.debug && !outcome.debug_line.empty()) {
    console_.PrintText(outcome.debug_line);
    console_.Print("  Status message %s\n", TextOrEmpty(api_.GetStatusMsg()));
    console_.Print("  Error Code     %d\n", api_.GetErrorCode());
    console_.Print("  Last HTTP Response %s\n", http_response.c_str());
  }
  if (!outcome.results_text.empty()) WriteAndCloseResults(outcome.results_text);
  *exit_code = outcome.exit_code;
  return outcome.go_on;
}

void RunDriver::WriteAndCloseResults(const std::string& text) {
  api_.WriteResult(text.c_str());
  api_.PendAndCloseResult("", nullptr, nullptr, nullptr, nullptr, nullptr);
  report_written_ = !config_.log_directory.empty();
  outcome_ = text;
  while (!outcome_.empty() && (outcome_.back() == '\n' || outcome_.back() == '\r')) {
    outcome_.pop_back();
  }
}

void RunDriver::Poll(int64_t sleep_millis) {
  // Service commands take from milliseconds to minutes. The library announces the end of
  // every command, so the poll wakes as soon as one ends (a run of quick commands, such as
  // a re-run's logins and folder lists, does not wait a poll interval after each); the
  // interval only bounds how long the status file waits for its heartbeat.
  const int64_t slice = std::min<int64_t>(sleep_millis, kPollSliceMillis);
  while (api_.GetStatus() == kStatusBusy) {
    status_.Heartbeat();
    static_cast<void>(api_.WaitTransferChange(static_cast<int32_t>(slice)));
  }
}

}  // namespace nvx
