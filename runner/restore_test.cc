// The restore test of a job ("VerifyRestore N"): files of the job's local folder chosen at
// random are restored from the job's server folder into a temporary folder in the log
// folder, one at a time. Each copy is then offered back to the service, which answers
// that it has it only when the copy's MD5 is the one it stored at the backup. When the
// last successful backup is known, only files not written since it began are chosen, and
// each must also equal its copy byte for byte. The report says "Restore test passed: N files, X MB"
// or names the first file that failed and why. The temporary folder is removed on every way out.
#include <array>
#include <cstring>
#include <vector>

#include "jobfiles/run_status_file.h"
#include "platform/directory_search.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/process_start.h"
#include "platform/text_format.h"
#include "runner/run_driver.h"
#include "runner/runner_limits.h"
#include "runner/upload_scan.h"

namespace nvx {
namespace {

// The results type whose last success tells which local files are unchanged since their
// backup.
constexpr char kBackupResultsType[] = "Backup";

// True when both files hold the same bytes.
bool SameBytes(const std::string& one, const std::string& other) {
  platform::File a = platform::File::Open(one, platform::File::Access::kRead);
  platform::File b = platform::File::Open(other, platform::File::Access::kRead);
  if (!a.is_open() || !b.is_open() || a.Size() != b.Size()) return false;
  std::array<char, 64 * 1024> left{};
  std::array<char, 64 * 1024> right{};
  for (;;) {
    const int64_t got = a.ReadFully(left.data(), left.size());
    if (got < 0 || b.ReadFully(right.data(), right.size()) != got) return false;
    if (got == 0) return true;
    if (std::memcmp(left.data(), right.data(), static_cast<size_t>(got)) != 0) return false;
  }
}

// Removes `folder` with everything below it; folders nest at most kRestoreTestMaxDepth
// deep here, which bounds the recursion.
void RemoveTree(const std::string& folder, int depth = 0) {
  std::vector<platform::DirectoryEntry> entries;
  if (depth < kRestoreTestMaxDepth && platform::SearchDirectory(folder, "*", &entries) == 0) {
    for (const platform::DirectoryEntry& entry : entries) {
      const std::string path = folder + "/" + entry.name;
      if (entry.kind == platform::DirectoryEntry::Kind::kDirectory) {
        RemoveTree(path, depth + 1);
      } else {
        platform::RemoveFile(path);
      }
    }
  }
  platform::RemoveDirectory(folder);
}

// A new folder in `parent` for this run's copies; empty when none could be made.
std::string MakeScratchFolder(const std::string& parent) {
  const std::string base = StrFormat("%s/RestoreTest.%lld", parent.empty() ? "." : parent.c_str(),
                                     static_cast<long long>(platform::CurrentProcessId()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = attempt == 0 ? base : StrFormat("%s.%d", base.c_str(), attempt);
    if (platform::MakeDirectory(path)) return path;
  }
  return {};
}

std::string LastName(const std::string& path, char separator) {
  std::string_view trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == separator) trimmed.remove_suffix(1);
  const size_t at = trimmed.rfind(separator);
  return std::string(at == std::string_view::npos ? trimmed : trimmed.substr(at + 1));
}

// The server folder of a file in `relative` (with "/") below the job's local folder. As
// the backup did: a folder job lands in the server folder of the local folder's name (the
// job's server folder itself when it has that name); a job of a file or pattern lands in
// the job's server folder.
std::string ServerFolderOf(const JobEntry& job, const std::string& relative) {
  std::string folder = job.server_path;
  const std::string local_name = LastName(job.local_path, '/');
  if (job.local_file.empty() && !EqualsIgnoreCase(LastName(folder, '\\'), local_name)) {
    folder += "\\" + local_name;
  }
  if (!relative.empty()) folder += "\\" + relative;
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return folder;
}

}  // namespace

void RunDriver::VerifyRestore(const JobEntry& job) {
  if (job.debug) console_.Print("Restore Test Processing\n");
  const uint32_t seed = static_cast<uint32_t>(clock_.MonotonicMillis()) ^
                        static_cast<uint32_t>(platform::CurrentProcessId());
  // Files written since the last successful backup began may not be on the service yet;
  // the others are, as they are here.
  const std::optional<jobfiles::RunStatus> backup = jobfiles::ReadRunStatusFile(
      config_.log_directory + jobfiles::RunStatusFileName(kBackupResultsType));
  const int64_t unchanged_before = backup ? backup->last_success : 0;
  const std::optional<std::vector<SampledFile>> files =
      SampleJobFiles(job, job.restore_test_files, seed, unchanged_before);
  if (!files || files->empty()) {
    NoteFailedCommand(job, job.server_path,
                      files ? "Restore test failed: no backed-up file to restore"
                            : "Restore test failed: the local folder cannot be read");
    return;
  }
  const std::string scratch = MakeScratchFolder(config_.log_directory);
  if (scratch.empty()) {
    NoteFailedCommand(job, job.server_path,
                      "Restore test failed: no temporary folder could be made");
    return;
  }
  std::string failure;
  int64_t bytes = 0;
  int index = 0;
  for (const SampledFile& file : *files) {
    const std::string relative = file.folder.empty() ? file.name : file.folder + "/" + file.name;
    const std::string server_folder = ServerFolderOf(job, file.folder);
    // Named like the server folder, the download lands in this folder itself.
    const std::string into = StrFormat("%s/%d", scratch.c_str(), ++index);
    const std::string copy_folder = into + "/" + LastName(server_folder, '\\');
    const std::string copy = copy_folder + "/" + file.name;
    if (!platform::MakeDirectory(into) || !platform::MakeDirectory(copy_folder)) {
      failure = relative + ": no temporary folder could be made";
      break;
    }
    status_.Heartbeat();
    if (!RestoreOneFile(job, server_folder, copy_folder, file.name, false)) {
      failure = relative + ": could not be restored (" + TextOrEmpty(api_.GetStatusMsg()) + ")";
      break;
    }
    // Offered back, the copy is current only when its MD5 is the service's.
    if (!RestoreOneFile(job, server_folder, copy_folder, file.name, true)) {
      failure = relative + ": the restored copy differs from the service's MD5";
      break;
    }
    const std::string local = platform::JoinDirectory(job.local_path, relative);
    if (unchanged_before > 0 && !SameBytes(local, copy)) {
      failure = relative + ": the restored copy differs from the local file";
      break;
    }
    bytes += platform::FileSizeOf(copy).value_or(0);
  }
  RemoveTree(scratch);

  if (!failure.empty()) {
    NoteFailedCommand(job, job.server_path, "Restore test failed: " + failure);
    console_.Print("Restore test failed: %s\n", failure.c_str());
    return;
  }
  const std::string passed =
      StrFormat("Restore test passed: %d files, %.1f MB", static_cast<int>(files->size()),
                static_cast<double>(bytes) / (1024.0 * 1024.0));
  api_.WriteResult(("\r\n" + passed + "\r\n").c_str());
  flags_.notes_seen = true;
  console_.Print("%s\n", passed.c_str());
}

bool RunDriver::RestoreOneFile(const JobEntry& job, const std::string& server_folder,
                               const std::string& local_folder, const std::string& name,
                               bool offer_copy) {
  api_.SetNVXFolder(server_folder.c_str());
  if (!api_.MapNVXPath(server_folder.c_str())) return false;
  api_.SetLocalDirectory(local_folder.c_str());
  api_.SetNVXFile(name.c_str());
  api_.SetDoSubFolder(false);
  api_.SetTransferCompress(job.transfer_compress);
  api_.UseNvxDate(false);
  // Offering the copy by its MD5, never by its date.
  api_.SetVerification(offer_copy);
  api_.SetFileCompare(offer_copy ? 1 : 0);
  api_.DownloadFile();
  Poll(100);
  if (api_.GetStatus() == kStatusFailed) return false;
  // The download starts its counts afresh: they are this one file's.
  const TransferProgress after = *api_.GetTransferProgress();
  if (after.files_download_error != 0) return false;
  return offer_copy ? after.files_download_matched == 1 && after.files_download_updated == 0
                    : after.files_downloaded == 1;
}

}  // namespace nvx
