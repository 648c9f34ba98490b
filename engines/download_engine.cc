#include "engines/download_engine.h"

#include <optional>
#include <string>
#include <vector>

#include "engines/name_pattern.h"
#include "engines/work_files.h"
#include "platform/text_format.h"
#include "protocol/folder_paths.h"
#include "protocol/server_file_list.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "wire/date_stamp.h"

namespace nvx {
namespace {

// The marks of an earlier download anywhere in the tree would make LocalFolderFor stop
// its walk up at the wrong folder: they all go before a download sets its own.
void ClearDownloadMarks(FolderRecord& folder) {
  FolderRecord* root = &folder;
  while (root->parent != nullptr) root = root->parent;
  std::vector<FolderRecord*> pending{root};
  while (!pending.empty()) {
    FolderRecord* record = pending.back();
    pending.pop_back();
    record->download_base_mark = false;
    record->base_name_given_mark = false;
    for (FolderRecord* child = record->first_child; child != nullptr; child = child->next_sibling) {
      pending.push_back(child);
    }
  }
}

// The outcome kind of one file's download, for the retry helper.
ExchangeOutcome OutcomeOf(FileDownload download) {
  switch (download) {
    case FileDownload::kDone:
      return ExchangeOutcome::kOk;
    case FileDownload::kTransportFailure:
      return ExchangeOutcome::kTransportFailure;
    case FileDownload::kStop:
      break;
  }
  return ExchangeOutcome::kLocalFailure;
}

// One selected file with its retry: a transport failure gets one more try; a second
// one writes the communication note `note_name`. False when the folder must stop.
bool DownloadWithRetry(DownloadJob& job, const ServerFileEntry& entry, std::string_view note_name) {
  EngineContext& context = job.context;
  context.link().ClearCommunicationFailure();
  const ExchangeOutcome outcome =
      RetryOnceAfterTransportFailure([&] { return OutcomeOf(DownloadFile(job, entry)); }, [] {});
  if (outcome == ExchangeOutcome::kTransportFailure) {
    context.report().AddFileNote(note_name, kNoteCommunicationFailure, true, 0);
  }
  if (!context.PauseAfterFile()) return false;
  return outcome == ExchangeOutcome::kOk && !context.StopRequested();
}

// The selected files of the job's folder in order, each with its retry, on `lanes`: the
// same notes, counts and pauses as DownloadWithRetry one after the other. False when the
// folder must stop.
bool DownloadOnLanes(EngineLanes& lanes, DownloadJob& job,
                     const std::vector<const ServerFileEntry*>& selected,
                     std::string_view note_name) {
  EngineContext& context = job.context;
  const size_t first = lanes.ReserveIndices(selected.size());
  size_t handed = 0;
  bool go_on = true;
  for (size_t i = 0; i < selected.size() && go_on; ++i) {
    for (; handed < selected.size() && handed <= i + kLaneFilesAhead; ++handed) {
      lanes.Hand(first + handed,
                 [&job, folder = job.folder, local_folder = job.local_folder,
                  entry = selected[handed], note_name](LaneView& lane) -> LaneFinish {
                   DownloadJob own(lane.context());
                   own.folder = folder;
                   own.local_folder = local_folder;
                   lane.context().link().ClearCommunicationFailure();
                   const ExchangeOutcome outcome = RetryOnceAfterTransportFailure(
                       [&] { return OutcomeOf(DownloadFile(own, *entry)); }, [] {});
                   if (outcome == ExchangeOutcome::kTransportFailure) {
                     lane.context().report().AddFileNote(note_name, kNoteCommunicationFailure, true,
                                                         0);
                   }
                   return [&job, outcome] {
                     return outcome == ExchangeOutcome::kOk && !job.context.StopRequested();
                   };
                 });
    }
    const bool file_done = lanes.Finish(first + i);
    go_on = context.PauseAfterFile() && file_done;
  }
  lanes.Drain(first, selected.size());
  return go_on;
}

// The selected files one after the other, or on the lanes when the job has them.
bool DownloadSelected(DownloadJob& job, const std::vector<const ServerFileEntry*>& selected,
                      std::string_view note_name) {
  EngineLanes* lanes = job.lanes != nullptr && selected.size() > 1 ? job.lanes->Get() : nullptr;
  if (lanes != nullptr) return DownloadOnLanes(*lanes, job, selected, note_name);
  for (const ServerFileEntry* entry : selected) {
    if (!DownloadWithRetry(job, *entry, note_name)) return false;
  }
  return true;
}

// The plain server file name was not in the folder's list.
bool ReportNotFound(DownloadJob& job, const FolderRecord& folder, const std::string& name) {
  EngineContext& context = job.context;
  const std::string server_path = FolderPath(folder) + name;
  context.report().SetStatusMessage(
      StrFormat("Specified NVX File not found %s\n", server_path.c_str()));
  context.progress().Count(FileCount::kNotFound);
  context.progress().SetFileName("");
  context.report().LogLine(kLineError, " Specified NVX File not found  %s\n", server_path.c_str());
  context.report().AddFileNote(job.local_folder + name, kNoteNotInServerFolder, true, 0);
  return false;
}

}  // namespace

bool RunDownload(EngineContext& context, FolderRecord* mapped) {
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  report.SetErrorCode(error::kNone);
  context.progress().ResetRecord();
  if (mapped == nullptr) {
    report.SetStatusMessage("Folder Not Found");
    report.SetErrorCode(error::kFolderNotFound);
    return false;
  }
  // Without a local directory the files would land below the file system's root.
  if (settings.texts.local_directory.empty()) {
    report.SetStatusMessage("No Local Folder");
    report.SetErrorCode(error::kNoLocalFolder);
    return false;
  }
  FolderRecord& folder = *mapped;
  ClearDownloadMarks(folder);
  folder.download_base_mark = true;
  DownloadJob job(context);
  // A move stays one file after the other: no server copy goes behind a file the walk
  // stops at.
  std::optional<LaneOpener> lanes;
  if (settings.flags.transfers > 1 && !settings.flags.move) {
    lanes.emplace(context, settings.flags.transfers);
    job.lanes = &*lanes;
  }
  if (!DownloadServerFolder(job, folder)) return false;
  const std::string& server_file = settings.texts.server_file;
  if (settings.flags.subfolders && (server_file.empty() || server_file == "*.*")) {
    return DownloadSubtree(job, folder.first_child);
  }
  return true;
}

bool DownloadSubtree(DownloadJob& job, FolderRecord* first) {
  for (FolderRecord* folder = first; folder != nullptr; folder = folder->next_sibling) {
    if (folder->no_access) continue;
    if (!DownloadServerFolder(job, *folder)) return false;
    if (!DownloadSubtree(job, folder->first_child)) return false;
  }
  return true;
}

bool DownloadServerFolder(DownloadJob& job, FolderRecord& folder) {
  EngineContext& context = job.context;
  Reporter& report = context.report();
  const JobSettings& settings = context.job();
  job.folder = ServerFolder::Of(&folder);
  ExchangeResult<std::optional<std::string>> text = FolderFileList(context, job.folder.target());
  if (!text.ok()) return false;
  if (!text.value || text.value->empty()) return true;
  const std::vector<ServerFileEntry> entries =
      TakeServerFileList(context, folder.name, *text.value, FileCount::kDownloadError);

  const std::string& server_file = settings.texts.server_file;
  if (int error = LocalFolderFor(report, folder, settings.texts.local_directory, server_file,
                                 &job.local_folder);
      error != 0) {
    report.LogLine(kLineError, " Err - DownloadFile - Verify Local Folder Failed %d\n", error);
    return false;
  }
  // Unpacking files of a killed restore, once per folder.
  SweepStaleWorkFilesIn(context, job.local_folder);

  if (server_file.empty() || IsNamePattern(server_file)) {
    std::vector<const ServerFileEntry*> selected;
    for (const ServerFileEntry& entry : entries) {
      if (server_file.empty() || MatchNamePattern(server_file, entry.name, /*ignore_case=*/true) ==
                                     PatternResult::kMatch) {
        selected.push_back(&entry);
      }
    }
    return DownloadSelected(job, selected,
                            server_file.empty() ? "File Download 2" : "File Download");
  }
  for (const ServerFileEntry& entry : entries) {
    if (EqualsIgnoreCase(entry.name, server_file)) {
      return DownloadWithRetry(job, entry, "File Download 2");
    }
  }
  return ReportNotFound(job, folder, server_file);
}

std::optional<int64_t> ParseServerDate(std::string_view date_text) {
  return ParseDateStamp(date_text);
}

bool SetFileDateFromServer(const std::string& path, std::string_view date_text, int* error) {
  *error = 0;
  if (date_text.size() < 6) return true;
  return ApplyDateStamp(path, date_text, error);
}

}  // namespace nvx
