// The clean engine (command 18): makes a server folder tree follow the local tree by
// deleting the server's documents whose local file no longer exists and the server
// folders whose local folder no longer exists. It walks the local tree by the upload's
// rules (skip folders at the top only, no folders beginning with ".", excluded
// extensions, our own work files) but never sends data and never creates a folder.
// Names from the service are only compared with local names; nothing of the user's is
// ever deleted locally (the walk removes only stale work files of killed runs). Everything runs on
// the worker thread through the engine context; a CleanJob holds what one command knows between its
// steps.
#ifndef NVX_ENGINES_CLEAN_ENGINE_H_
#define NVX_ENGINES_CLEAN_ENGINE_H_

#include <string>
#include <string_view>
#include <unordered_set>

#include "engines/engine_context.h"
#include "engines/engine_lanes.h"
#include "protocol/folder_tree.h"

namespace nvx {

struct CleanJob {
  explicit CleanJob(EngineContext& engine_context) : context(engine_context) {}

  EngineContext& context;
  // The local folder being cleaned ("" for the file system's root) and the server folder
  // that holds its copy.
  std::string local_folder;
  const FolderRecord* server_node = nullptr;
  // Server folders without a local folder, found by DeleteMissingFolders. The marks live
  // with the command, so a later clean of the same tree starts unmarked.
  std::unordered_set<const FolderRecord*> no_local_folder;
  // The lanes a folder's deletes go on when the job keeps several in flight, opened when
  // a folder first has more than one; null: one after the other.
  LaneOpener* lanes = nullptr;
};

// The worker's handler for command 18, cleaning the server folder `mapped` (none: nothing
// is deleted, and the command fails); true on success.
[[nodiscard]] bool CleanNVX(EngineContext& context, const FolderRecord* mapped);

// Cleans the walk's local folder's server copy for the files matching `pattern`:
// subfolders first, then the documents whose file is gone. `top` is true only for the
// starting folder (skip folders apply there).
[[nodiscard]] bool CleanFolder(CleanJob& job, std::string_view pattern, bool top);
// Cleans the local subfolder `name` against the server child folder of that name,
// which must exist (false otherwise: the clean stops); with an empty name the current
// folder. The walk's position is the same afterwards.
[[nodiscard]] bool CleanSubfolder(CleanJob& job, std::string_view name, bool top);
// Deletes the server's document `name` of the walk's server folder when the local file
// is gone.
[[nodiscard]] bool CleanFile(CleanJob& job, std::string_view name);
// Moves the walk to the server folder named like the local folder's last component:
// with `children_only` false the walk's folder itself when its name matches, else one of
// its children. Never creates; false when there is none.
[[nodiscard]] bool FindServerFolder(CleanJob& job, bool children_only);
// Marks the server folders below the walk's one whose local folder is missing, then
// deletes each marked folder with everything below it. False when a local folder
// cannot be tested or a delete fails.
[[nodiscard]] bool DeleteMissingFolders(CleanJob& job);
// Deletes the server folder `node` with everything below it; true when the service
// said so.
[[nodiscard]] bool DeleteServerFolder(CleanJob& job, const FolderRecord& node);

}  // namespace nvx

#endif  // NVX_ENGINES_CLEAN_ENGINE_H_
