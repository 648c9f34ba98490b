// DownloadFile: one entry of the server file list, from choosing the local copy to
// offer to putting the new file in place, giving it the server's date and, for a move,
// deleting the server copy once the local one is on the disk.
#include <optional>
#include <string>

#include "codec/hidden_work_file.h"
#include "engines/download_engine.h"
#include "engines/download_exchange.h"
#include "engines/file_digest.h"
#include "engines/work_files.h"
#include "platform/directory_sync.h"
#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/file_time.h"
#include "platform/text_format.h"
#include "protocol/folder_paths.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

// Which local copy is offered to the service.
enum class Offer { kNone, kPartial, kUpdating };

// A name from the server that cannot be one local path component is refused before a
// path is built from it; the rest of the folder goes on.
void RefuseName(DownloadJob& job, const ServerFileEntry& entry) {
  EngineContext& context = job.context;
  const std::string shown = TextForLog(entry.name);
  const std::string folder = TextForLog(job.folder.name);
  context.progress().Count(FileCount::kDownloadError);
  context.progress().SetFileName("");
  context.report().LogLine(kLineError,
                           " Err - DownloadFile - File name not usable locally: '%s' (%s)\n",
                           shown.c_str(), folder.c_str());
  context.report().WriteResultText("\r\n" + shown + "\r\n   in Norrvault folder: " + folder +
                                   "\r\n   was not transfered because the file name cannot be a "
                                   "local file name.\r\n");
}

void LogDuplicates(Reporter& report, const ServerFileEntry& entry) {
  if (entry.duplicate_count > 0) {
    report.LogLine(kLineActivity, "  --DownloadFile Duplicate File Count %d\n",
                   entry.duplicate_count);
  }
}

// Something that is not a regular file sits where the download would read or write (a
// link planted at the work file's name, a folder or a pipe at the target's): nothing is
// read or written through it, it stays as it is, and the folder goes on.
bool RefuseOccupied(DownloadJob& job, const std::string& target, const std::string& occupied) {
  job.context.progress().SetFileName("");
  RefuseNotRegularFile(job.context, target, occupied, FileCount::kDownloadError,
                       "was not transfered");
  return true;
}

// Which local copy may be offered, decided from what the names themselves hold: a link
// is never followed. A link at the target's name is no copy to offer, and the new file
// replaces it; at the work file's name, or anything else that is not a regular file at
// either, the file is refused (`*occupied` names it).
Offer ChooseOffer(const std::string& target, const std::string& work, std::string* occupied) {
  // An error other than a missing name counts as nothing there; the exchange's own
  // opens then decide.
  const std::optional<platform::PathKind> work_found = platform::TestPathItself(work);
  const std::optional<platform::PathKind> target_found = platform::TestPathItself(target);
  const bool work_present = work_found.has_value();
  const bool target_present = target_found.has_value();
  const platform::PathKind work_kind = work_found.value_or(platform::PathKind::kOther);
  const platform::PathKind target_kind = target_found.value_or(platform::PathKind::kOther);
  if (work_present && work_kind != platform::PathKind::kFile) {
    *occupied = work;
  } else if (target_present && (target_kind == platform::PathKind::kDirectory ||
                                target_kind == platform::PathKind::kOther)) {
    *occupied = target;
  } else if (work_present) {
    return Offer::kPartial;
  } else if (target_present && target_kind == platform::PathKind::kFile) {
    return Offer::kUpdating;
  }
  return Offer::kNone;
}

// Makes what was written to `path` durable before the server copy goes.
bool MakeDurable(const std::string& path) {
  platform::File file = platform::File::OpenRegular(path, platform::File::Access::kRead);
  if (!file.is_open() || !file.Sync()) return false;
  const std::string_view folder = FolderOfPath(path);
  return folder.empty() || platform::SyncDirectory(std::string(folder));
}

// The last step of every file that is in place: a moved file's server copy is deleted.
bool Finish(DownloadJob& job, const ServerFileEntry& entry, const std::string& target) {
  EngineContext& context = job.context;
  ServiceLink& link = context.link();
  if (context.job().flags.move) {
    link.CloseIfMarked();
    if (MakeDurable(target)) {
      // A refused or failed delete is logged by DeleteDoc; the local copy is in place
      // either way, and the server copy stays for a later move to take.
      (void)DeleteDoc(context, job.folder.target(), entry.version_id, entry.name);
    } else {
      context.report().LogLine(kLineError, " Err - DownloadFile - Not Deleted From Norrvault %s\n",
                               target.c_str());
    }
  }
  link.CloseIfMarked();
  return true;
}

// The file counted as matched without a transfer.
bool Matched(DownloadJob& job, const ServerFileEntry& entry, const std::string& target,
             const char* log_format) {
  EngineContext& context = job.context;
  context.progress().Count(FileCount::kDownloadMatched);
  context.report().LogLine(kLineActivity, log_format, target.c_str());
  context.progress().SetPhase(phase::kSkipping);
  return Finish(job, entry, target);
}

// The date test of a target offered as it stands: equal dates or a local copy newer
// than the server's count as matched without a request.
const char* DateDecision(const ServerFileEntry& entry, const std::string& target) {
  const std::optional<int64_t> server_time = ParseServerDate(entry.date);
  const std::optional<int64_t> local_time = platform::ModificationTime(target);
  if (!server_time || !local_time) return nullptr;
  if (*local_time == *server_time) return "  DownloadFile verify Date match %s\n";
  if (*local_time > *server_time) return "  DownloadFile verify Server Date Older %s\n";
  return nullptr;
}

// DownloadFile's steps: true when the file is done with, false when the folder must stop
// (the link's communication-failure flag then tells a transport failure).
bool DownloadFileSteps(DownloadJob& job, const ServerFileEntry& entry) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  ProgressSink& progress = context.progress();
  const JobFlags& flags = context.job().flags;
  if (!IsUsableLocalName(entry.name) ||
      entry.name.size() + kDownloadWorkSuffix.size() > kLocalNameMax) {
    RefuseName(job, entry);
    return true;
  }
  const std::string target = job.local_folder + entry.name;
  const std::string work = target + std::string(kDownloadWorkSuffix);
  progress.StartFile(target, phase::kDownloading);
  report.SetStatusMessage(StrFormat("Accessing file %s", target.c_str()));
  report.LogLine(kLineActivity, " DownloadFile Processing file %s\n", target.c_str());

  std::string occupied;
  Offer offer = ChooseOffer(target, work, &occupied);
  if (!occupied.empty()) return RefuseOccupied(job, target, occupied);
  DownloadRequest request;
  request.folder_id = job.folder.id;
  request.version_id = entry.version_id;
  request.target_path = target;
  request.work_path = work;
  if (flags.use_server_date) request.server_date = entry.date;
  if (offer != Offer::kNone) {
    const std::string& offered_path = offer == Offer::kPartial ? work : target;
    platform::File copy =
        platform::File::OpenRegular(offered_path, platform::File::Access::kSharedRead);
    const int64_t size = copy.is_open() ? copy.Size() : -1;
    if (size < 0) {
      const int error = copy.error();
      if (error == platform::kErrorNotRegularFile) return RefuseOccupied(job, target, offered_path);
      if (error != platform::kErrorFileNotFound) {
        report.SetStatusMessage(StrFormat("Unable to open file %s %d\n", target.c_str(), error));
        progress.SetFileName("");
        progress.Count(FileCount::kDownloadError);
        report.LogLine(kLineError, " DownloadFile CreateFile Failed %d %s\n", error,
                       target.c_str());
        report.AddFileNote(target, kNoteCouldNotOpen, true, error);
        return true;
      }
      offer = Offer::kNone;
    } else if (flags.verification && size > 0) {
      if (offer == Offer::kUpdating && flags.file_compare != 1 && entry.date != " ") {
        if (const char* matched = DateDecision(entry, target)) {
          copy.Close();
          return Matched(job, entry, target, matched);
        }
      }
      Md5Digest digest{};
      if (!DigestFileInHand(context, entry.name, copy, &digest)) {
        report.SetStatusMessage(
            StrFormat("Unable to MapViewOfFile %s %d\n", offered_path.c_str(), copy.error()));
        report.SetErrorCode(error::kFileMapping);
        return false;
      }
      request.offered = OfferedCopy{offer == Offer::kPartial, size, digest};
      request.target_time = platform::ModificationTime(target);
    }
  }

  const DownloadResult result = RunDownloadExchange(context, request);
  switch (result.outcome) {
    case DownloadOutcome::kNoConnection:
      report.SetErrorCode(error::kTransferConnection);
      report.LogLine(kLineError, " DownloadFile Connect to Norrvault Failed  %s\n", target.c_str());
      report.AddFileErrorNote(target, error::kTransferConnection);
      return false;
    case DownloadOutcome::kTransportFailure:
      return false;
    case DownloadOutcome::kLocalFailure:
      // A link planted at the work file's name since it was chosen.
      if (result.error == platform::kErrorNotRegularFile) return RefuseOccupied(job, target, work);
      progress.Count(FileCount::kDownloadError);
      report.AddFileNote(target, kNoteCouldNotOpen, true, result.error);
      return false;
    case DownloadOutcome::kRefused:
      progress.Count(FileCount::kDownloadError);
      progress.SetFileName("");
      report.AddFileNote(target, kNoteServerError, true, 0);
      return true;
    case DownloadOutcome::kIncomplete:
      progress.Count(FileCount::kDownloadError);
      report.AddFileErrorNote(target, error::kTransferConnection);
      return true;
    case DownloadOutcome::kAlreadyCurrent:
      LogDuplicates(report, entry);
      return Matched(job, entry, target, "  DownloadFile verify match %s\n");
    case DownloadOutcome::kCompleted:
      break;
  }

  if (result.restart || offer == Offer::kUpdating) {
    progress.Count(FileCount::kDownloadUpdated);
    report.LogLine(kLineActivity, offer == Offer::kUpdating
                                      ? "  DownloadFile - File Update Successful \n"
                                      : "  DownloadFile - File Restart Successful \n");
  } else {
    progress.Count(FileCount::kDownloaded);
    report.LogLine(kLineActivity, "  DownloadFile - File Download Successful \n");
  }
  LogDuplicates(report, entry);
  return Finish(job, entry, target);
}

}  // namespace

FileDownload DownloadFile(DownloadJob& job, const ServerFileEntry& entry) {
  if (DownloadFileSteps(job, entry)) return FileDownload::kDone;
  return job.context.link().communication_failure() ? FileDownload::kTransportFailure
                                                    : FileDownload::kStop;
}

}  // namespace nvx
