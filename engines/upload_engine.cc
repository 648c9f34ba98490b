#include "engines/upload_engine.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "engines/folder_lookahead.h"
#include "engines/upload_lanes.h"
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

// A result note for a file or a request that failed.
void NoteFailure(UploadJob& job, std::string_view what) {
  NoteFailedFile(job.context.report(), what, job.context.link().communication_failure());
}

// The subfolders of `entries` the walk enters, in walk order.
std::vector<std::string> SubfoldersToEnter(const JobSettings& settings,
                                           const std::vector<platform::DirectoryEntry>& entries,
                                           bool top) {
  std::vector<std::string> names;
  for (const platform::DirectoryEntry& entry : entries) {
    if (EntersSubfolder(settings, entry, top)) names.push_back(entry.name);
  }
  return names;
}

}  // namespace

FileInFlight::FileInFlight(EngineContext& engine_context)
    : context(engine_context), piece(kUploadPieceSize + kCipherPaddingRoom) {}

bool RunUpload(EngineContext& context, const FolderRecord* mapped) {
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  report.SetErrorCode(error::kNone);
  context.progress().ResetRecord();
  if (settings.texts.local_directory.empty()) {
    report.SetStatusMessage("No Local Folder");
    report.SetErrorCode(error::kNoLocalFolder);
    return false;
  }

  UploadJob job(context);
  // Several files in flight need a walk of a folder; a moved file stays one after the
  // other, so that no source is deleted behind a file the walk stops at.
  std::optional<LaneOpener> lanes;
  const std::string& local_file = settings.texts.local_file;
  const bool one_file = !local_file.empty() && local_file.find('*') == std::string::npos;
  if (settings.flags.transfers > 1 && !one_file && !settings.flags.move && !settings.sending_log) {
    lanes.emplace(context, settings.flags.transfers);
    job.lanes = &*lanes;
  }
  job.local_folder = TidyLocalDirectory(settings.texts.local_directory);
  job.folder = ServerFolder::Of(mapped);

  if (one_file) {
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
  const std::string name(LastComponent(job.local_folder));
  if (job.folder.node != nullptr && EqualsIgnoreCase(job.folder.name, name)) return true;
  if (const FolderRecord* child = ChildNamed(job.folder.node, name)) {
    job.folder = ServerFolder::Of(child);
    return true;
  }
  ExchangeResult<std::string> created = FolderCreate(job.context, job.folder.id, name);
  if (!created.ok()) return false;
  job.folder = ServerFolder{std::move(created.value), name, nullptr};
  return true;
}

bool UploadSubfolder(UploadJob& job, std::string_view name, bool top, FolderAhead* ahead) {
  // The walk's position is the engine's own: each level keeps its own and puts it back.
  const ServerFolder saved_server_folder = job.folder;
  const std::string saved_local_folder = job.local_folder;
  if (!name.empty()) {
    ExchangeResult<std::string> created = ahead != nullptr
                                              ? ahead->TakeCreated(job.context)
                                              : FolderCreate(job.context, job.folder.id, name);
    if (!created.ok()) return false;
    job.folder = ServerFolder{std::move(created.value), std::string(name),
                              ChildNamed(saved_server_folder.node, name)};
    job.local_folder = saved_local_folder + "/" + std::string(name);
  }
  job.ahead = ahead;
  const bool scanned = UploadFolder(job, "*", top);
  job.folder = saved_server_folder;
  job.local_folder = saved_local_folder;
  return scanned;
}

bool UploadFolder(UploadJob& job, std::string_view pattern, bool top) {
  // What a lane fetched ahead for this folder; its subfolders have look-aheads of their own.
  FolderAhead* const ahead = std::exchange(job.ahead, nullptr);
  EngineContext& context = job.context;
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  report.SetStatusMessage("Getting local file list.");
  const std::string search_path = job.local_folder + "/" + std::string(pattern);
  report.LogLine(kLineDebug, "  Upload Process Local Folder %s\n", search_path.c_str());

  std::vector<platform::DirectoryEntry> entries;
  if (int error = platform::SearchDirectory(job.local_folder.empty() ? "/" : job.local_folder,
                                            pattern, &entries);
      error != 0) {
    report.SetStatusMessage(StrFormat("Unable to get local file list. Error=%d", error));
    context.progress().Count(FileCount::kUploadError);
    report.AddFileNote(search_path, kNoteCouldNotOpen, true, error);
    return false;
  }
  SweepStaleWorkFiles(context, job.local_folder, entries);

  // Subfolders first, each at once; skip folders count only in the starting folder. With
  // lanes, their creation checks and file lists are asked ahead of the walk.
  {
    std::vector<std::string> subfolders = SubfoldersToEnter(settings, entries, top);
    EngineLanes* lanes = job.lanes != nullptr && subfolders.size() > 1 ? job.lanes->Get() : nullptr;
    FolderLookahead lookahead(lanes, job.folder.id, std::move(subfolders));
    size_t position = 0;
    if (!EnterSubfoldersFirst(settings, entries, top, [&](const std::string& name) {
          return UploadSubfolder(job, name, /*top=*/false, lookahead.Reach(position++)) &&
                 !context.StopRequested();
        })) {
      return false;
    }
  }
  context.progress().RestartSequence();
  ServerFolderFacts facts;
  const bool fetched = ahead != nullptr ? ahead->TakeFacts(context, job.folder, &facts)
                                        : FetchServerFolderFacts(context, job.folder, &facts);
  if (!fetched) return false;

  const ServerFileIndex server_files(facts.files);
  std::vector<FileStep> steps;
  int64_t bytes_to_send = 0;
  for (const platform::DirectoryEntry& entry : entries) {
    if (!IsUserFile(entry) || IsExcludedExtension(settings, entry.name)) continue;
    FileStep step{entry.name, false, nullptr};
    const bool date_match =
        settings.flags.verification &&
        DateMatchesServerList(server_files, entry.name, entry.last_write_time, &step.list_entry);
    step.date_match = date_match && !settings.flags.move;
    step.not_on_server = facts.whole && step.list_entry == nullptr;
    if (!step.date_match && __builtin_add_overflow(bytes_to_send, entry.size, &bytes_to_send)) {
      bytes_to_send = INT64_MAX;
    }
    steps.push_back(std::move(step));
  }
  const bool any_to_send = std::any_of(steps.begin(), steps.end(),
                                       [](const FileStep& step) { return !step.date_match; });
  // A lane tests the quota with the figures of its hand-over, which do not yet count the
  // files still in flight: a folder that might reach the quota goes one file after the
  // other, so that the files refused are those one connection refuses.
  const AccountFigures& account = context.account();
  const bool quota_in_reach =
      WouldExceedQuota(bytes_to_send, account.space_used_estimate, account.space_limit, false);
  EngineLanes* lanes =
      job.lanes != nullptr && any_to_send && !quota_in_reach ? job.lanes->Get() : nullptr;
  if (!(lanes != nullptr ? SendFilesOnLanes(*lanes, job, steps) : SendFilesInOrder(job, steps))) {
    return false;
  }
  report.SetStatusMessage("Processing local file list complete");
  return true;
}

}  // namespace nvx
