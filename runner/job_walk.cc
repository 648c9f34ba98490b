// The job walk: for each job the folder list, the server folder checks, the job's
// settings and its command.
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "runner/run_driver.h"
#include "runner/upload_scan.h"

namespace nvx {
namespace {

// What the run status file says a job does.
const char* PhaseOf(JobKind kind) {
  switch (kind) {
    case JobKind::kVerifyFolders:
      return "verify";
    case JobKind::kUpload:
      return "upload";
    case JobKind::kDownload:
      return "download";
    case JobKind::kDeleteEmptyFolders:
      return "delete empty folders";
    case JobKind::kClean:
      return "clean";
    case JobKind::kSendLog:
      return "send log";
    case JobKind::kVerifyRestore:
      return "restore test";
    case JobKind::kNone:
      break;
  }
  return "";
}

// Bytes per progress block: uploads count the wire's 2048-byte blocks, downloads the
// 1024-byte pieces they receive.
constexpr int64_t kUploadProgressBlockBytes = 2048;
constexpr int64_t kDownloadProgressBlockBytes = 1024;

}  // namespace

int RunDriver::WalkJobs() {
  int index = 0;
  for (const JobEntry& job : config_.jobs) {
    ++index;
    if (!job.complete) continue;
    status_.StartJob(index, PhaseOf(KindOf(job)));
    std::optional<int> end = RunJob(job);
    if (end) return *end;
  }
  return EndOfRun();
}

std::optional<int> RunDriver::RunJob(const JobEntry& job) {
  api_.Reset();
  api_.GetNVXFolderList();
  Poll(2000);
  if (api_.GetStatus() == kStatusFailed) return FolderListFailed(job);
  JobKind kind = KindOf(job);
  if (kind == JobKind::kVerifyFolders) {
    VerifyFolders(job);
    return std::nullopt;
  }

  api_.SetNVXFolder(job.server_path.c_str());
  bool mapped = api_.MapNVXPath(job.server_path.c_str());
  FolderVerdict verdict = CheckJobFolder(kind, mapped, api_.FolderNoShow(), api_.FolderNoAccess(),
                                         api_.FolderWriteAccess());
  if (verdict == FolderVerdict::kNotFound) {
    if (job.debug) console_.Print("Returning No NVX Folder\n");
    api_.WriteResult(FolderNotFoundText(SplitServerPath(job.server_path)).c_str());
    flags_.notes_seen = true;
    KeepFirstExitCode(exit_code_, kExitFolderNotFound);
    return std::nullopt;
  }
  if (verdict == FolderVerdict::kAccessDenied) {
    if (job.debug) console_.Print("Returning No NVX Folder Write Access\n");
    api_.WriteResult(AccessDeniedText(SplitServerPath(job.server_path)).c_str());
    flags_.notes_seen = true;
    KeepFirstExitCode(exit_code_, kExitAccessDenied);
    return std::nullopt;
  }

  ApplyJobSettings(job);
  switch (kind) {
    case JobKind::kUpload:
    case JobKind::kDownload:
    case JobKind::kSendLog:
      return RunTransferJob(job, kind);
    case JobKind::kDeleteEmptyFolders:
      DeleteEmptyFolders(job);
      return std::nullopt;
    case JobKind::kClean:
      Clean(job);
      return std::nullopt;
    case JobKind::kVerifyRestore:
      VerifyRestore(job);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

int RunDriver::FolderListFailed(const JobEntry& job) {
  // Without the folder list no job can find its server folder: the run ends here as a
  // system error, with a finished report that says why.
  if (job.debug) console_.Print("Returning Folder List Failed\n");
  api_.WriteResult(FolderListFailedText(JobKeyword(job), job.server_path,
                                        TextOrEmpty(api_.GetStatusMsg()),
                                        TextOrEmpty(api_.GetConclusion()))
                       .c_str());
  flags_.command_failed = true;
  exit_code_ = kExitSystemError;
  return EndOfRun();
}

void RunDriver::VerifyFolders(const JobEntry& job) {
  if (job.debug) console_.Print("Verify NVX Folders Processing\n");
  for (const std::string& folder : job.folder_list) {
    api_.VerifyNVXPath(folder.c_str());
    Poll(1000);
    // A folder that could not be made sure of fails the job; the others are still tried.
    if (api_.GetStatus() == kStatusFailed) {
      NoteFailedCommand(job, folder, TextOrEmpty(api_.GetStatusMsg()));
    }
  }
}

void RunDriver::NoteFailedCommand(const JobEntry& job, std::string_view server_folder,
                                  std::string_view status_message) {
  api_.WriteResult(FailedCommandText(JobKeyword(job), server_folder, status_message,
                                     TextOrEmpty(api_.GetConclusion()))
                       .c_str());
  flags_.command_failed = true;
}

void RunDriver::ApplyJobSettings(const JobEntry& job) {
  api_.SetLocalDirectory(job.local_path.c_str());
  if (!job.local_file.empty()) api_.SetLocalFile(job.local_file.c_str());
  api_.SetVerification(job.verify);
  api_.SetCompress(job.compress);
  api_.SetTransferCompress(job.transfer_compress);
  // After the local file, so that a job naming one file never descends into subfolders.
  api_.SetDoSubFolder(job.include_subfolders);
  if (job.force_digest) api_.SetFileCompare(1);
  api_.DuplicateFiles(job.duplicate_files);
  api_.UseNvxDate(job.use_server_date);
  for (const std::string& extension : job.excluded_extensions) {
    api_.SetExcludeExtension(extension.c_str());
  }
  for (const std::string& folder : job.folder_list) api_.SetSkipFolder(folder.c_str());
  api_.SetMoveFile(job.move);
  if (job.transfers > 1) api_.SetTransfers(job.transfers);
}

DisplaySettings RunDriver::DisplayFor(const JobEntry& job) {
  DisplaySettings settings;
  settings.progress = job.progress;
  settings.debug = job.debug;
  settings.pause_on = job.progress;
  settings.poll_sleep_millis = options_.poll_sleep_millis;
  settings.display_interval = options_.display_interval;
  settings.results_type = config_.results_type;
  settings.on_poll = [this] { status_.Heartbeat(); };
  return settings;
}

std::optional<int> RunDriver::RunTransferJob(const JobEntry& job, JobKind kind) {
  if (kind == JobKind::kUpload) {
    if (job.debug) console_.Print("Upload file Processing\n");
    api_.SetSyncFileAccess(job.progress);
    if (api_.TestOverQuota()) return OutOfSpace(job);
    api_.UploadFile();
  } else if (kind == JobKind::kDownload) {
    if (!job.server_file.empty()) api_.SetNVXFile(job.server_file.c_str());
    if (job.debug) console_.Print("Download file Processing\n");
    api_.SetSyncFileAccess(job.progress);
    api_.DownloadFile();
  } else {
    if (job.debug) console_.Print("Send Log file Processing\n");
    api_.SetSyncFileAccess(job.progress);
    if (!api_.SendLog(job.log_count)) return std::nullopt;
  }
  // Uploads know their work beforehand; downloads learn each file's size as it comes.
  std::optional<WorkCount> work;
  if (kind == JobKind::kUpload) work = CountUploadWork(job);
  // A download's file in hand is the local copy being written: its size comes from the
  // block count the service announced.
  TransferMeter::SizeLookup size_of;
  if (kind != JobKind::kDownload) {
    size_of = [](const std::string& path) { return platform::FileSizeOf(path); };
  }
  TransferMeter meter(
      work, kind == JobKind::kDownload ? kDownloadProgressBlockBytes : kUploadProgressBlockBytes,
      std::move(size_of));
  meter.SetListener([this, &meter] { status_.Progress(meter.Reading(clock_.MonotonicMillis())); });
  ApiTransferWatch watch(api_);
  DisplaySettings settings = DisplayFor(job);
  settings.meter = &meter;
  RunTransferLoop(watch, settings, console_);
  return AfterTransfer(job, kind);
}

void RunDriver::DeleteEmptyFolders(const JobEntry& job) {
  if (job.debug) console_.Print("Delete Empty NVX Folders Processing\n");
  api_.DeleteEmptyNVXFolders();
  Poll(1000);
  const int32_t status = api_.GetStatus();
  const std::string conclusion = TextOrEmpty(api_.GetConclusion());
  if (DeleteEmptyFailed(status, conclusion)) {
    // The library's status message only says that the exchange ended; the service's
    // answer is the reason when the command itself did not fail.
    NoteFailedCommand(job, job.server_path,
                      status == kStatusFailed ? TextOrEmpty(api_.GetStatusMsg()) : "");
  }
  if (!job.debug) return;
  if (conclusion == "Successful") {
    console_.Print("Delete Empty NVX Folders Successful\n");
  } else {
    console_.Print("Delete Empty NVX Folders %s\n", conclusion.c_str());
  }
}

void RunDriver::Clean(const JobEntry& job) {
  if (job.debug) console_.Print("Clean NVX Folders Processing\n");
  api_.CleanNVX();
  ApiTransferWatch watch(api_);
  RunCleanSpinner(watch, DisplayFor(job), console_);
  const bool failed = api_.GetStatus() == kStatusFailed;
  if (failed) NoteFailedCommand(job, job.server_path, TextOrEmpty(api_.GetStatusMsg()));
  if (!job.debug && !job.progress) return;
  if (failed) {
    console_.Print("\nClean NVX Folders %s\n", TextOrEmpty(api_.GetConclusion()));
  } else {
    console_.Print("\nClean NVX Folders Successful\n");
  }
}

}  // namespace nvx
