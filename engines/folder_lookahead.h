// The upload walk's look-ahead on the lanes (a job with several transfers): while the walk
// is busy in one subfolder, lanes already ask the service about the next subfolders of the
// same folder, each on its own connection: the creation check (FolderCreate, which gives
// the folder's id) and then the folder's file list (FolderFileList with verification,
// FolderFileCount without). The walk takes each answer at the point where it would have
// asked itself and writes there what the lane recorded, so the activity log and the results
// report read as with one connection; only the requests travel earlier and side by side.
// An answer the lane did not get (a refusal, a cut, a service that takes one connection
// only and answers a second with 503) is asked again by the walk on its own connection:
// whatever then happens happens as with one connection.
// Walk thread only, apart from the work it hands to the lanes.
#ifndef NVX_ENGINES_FOLDER_LOOKAHEAD_H_
#define NVX_ENGINES_FOLDER_LOOKAHEAD_H_

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "engines/engine_context.h"
#include "engines/engine_lanes.h"
#include "engines/server_folder.h"
#include "protocol/exchange_outcome.h"
#include "protocol/server_file_list.h"

namespace nvx {

// What the walk learns of a server folder before it sends its files: the usable entries
// of its file list, and whether they name every document of the folder (a list came,
// none of its entries refused), so that a name not among them is not there.
struct ServerFolderFacts {
  std::vector<ServerFileEntry> files;
  bool whole = false;
};

// The server folder's file list (with verification) or its count (only whether the
// service answered matters), asked on `context`. False when it could not be fetched.
[[nodiscard]] bool FetchServerFolderFacts(EngineContext& context, const ServerFolder& folder,
                                          ServerFolderFacts* facts);

// What a lane found out ahead about one subfolder. Written by the lane, read by the walk
// only after EngineLanes::Finish of its task.
class FolderAhead {
 public:
  // The creation check's answer, its recording written now; waits for the lane.
  [[nodiscard]] ExchangeResult<std::string> TakeCreated(EngineContext& walk);
  // The facts of `folder` (see FetchServerFolderFacts), their recording written now. Only
  // after TakeCreated answered ok, with the folder it named.
  [[nodiscard]] bool TakeFacts(EngineContext& walk, const ServerFolder& folder,
                               ServerFolderFacts* facts);

 private:
  friend class FolderLookahead;
  EngineLanes* lanes_ = nullptr;
  size_t index_ = 0;
  std::string parent_id_;
  std::string name_;
  ExchangeResult<std::string> created_;
  LaneRecording create_recording_;
  bool facts_fetched_ = false;
  ServerFolderFacts facts_;
  LaneRecording facts_recording_;
};

// The look-ahead for the subfolders one folder's walk enters, in walk order. Hands a few
// subfolders ahead of the one the walk is in; the ones the walk does not reach (it
// stopped) are dropped when the look-ahead goes.
class FolderLookahead {
 public:
  // Below the server folder `parent_id` for the subfolders `names`; null lanes look
  // nowhere ahead.
  FolderLookahead(EngineLanes* lanes, std::string parent_id, std::vector<std::string> names);
  ~FolderLookahead();
  FolderLookahead(const FolderLookahead&) = delete;
  FolderLookahead& operator=(const FolderLookahead&) = delete;

  // The look-ahead of the subfolder at `position` of the names, handing the next ones;
  // null without lanes.
  [[nodiscard]] FolderAhead* Reach(size_t position);

 private:
  void HandUpTo(size_t end);

  EngineLanes* lanes_;
  std::string parent_id_;
  std::vector<std::string> names_;
  size_t first_index_ = 0;
  // Stable addresses: the lanes write into them.
  std::deque<FolderAhead> ahead_;
};

// Subfolders handed over ahead of the one the walk is in.
inline constexpr size_t kLaneFoldersAhead = 8;

}  // namespace nvx

#endif  // NVX_ENGINES_FOLDER_LOOKAHEAD_H_
