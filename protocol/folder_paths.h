// Server folder paths made real: VerifyNVXPath creates the missing folders of a server
// path on the service and links them into the folder tree; LocalFolderFor derives (and
// creates) the local folder that a server folder is downloaded into. Folder names that
// come from the service never become part of a local path unchecked. Worker thread.
#ifndef NVX_PROTOCOL_FOLDER_PATHS_H_
#define NVX_PROTOCOL_FOLDER_PATHS_H_

#include <string>
#include <string_view>

#include "protocol/folder_tree.h"
#include "protocol/reporter.h"
#include "protocol/service_session.h"

namespace nvx {

// Makes sure every folder of the server path `path` ("\\"-separated) exists in `tree`,
// creating the missing ones one by one ("FolderCreate") and linking them into the tree.
// A first component is created below "MyFiles": the request names the "MyFiles"
// folder's id as parent ("NO" when the account has none, which the service also reads
// as "MyFiles"). True when the path is empty or every folder exists afterwards; false at
// the first folder that cannot be created (those created so far stay), or with error
// code 5 when no folder list is loaded (`tree` null).
[[nodiscard]] bool VerifyServerPath(ServiceSession& session, FolderTree* tree,
                                    std::string_view path);

// True when `name` may become one component of a local path: not empty, not "." or
// "..", no "/" and no zero byte.
[[nodiscard]] bool IsUsableLocalName(std::string_view name);

// The local folder for the server folder `record` of a download that starts at the
// folder carrying the download base mark, below `local_directory`, ending in "/"; the
// missing folders of it are created. Returns 0, or the system error number of the first
// folder that could not be checked or created. A folder name that cannot be a local name
// is refused with EINVAL, an activity-log error line and a results note (through
// `report`).
[[nodiscard]] int LocalFolderFor(Reporter& report, FolderRecord& record,
                                 std::string_view local_directory, std::string_view pattern,
                                 std::string* local_folder);

}  // namespace nvx

#endif  // NVX_PROTOCOL_FOLDER_PATHS_H_
