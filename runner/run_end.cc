// The end of a transfer job, the run that stops for lack of space, and the end of the
// run: statistics, the results report and the e-mail summary.
#include "platform/file.h"
#include "platform/text_format.h"
#include "runner/run_driver.h"
#include "runner/run_report.h"

namespace nvx {

std::optional<int> RunDriver::AfterTransfer(const JobEntry& job, JobKind kind) {
  // Taken before the statistics command, which (like every command) starts by clearing
  // the error code.
  const int32_t error_code = api_.GetErrorCode();
  const bool failed = api_.GetStatus() == kStatusFailed;
  const std::string status_message = TextOrEmpty(api_.GetStatusMsg());
  NoteTransferCounters(*api_.GetTransferProgress(), flags_);
  api_.DumpStats();
  AppendStatistics(statistics_, TextOrEmpty(api_.GetStats()));
  if (job.debug) console_.Print("Saving Stats For Email\n");

  const bool notify = job.notify_user || job.notify_administrator;
  switch (DecideAfterTransfer(error_code)) {
    case TransferVerdict::kLocalFileNotFound:
      if (job.debug) console_.Print("Returning No Local File\n");
      api_.WriteResult(
          StrFormat("\r\n\r\nLocal File Not Found - %s\r\n", job.local_file.c_str()).c_str());
      flags_.notes_seen = true;
      KeepFirstExitCode(exit_code_, kExitLocalFileNotFound);
      return std::nullopt;
    case TransferVerdict::kQuotaExceeded:
      if (job.debug) console_.Print("Returning Quota Exceeded\n");
      api_.WriteResult("\r\nAccount Quota Exceeded\r\n");
      if (notify) {
        api_.EmailSend(job.notify_user, job.notify_administrator, "User Quota exceeded",
                       "Quota exceeded ");
        Poll(2000);
      }
      // The run ends here and its results stay pending: no final report is written.
      outcome_ = "Account Quota Exceeded";
      return kExitQuotaExceeded;
    case TransferVerdict::kSystemError:
      if (job.debug) console_.Print("Returning System Error\n");
      if (notify) {
        api_.EmailSend(job.notify_user, job.notify_administrator, "System error", "System error ");
        Poll(2000);
      }
      // As above: the results stay pending.
      outcome_ = "System error: " + status_message;
      return kExitSystemError;
    case TransferVerdict::kNextJob:
      // A command that failed without an error code is no success either.
      if (failed) NoteFailedCommand(job, job.server_path, status_message);
      break;
  }
  if (kind == JobKind::kUpload) {
    api_.Reset();
    api_.ResetSpace();
    Poll(2000);
  }
  return std::nullopt;
}

int RunDriver::OutOfSpace(const JobEntry& job) {
  const std::string subject = OutOfSpaceSubject(config_.results_type, config_.user);
  if (job.debug) console_.Print("Returning Quota Exceeded\n");
  api_.WriteResult(kOutOfSpaceSentence);
  api_.WriteResult("\r\n");
  ClosingTexts closing = ClosingTextsFor(flags_);
  api_.PendAndCloseResult("", closing.details_header.c_str(), "", closing.notes_header.c_str(),
                          closing.in_use_note.c_str(), closing.zero_length_note.c_str());
  report_written_ = !config_.log_directory.empty();
  outcome_ = subject;
  if (AnyNotify()) {
    api_.EmailSend(config_.notify_user, config_.notify_administrator, subject.c_str(),
                   kOutOfSpaceSentence);
    Poll(2000);
  }
  return kExitQuotaExceeded;
}

std::string RunDriver::CloseReport(const RunFlags& flags) {
  platform::LocalTime end_time = clock_.LocalNow();
  std::string subject = RunSubject(config_.results_type, config_.user, flags);
  std::string report = ReportHead(subject, config_.results_type, start_time_, end_time,
                                  TextOrEmpty(api_.GetLogFileName())) +
                       statistics_;
  ClosingTexts closing = ClosingTextsFor(flags);
  api_.PendAndCloseResult(report.c_str(), closing.details_header.c_str(), "",
                          closing.notes_header.c_str(), closing.in_use_note.c_str(),
                          closing.zero_length_note.c_str());
  report_written_ = !config_.log_directory.empty();
  outcome_ = subject;
  return subject;
}

int RunDriver::EndOfRun() {
  const char* type = config_.results_type.c_str();
  api_.Reset();
  console_.Print("\n\nNorrvault, Inc. %s Processing Complete\n\n", type);
  std::string subject = CloseReport(flags_);
  if (AnyNotify()) SendStatusEmail(subject);
  // A run in which a job's command failed never ends as a success.
  if (flags_.command_failed) KeepFirstExitCode(exit_code_, kExitSystemError);
  api_.Reset();
  // Before the closing pause: whoever watches the status learns the outcome at once.
  FinishStatus(exit_code_);
  if (first_job_.progress) {
    console_.Print("\n\nNorrvault, Inc. %s Finished\n\n", type);
    if (options_.pause_at_end) clock_.SleepMillis(kClosingPauseMillis);
  }
  return exit_code_;
}

void RunDriver::SendStatusEmail(const std::string& subject) {
  // Without a log directory no report was written; nothing else may stand in for it.
  if (config_.log_directory.empty()) return;
  const std::string name = config_.log_directory + config_.results_type + " Results.txt";
  platform::File file = platform::File::Open(name, platform::File::Access::kRead);
  if (!file.is_open()) return;
  platform::MappedFile mapped = platform::MappedFile::Map(file);
  if (!mapped.is_mapped()) return;
  const std::string text(mapped.view());
  console_.Print("\n\n %s Processing - Sending Status Email\n\n", config_.results_type.c_str());
  api_.EmailSendJustText(config_.notify_user, config_.notify_administrator, subject.c_str(),
                         text.c_str());
  Poll(2000);
  const std::string answer = TextOrEmpty(api_.GetConclusion());
  if (api_.GetStatus() == kStatusFailed || StartsWithIgnoreCase(answer, "Error")) {
    NoteEmailRefused(answer.empty() ? TextOrEmpty(api_.GetStatusMsg()) : answer);
    return;
  }
  if (first_job_.debug) console_.Print("Sent Stats Email\n");
}

void RunDriver::NoteEmailRefused(const std::string& answer) {
  email_refusal_ = answer.substr(0, kMaxFailureReasonBytes);
  for (char& c : email_refusal_) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  console_.Print("\n\n %s Processing - Status Email not sent: %s\n\n", config_.results_type.c_str(),
                 email_refusal_.c_str());
  // The report was finished before the e-mail; the refusal is added at its end, so that
  // the report never says less than the log.
  const std::string name = config_.log_directory + config_.results_type + " Results.txt";
  platform::File file = platform::File::OpenRegular(name, platform::File::Access::kAppend);
  if (file.is_open()) {
    // A note that cannot be added leaves the report as it was; the status file has it.
    (void)file.Write("\r\n\r\nThe results e-mail was not sent: " + email_refusal_ + "\r\n");
  }
}

}  // namespace nvx
