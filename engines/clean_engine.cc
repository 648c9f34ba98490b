#include "engines/clean_engine.h"

#include <optional>
#include <utility>
#include <vector>

#include "engines/upload_rules.h"
#include "engines/work_files.h"
#include "platform/directory_search.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/server_file_list.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "protocol/transfer_answers.h"

namespace nvx {
namespace {

bool IsNotFound(int error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// A result note for a clean that failed: a communication failure when the last exchange
// broke off, else an error the service reported.
void NoteFailure(CleanJob& job, std::string_view what) {
  const bool transport = job.context.link().communication_failure();
  job.context.report().AddFileNote(what, transport ? kNoteCommunicationFailure : kNoteServerError,
                                   true, 0);
}

void NoteCommunicationFailure(CleanJob& job, std::string_view what) {
  if (job.context.link().communication_failure()) {
    job.context.report().AddFileNote(what, kNoteCommunicationFailure, true, 0);
  }
}

// What requests about the walk's server folder name.
FolderTarget TargetOf(const CleanJob& job) {
  if (job.server_node == nullptr) return {};
  return {job.server_node->folder_id, job.server_node->name};
}

// The walk's server folder's documents into `list`. Without verification only the count
// is asked for, and the list is left empty so that nothing is deleted on the word of an
// older list.
bool FetchServerFiles(CleanJob& job, std::vector<ServerFileEntry>* list) {
  EngineContext& context = job.context;
  list->clear();
  if (!context.job().flags.verification) {
    // Only whether the service answered matters: the count itself decides nothing.
    return FolderFileCount(context, TargetOf(job)).ok();
  }
  ExchangeResult<std::optional<std::string>> text = FolderFileList(context, TargetOf(job));
  if (!text.ok()) return false;
  if (text.value) {
    *list = TakeServerFileList(context, job.server_node ? job.server_node->name : "", *text.value,
                               FileCount::kUploadError);
  }
  return true;
}

// Deletes one document of the walk's server folder. A refused delete is reported by
// DeleteDoc itself and does not stop the pass.
void DeleteServerDocument(CleanJob& job, const ServerFileEntry& entry) {
  const std::string shown_name = job.local_folder + "/" + entry.name;
  if (DeleteDoc(job.context, TargetOf(job), entry.version_id, shown_name) != ExchangeOutcome::kOk) {
    return;
  }
  const std::string folder_path = job.server_node ? FolderPath(*job.server_node) : std::string();
  job.context.report().LogLine(kLineActivity, " CLEANNVX Delete File - %s - From NVX Folder %s\n",
                               TextForLog(entry.name, entry.name.size()).c_str(),
                               TextForLog(folder_path, folder_path.size()).c_str());
}

// Deletes the documents `doomed` of the walk's server folder, on the lanes when the job has
// them: what each delete reports is written in this order either way. False when the
// job is to stop.
bool DeleteServerDocuments(CleanJob& job, const std::vector<const ServerFileEntry*>& doomed) {
  EngineContext& context = job.context;
  EngineLanes* lanes = job.lanes != nullptr && doomed.size() > 1 ? job.lanes->Get() : nullptr;
  if (lanes == nullptr) {
    for (const ServerFileEntry* entry : doomed) {
      DeleteServerDocument(job, *entry);
      if (context.StopRequested()) return false;
    }
    return true;
  }
  const size_t first = lanes->ReserveIndices(doomed.size());
  size_t handed = 0;
  bool go_on = true;
  for (size_t i = 0; i < doomed.size() && go_on; ++i) {
    for (; handed < doomed.size() && handed <= i + kLaneFilesAhead; ++handed) {
      lanes->Hand(first + handed,
                  [local_folder = job.local_folder, server_node = job.server_node,
                   entry = doomed[handed]](LaneView& lane) -> LaneFinish {
                    CleanJob own(lane.context());
                    own.local_folder = local_folder;
                    own.server_node = server_node;
                    DeleteServerDocument(own, *entry);
                    return {};
                  });
    }
    go_on = lanes->Finish(first + i) && !context.StopRequested();
  }
  lanes->Drain(first, doomed.size());
  return go_on;
}

// The local start folder gone: its whole server copy goes. A start folder that cannot be
// tested (or is no folder) leaves everything as it is.
enum class StartFolder { kPresent, kMissing, kUntestable };
StartFolder TestStartFolder(const std::string& folder) {
  int error = 0;
  const std::optional<platform::PathKind> kind =
      platform::TestPath(folder.empty() ? "/" : folder, &error);
  if (!kind) return IsNotFound(error) ? StartFolder::kMissing : StartFolder::kUntestable;
  return *kind == platform::PathKind::kDirectory ? StartFolder::kPresent : StartFolder::kUntestable;
}

bool CleanWholeFolder(CleanJob& job) {
  Reporter& report = job.context.report();
  const FolderRecord* start = job.server_node;
  switch (TestStartFolder(job.local_folder)) {
    case StartFolder::kPresent:
      break;
    case StartFolder::kMissing:
      report.LogLine(kLineActivity, "  Clean Nvx Folder %s\n", TextForLog(start->name).c_str());
      return DeleteServerFolder(job, *start);
    case StartFolder::kUntestable:
      return true;
  }
  if (!CleanSubfolder(job, "", /*top=*/true)) {
    NoteCommunicationFailure(job, "Clean NVX File X");
    return false;
  }
  job.server_node = start;
  return DeleteMissingFolders(job);
}

}  // namespace

bool CleanNVX(EngineContext& context, const FolderRecord* mapped) {
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  report.SetErrorCode(error::kNone);
  context.progress().ResetRecord();
  if (settings.texts.local_directory.empty()) {
    report.SetStatusMessage("No Local Folder");
    report.SetErrorCode(error::kNoLocalFolder);
    return false;
  }
  // Without a mapped folder there is no server copy to compare: nothing is deleted then.
  if (mapped == nullptr) {
    report.SetStatusMessage("Folder Not Found");
    report.SetErrorCode(error::kFolderNotFound);
    return false;
  }

  CleanJob job(context);
  job.local_folder = TidyLocalDirectory(settings.texts.local_directory);
  job.server_node = mapped;
  std::optional<LaneOpener> lanes;
  if (settings.flags.transfers > 1) {
    lanes.emplace(context, settings.flags.transfers);
    job.lanes = &*lanes;
  }

  const std::string& local_file = settings.texts.local_file;
  if (!local_file.empty() && local_file.find('*') != std::string::npos) {
    if (!CleanFolder(job, local_file, /*top=*/true)) {
      NoteCommunicationFailure(job, "Upload File Folder");
      return false;
    }
    return true;
  }
  if (!local_file.empty()) {
    if (!CleanFile(job, local_file)) {
      NoteFailure(job, local_file);
      return false;
    }
    return true;
  }
  if (!FindServerFolder(job, /*children_only=*/false)) {
    // The server holds no folder for this local folder.
    report.SetStatusMessage("No Local Folder");
    report.SetErrorCode(error::kNoLocalFolder);
    return false;
  }
  return CleanWholeFolder(job);
}

bool FindServerFolder(CleanJob& job, bool children_only) {
  const std::string_view name = LastComponent(job.local_folder);
  if (!children_only && job.server_node != nullptr &&
      EqualsIgnoreCase(job.server_node->name, name)) {
    return true;
  }
  const FolderRecord* child = ChildNamed(job.server_node, name);
  if (child == nullptr) return false;
  job.server_node = child;
  return true;
}

bool CleanSubfolder(CleanJob& job, std::string_view name, bool top) {
  // The walk's position is the engine's own: each level keeps its own and puts it back.
  const FolderRecord* const saved_node = job.server_node;
  const std::string saved_folder = job.local_folder;
  if (!name.empty()) {
    job.local_folder = saved_folder + "/" + std::string(name);
    if (!FindServerFolder(job, /*children_only=*/true)) {
      // A local folder that was never backed up: nothing below it can be compared.
      job.context.report().SetStatusMessage("Folder Not Found");
      job.context.report().LogLine(kLineError, " Err - CleanNVX - No NVX Folder For %s\n",
                                   job.local_folder.c_str());
      job.server_node = saved_node;
      job.local_folder = saved_folder;
      return false;
    }
  }
  const bool cleaned = CleanFolder(job, "*", top);
  job.server_node = saved_node;
  job.local_folder = saved_folder;
  return cleaned;
}

bool CleanFolder(CleanJob& job, std::string_view pattern, bool top) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  report.SetStatusMessage("Getting local file list.");
  const std::string search_path = job.local_folder + "/" + std::string(pattern);
  report.LogLine(kLineDebug, "  Clean NVX Process Local Folder %s\n", search_path.c_str());

  std::vector<platform::DirectoryEntry> entries;
  if (int error = platform::SearchDirectory(job.local_folder.empty() ? "/" : job.local_folder,
                                            pattern, &entries);
      error != 0) {
    if (IsNotFound(error)) {
      report.LogLine(kLineActivity, "CLEANNVX Specified LocalPath - %s - Not Found\n",
                     search_path.c_str());
      return true;
    }
    report.SetStatusMessage(StrFormat("Unable to get local file list. Error=%d", error));
    context.progress().Count(FileCount::kUploadError);
    report.AddFileNote(search_path, kNoteCouldNotOpen, true, error);
    return false;
  }
  SweepStaleWorkFiles(context, job.local_folder, entries);

  // Subfolders first, each at once; skip folders count only in the starting folder.
  if (!EnterSubfoldersFirst(settings, entries, top, [&](const std::string& name) {
        return CleanSubfolder(job, name, /*top=*/false) && !context.StopRequested();
      })) {
    return false;
  }
  context.progress().RestartSequence();
  std::vector<ServerFileEntry> server_files;
  if (!FetchServerFiles(job, &server_files)) return false;

  // Dates do not matter: a server document stays when a file of its name (letter case
  // ignored) is here and would be sent by a backup.
  std::unordered_set<std::string> local_names;
  for (const platform::DirectoryEntry& entry : entries) {
    if (!IsUserFile(entry) || IsExcludedExtension(settings, entry.name)) continue;
    local_names.insert(LowerCase(entry.name));
  }
  for (ServerFileEntry& server_file : server_files) {
    if (local_names.count(LowerCase(server_file.name)) != 0) server_file.present_locally = 1;
  }
  // Only documents the pattern speaks for are the clean's to delete: a clean of "*.doc"
  // leaves the folder's other documents alone.
  std::vector<const ServerFileEntry*> doomed;
  for (const ServerFileEntry& server_file : server_files) {
    if (server_file.present_locally != 0) continue;
    if (!platform::MatchesWildcard(pattern, server_file.name)) continue;
    doomed.push_back(&server_file);
  }
  if (!DeleteServerDocuments(job, doomed)) return false;
  report.SetStatusMessage("Processing local file list complete");
  return true;
}

bool CleanFile(CleanJob& job, std::string_view name) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  report.SetStatusMessage("Getting local file list.");
  const std::string path = job.local_folder + "/" + std::string(name);
  int error = 0;
  if (platform::TestPath(path, &error)) {
    report.SetStatusMessage("Processing local file list complete");
    return true;
  }
  if (!IsNotFound(error)) {
    report.SetStatusMessage(StrFormat("Unable to get local file list. Error=%d", error));
    context.progress().Count(FileCount::kUploadError);
    report.AddFileNote(path, kNoteCouldNotOpen, true, error);
    return false;
  }
  std::vector<ServerFileEntry> server_files;
  if (!FetchServerFiles(job, &server_files)) return false;
  for (const ServerFileEntry& server_file : server_files) {
    if (!EqualsIgnoreCase(server_file.name, name)) continue;
    // A document named like the file in another letter case may be the copy of a file
    // that is still here under that name.
    if (server_file.name != name) {
      int other_error = 0;
      if (platform::TestPath(job.local_folder + "/" + server_file.name, &other_error) ||
          other_error != platform::kErrorFileNotFound) {
        continue;
      }
    }
    DeleteServerDocument(job, server_file);
  }
  report.SetStatusMessage("Processing local file list complete");
  return true;
}

}  // namespace nvx
