// The engines' side of the files they work with under fixed or derived names (the
// download's "name~", the differential path's "temp.crc", "temp.crc~" and "diff.crc",
// the hidden work files): a name that holds something the engines did not make is
// refused and reported, never written through and never removed; and the stale hidden
// work files of killed runs are removed from the folders the engines visit, at the cost
// of the listing the walk makes anyway. Worker thread only.
#ifndef NVX_ENGINES_WORK_FILES_H_
#define NVX_ENGINES_WORK_FILES_H_

#include <string>
#include <string_view>
#include <vector>

#include "engines/engine_context.h"
#include "platform/directory_search.h"

namespace nvx {

// True when nothing is at `path`, or a regular file (a symbolic link is not followed).
[[nodiscard]] bool HoldsRegularFileOrNothing(const std::string& path);

// Reports that the file `file_path` met `occupied` (a link, folder, pipe, device or
// socket where the engine needs a regular file of its own): an error line in the
// activity log, `count` + 1, and a note in the results report that names both and says
// `outcome` ("was not transfered", ...). `occupied` is left as it is.
void RefuseNotRegularFile(EngineContext& context, std::string_view file_path,
                          std::string_view occupied, FileCount count, std::string_view outcome);

// Removes the stale hidden work files of `folder`, as listed in `entries`
// (RemoveStaleWorkFiles), with an activity-log line for each.
void SweepStaleWorkFiles(EngineContext& context, std::string_view folder,
                         const std::vector<platform::DirectoryEntry>& entries);
// The same for a folder the engine has not listed: only work file names are looked at.
void SweepStaleWorkFilesIn(EngineContext& context, const std::string& folder);

}  // namespace nvx

#endif  // NVX_ENGINES_WORK_FILES_H_
