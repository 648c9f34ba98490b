// The download engine (command 8): copies the files of the mapped server folder, and
// with subfolders of its whole subtree, into the matching local folders, or moves them
// (the server copy goes once the local one is safe). Per file it decides from the dates
// and from the service's answer whether anything must travel, resumes from the work
// file an earlier attempt left (the target's name + "~"), deciphers, unpacks and, when
// asked, gives the file the server's date. Names in the server's file list are never
// trusted as paths. Everything runs on the worker thread through the engine context.
#ifndef NVX_ENGINES_DOWNLOAD_ENGINE_H_
#define NVX_ENGINES_DOWNLOAD_ENGINE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engines/engine_context.h"
#include "engines/engine_lanes.h"
#include "engines/server_folder.h"
#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"

namespace nvx {

// The suffix of a download's work file.
inline constexpr std::string_view kDownloadWorkSuffix = "~";
// The longest name a local folder entry may have; a server name that would make a longer
// work file name is refused like any name that cannot be a local one.
inline constexpr size_t kLocalNameMax = 255;

// What one download command carries from folder to folder.
struct DownloadJob {
  explicit DownloadJob(EngineContext& engine_context) : context(engine_context) {}

  EngineContext& context;
  // The server folder in hand: what its requests name.
  ServerFolder folder;
  // The local folder of the server folder in hand, ending in "/".
  std::string local_folder;
  // The lanes the folder's files go on when the job keeps several in flight, opened
  // when a folder first has files to fetch; null: one after the other.
  LaneOpener* lanes = nullptr;
};

// How one file's download ended: done with (transferred, matched, or refused and
// reported: the folder goes on), a transport failure (one more try), or a failure that
// stops the folder.
enum class FileDownload { kDone, kTransportFailure, kStop };

// The worker's handler for command 8, downloading the server folder `mapped` (with
// subfolders its subtree). The engine marks the folder list's records for the local
// folders it derives. False when no folder is mapped or the walk failed.
[[nodiscard]] bool RunDownload(EngineContext& context, FolderRecord* mapped);

// Fetches the file list of `folder` and downloads its selected files into its local
// folder.
[[nodiscard]] bool DownloadServerFolder(DownloadJob& job, FolderRecord& folder);

// Walks the sibling chain from `first` depth-first, passing over folders the account
// has no access to. False at the first folder that fails.
[[nodiscard]] bool DownloadSubtree(DownloadJob& job, FolderRecord* first);

// Downloads the list entry `entry` of the job's server folder into the job's local
// folder.
[[nodiscard]] FileDownload DownloadFile(DownloadJob& job, const ServerFileEntry& entry);

// The time a server date stamp names, for comparisons; none when it names none.
[[nodiscard]] std::optional<int64_t> ParseServerDate(std::string_view date_text);

// Gives the file at `path` the last-write time of a server date stamp. A stamp shorter
// than 6 characters is passed over (true). False when the time could not be set;
// `*error` then holds the system error (0 for a stamp that does not parse).
[[nodiscard]] bool SetFileDateFromServer(const std::string& path, std::string_view date_text,
                                         int* error);

}  // namespace nvx

#endif  // NVX_ENGINES_DOWNLOAD_ENGINE_H_
