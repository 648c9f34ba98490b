#include "api/results_report.h"

#include "api/activity_log.h"
#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

void AppendLocked(SharedBlock& block, std::string_view text) REQUIRES(block.trace_lock) {
  // A note that cannot be written has no one to tell but the activity log, which shares
  // the disk; the pending file keeps what was written.
  if (block.logs.results_file.is_open()) (void)block.logs.results_file.Write(text);
}

// The name line and the folder line of a note. A file directly in the file system root
// has an empty folder and shows as "/".
std::string NameLines(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  std::string lines = "\r\n" + std::string(name) + "\r\n";
  lines += folder.empty() ? std::string("   in folder: /\r\n")
                          : "   in folder: " + std::string(folder) + "\r\n";
  return lines;
}

std::string CommunicationFailureText(const SharedBlock& block) {
  const std::string& type = block.job.results_type;
  return "\r\n\r\nThe " + type +
         " was terminated due to a problem communicating with the Norrvault servers.\r\n\r\n"
         "The problem may be with your PC or Internet connection, or a temporary problem "
         "related to the Norrvault servers.\r\n\r\nRunning the " +
         type +
         " again will often resolve the problem. If the problem persists contact Norrvault "
         "Support.\r\n";
}

std::string KindText(const SharedBlock& block, int kind, int system_error) {
  switch (kind) {
    case kNoteCouldNotOpen:
      if (system_error == platform::kErrorSharingViolation) return "   could not be opened\r\n";
      return "   " + platform::ErrorText(system_error) + "\r\n";
    case kNoteZeroLength:
      return "   was ignored because it was zero-length\r\n";
    case kNoteServerError:
      return "   was not transfered due to error reported from server\r\n";
    case kNoteNotInServerFolder:
      return "   was not transfered because it was not found in the Norrvault folder\r\n";
    case kNoteUploadedUncompressed:
      return StrFormat("   was uploaded without compression. File size=%lld\r\n",
                       static_cast<long long>(block.transfer_size));
    default:
      return {};
  }
}

}  // namespace

std::string PendingResultsName(const SharedBlock& block) {
  return platform::JoinDirectory(block.log_directory, block.job.results_type + " Results.tmp");
}

std::string FinalResultsName(const SharedBlock& block) {
  return platform::JoinDirectory(block.log_directory, block.job.results_type + " Results.txt");
}

void OpenPendingResults(SharedBlock& block) {
  block.logs.results_file =
      platform::File::Open(PendingResultsName(block), platform::File::Access::kCreateTruncate);
}

void WriteResultText(SharedBlock& block, std::string_view text) {
  nvx::platform::MutexLock lock(block.trace_lock);
  AppendLocked(block, text);
}

void PendAndClose(SharedBlock& block, const char* head, const char* details_header,
                  const char* extra, const char* notes_header, const char* note1,
                  const char* note2) {
  nvx::platform::MutexLock lock(block.trace_lock);
  if (!block.logs.results_file.is_open()) return;
  for (const char* text : {notes_header, note1, note2}) {
    if (text != nullptr) AppendLocked(block, text);
  }
  block.logs.results_file.Close();

  const std::string pending_name = PendingResultsName(block);
  platform::File final_file =
      platform::File::Open(FinalResultsName(block), platform::File::Access::kCreateTruncate);
  if (!final_file.is_open()) return;  // the pending file stays on disk
  // A final file that could not be written whole leaves the pending file on disk.
  for (const char* text : {head, details_header, extra}) {
    if (text != nullptr && !final_file.Write(text)) return;
  }
  platform::File pending = platform::File::Open(pending_name, platform::File::Access::kRead);
  if (!pending.is_open()) return;
  platform::MappedFile pending_text = platform::MappedFile::Map(pending);
  if (!pending_text.is_mapped()) return;
  if (pending_text.size() > 0 && !final_file.Write(pending_text.view())) return;
  final_file.Close();
  // The final report is whole; a pending file that cannot be removed only stays on disk.
  platform::RemoveFile(pending_name);
}

void AddFileNote(SharedBlock& block, std::string_view path, int kind, bool report_missing,
                 int system_error) {
  nvx::platform::MutexLock lock(block.trace_lock);
  if (kind == kNoteOutOfSpace) {
    AppendLocked(block,
                 "\r\nFile transfer(s) to Norrvault failed because your account doesn't have "
                 "enough space.\r\n\r\n");
    return;
  }
  if (kind == kNoteCommunicationFailure) {
    if (block.logs.results_file.is_open() && !block.logs.communication_failure_reported) {
      AppendLocked(block, CommunicationFailureText(block));
      if (!path.empty()) AppendLocked(block, "Comm Request/File " + std::string(path) + "\r\n");
    }
    block.logs.communication_failure_reported = true;
    return;
  }
  if (system_error == platform::kErrorFileNotFound && !report_missing) return;
  if (!block.logs.results_file.is_open()) return;
  AppendLocked(block, NameLines(path) + KindText(block, kind, system_error));
}

void AddFileErrorNote(SharedBlock& block, std::string_view path, int error_code) {
  nvx::platform::MutexLock lock(block.trace_lock);
  if (!block.logs.results_file.is_open()) return;
  AppendLocked(block, NameLines(path) +
                          StrFormat("   was not transferred. Error Code = %d\r\n", error_code));
}

}  // namespace nvx
