#include "engines/upload_engine.h"

#include <optional>
#include <utility>

#include "engines/upload_rules.h"
#include "engines/work_files.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "protocol/server_file_list.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

// Bytes one read or send of a file moves: 128 blocks of the wire's 2048.
constexpr size_t kUploadPieceSize = 256 * 1024;
// Room for the zero padding of the last piece when the body travels enciphered.
constexpr size_t kCipherPaddingRoom = 8;

// A result note for a file or a request that failed: a communication failure when the
// last exchange broke off, else an error the service reported.
void NoteFailure(UploadJob& job, std::string_view what) {
  const bool transport = job.context.link().communication_failure();
  job.context.report().AddFileNote(what, transport ? kNoteCommunicationFailure : kNoteServerError,
                                   true, 0);
}

// The file counted as matched by its date in the server file list, without a request.
void CountDateMatch(UploadJob& job, const std::string& name) {
  EngineContext& context = job.context;
  const std::string full_path = job.file.local_folder + "/" + name;
  context.progress().Count(FileCount::kUploadMatched);
  context.progress().StartFile(full_path, kPhaseSkipping);
  context.report().SetStatusMessage(StrFormat("Accessing file %s", name.c_str()));
  context.report().LogLine(kLineActivity, "  UploadFile verify Date match %s\n", name.c_str());
}

// The server folder's file list (verification) or count, for the folder about to be
// scanned.
bool FetchServerFolderFacts(UploadJob& job) {
  EngineContext& context = job.context;
  if (!context.job().flags.verification) return FolderFileCount(context);
  std::optional<std::string> text;
  if (!FolderFileList(context, &text)) return false;
  context.state().lists.server_file_list =
      text ? TakeServerFileList(context, *text, FileCount::kUploadError)
           : std::vector<ServerFileEntry>();
  return true;
}

}  // namespace

UploadJob::UploadJob(EngineContext& engine_context)
    : context(engine_context), piece(kUploadPieceSize + kCipherPaddingRoom) {}

bool RunUpload(EngineContext& context) {
  Reporter& report = context.report();
  ProtocolState& state = context.state();
  const JobSettings& settings = context.job();
  report.SetErrorCode(kErrorNone);
  context.progress().ResetRecord();
  if (settings.texts.local_directory.empty()) {
    report.SetStatusMessage("No Local Folder");
    report.SetErrorCode(kErrorNoLocalFolder);
    return false;
  }

  UploadJob job(context);
  job.file.local_folder = TidyLocalDirectory(settings.texts.local_directory);
  if (const FolderRecord* mapped = state.lists.mapped_folder) {
    state.current_server_folder_id = mapped->folder_id;
    state.current_server_folder_name = mapped->name;
    job.server_node = mapped;
  }

  const std::string& local_file = settings.texts.local_file;
  if (!local_file.empty() && local_file.find('*') == std::string::npos) {
    if (!UploadFile(job, local_file, /*report_missing=*/true)) {
      NoteFailure(job, local_file);
      return false;
    }
    return true;
  }
  if (!local_file.empty()) {
    if (!UploadFolder(job, local_file, /*top=*/true)) {
      if (context.link().communication_failure()) {
        report.AddFileNote("Upload File Folder", kNoteCommunicationFailure, true, 0);
      }
      return false;
    }
    return true;
  }
  if (!MatchServerFolder(job) || !UploadSubfolder(job, "", /*top=*/true)) {
    if (context.link().communication_failure()) {
      report.AddFileNote("Upload File X", kNoteCommunicationFailure, true, 0);
    }
    return false;
  }
  return true;
}

bool MatchServerFolder(UploadJob& job) {
  ProtocolState& state = job.context.state();
  const std::string name(LastComponent(job.file.local_folder));
  if (job.server_node != nullptr && EqualsIgnoreCase(state.current_server_folder_name, name)) {
    return true;
  }
  if (const FolderRecord* child = ChildNamed(job.server_node, name)) {
    job.server_node = child;
    state.current_server_folder_id = child->folder_id;
    state.current_server_folder_name = child->name;
    return true;
  }
  state.current_server_folder_name = name;
  if (!FolderCreate(job.context)) return false;
  state.current_server_folder_id = state.new_folder_id;
  job.server_node = nullptr;
  return true;
}

bool UploadSubfolder(UploadJob& job, std::string_view name, bool top) {
  ProtocolState& state = job.context.state();
  const std::string saved_name = state.current_server_folder_name;
  const std::string saved_id = state.current_server_folder_id;
  const FolderRecord* const saved_node = job.server_node;
  const std::string saved_folder = job.file.local_folder;
  const auto restore = [&] {
    state.current_server_folder_name = saved_name;
    state.current_server_folder_id = saved_id;
    job.server_node = saved_node;
    job.file.local_folder = saved_folder;
  };

  if (!name.empty()) {
    state.current_server_folder_name = std::string(name);
    if (!FolderCreate(job.context)) {
      restore();
      return false;
    }
    state.current_server_folder_id = state.new_folder_id;
    job.server_node = ChildNamed(saved_node, name);
    job.file.local_folder = saved_folder + "/" + std::string(name);
  }
  const bool scanned = UploadFolder(job, "*", top);
  restore();
  return scanned;
}

bool UploadFolder(UploadJob& job, std::string_view pattern, bool top) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  report.SetStatusMessage("Getting local file list.");
  const std::string search_path = job.file.local_folder + "/" + std::string(pattern);
  report.LogLine(kLineDebug, "  Upload Process Local Folder %s\n", search_path.c_str());

  std::vector<platform::DirectoryEntry> entries;
  if (int error = platform::SearchDirectory(
          job.file.local_folder.empty() ? "/" : job.file.local_folder, pattern, &entries);
      error != 0) {
    report.SetStatusMessage(StrFormat("Unable to get local file list. Error=%d", error));
    context.progress().Count(FileCount::kUploadError);
    report.AddFileNote(search_path, kNoteCouldNotOpen, true, error);
    return false;
  }
  SweepStaleWorkFiles(context, job.file.local_folder, entries);

  // Subfolders first, each at once; skip folders count only in the starting folder.
  int64_t file_count = 0;
  if (!EnterSubfoldersFirst(
          settings, entries, top,
          [&](const std::string& name) {
            return UploadSubfolder(job, name, /*top=*/false) && !context.StopRequested();
          },
          &file_count)) {
    return false;
  }
  context.state().folder_file_count = file_count;
  context.progress().RestartSequence();
  if (!FetchServerFolderFacts(job)) return false;

  const ServerFileIndex server_files(context.state().lists.server_file_list);
  for (const platform::DirectoryEntry& entry : entries) {
    if (!IsUserFile(entry) || IsExcludedExtension(settings, entry.name)) continue;
    const ServerFileEntry* matched = nullptr;
    const bool date_match =
        settings.flags.verification &&
        DateMatchesServerList(server_files, entry.name, entry.last_write_time, &matched);
    if (date_match && !settings.flags.move) {
      CountDateMatch(job, entry.name);
    } else {
      job.list_entry = matched;
      if (!UploadFile(job, entry.name, /*report_missing=*/false)) {
        NoteFailure(job, entry.name);
        break;
      }
    }
    if (!WaitForFileAccess(job)) return false;
    if (job.run_state == kRunStateFailed) break;
  }
  report.SetStatusMessage("Processing local file list complete");
  return true;
}

bool WaitForFileAccess(UploadJob& job) {
  return job.context.PauseAfterFile();
}

}  // namespace nvx
