// The clean's folder pass: server folders whose local folder is gone are marked in one
// walk and deleted in a second, each with everything below it.
#include <optional>
#include <string>
#include <string_view>

#include "engines/clean_engine.h"
#include "engines/upload_rules.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/service_commands.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

// A folder name from the service that may be joined to a local path: not empty, not "."
// or "..", without "/" or a zero byte.
bool IsUsableFolderName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// Walks the children of `node` against `local_folder`. A child whose local folder is
// missing is marked and not descended; one found as a folder is descended; one found as
// a file is left alone. False when a local name cannot be tested.
bool MarkMissingFolders(CleanJob& job, const FolderRecord& node, const std::string& local_folder,
                        bool top) {
  Reporter& report = job.context.report();
  for (const FolderRecord* child = node.first_child; child != nullptr;
       child = child->next_sibling) {
    // A folder the user may not open is not the clean's to judge.
    if (child->no_access) continue;
    // What a skip folder holds is never examined, so its server copy stays whole.
    if (top && IsSkippedFolder(job.context.job(), child->name)) continue;
    if (!IsUsableFolderName(child->name)) {
      const std::string server_path = FolderPath(node);
      report.LogLine(kLineError, " Err - CleanNVX - Invalid Folder Name %s in %s\n",
                     TextForLog(child->name).c_str(),
                     TextForLog(server_path, server_path.size()).c_str());
      // The note names the folder it was found for; a "/" in the name would read as a
      // folder of its own there.
      std::string shown = TextForLog(child->name);
      for (char& c : shown) c = c == '/' ? '\\' : c;
      report.AddFileNote(local_folder + "/" + shown, kNoteServerError, true, 0);
      continue;
    }
    const std::string path = local_folder + "/" + child->name;
    int error = 0;
    const std::optional<platform::PathKind> kind = platform::TestPath(path, &error);
    if (!kind && (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound)) {
      job.no_local_folder.insert(child);
    } else if (!kind) {
      report.SetStatusMessage(StrFormat("Unable to get local folder list. Error=%d", error));
      report.AddFileNote(path, kNoteCouldNotOpen, true, error);
      return false;
    } else if (*kind == platform::PathKind::kDirectory) {
      if (!MarkMissingFolders(job, *child, path, /*top=*/false)) return false;
    }
  }
  return true;
}

// Deletes the marked folders below `node`; unmarked ones are descended into, marked
// ones are not (their children go with them). Stops at the first failing delete.
bool DeleteMarkedFolders(CleanJob& job, const FolderRecord& node) {
  for (const FolderRecord* child = node.first_child; child != nullptr;
       child = child->next_sibling) {
    if (job.context.StopRequested()) return false;
    if (job.no_local_folder.count(child) != 0) {
      if (!DeleteServerFolder(job, *child)) return false;
    } else if (!DeleteMarkedFolders(job, *child)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool DeleteMissingFolders(CleanJob& job) {
  const FolderRecord* start = job.server_node;
  if (start == nullptr) return false;
  job.no_local_folder.clear();
  if (!MarkMissingFolders(job, *start, job.local_folder, /*top=*/true)) return false;
  return DeleteMarkedFolders(job, *start);
}

bool DeleteServerFolder(CleanJob& job, const FolderRecord& node) {
  const bool deleted = DeleteFolderTree(job.context, node) == ExchangeOutcome::kOk;
  if (!deleted) {
    job.context.report().LogLine(kLineError, " Err - CleanNVX - Delete Folder Failed %s\n",
                                 FolderPath(node).c_str());
  }
  return deleted;
}

}  // namespace nvx
