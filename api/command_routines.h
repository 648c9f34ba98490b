// The worker routines of the command codes: folder list (1), upload (2), login check
// (3), help file (4), version file (5), folder file list (6), file information (7),
// space refresh (10), delete empty folders (13), verify a server path (15), clean (18)
// and replace the server list (19). Each runs the service command on the worker's
// session, stores what the block keeps of it and returns true for status 2 and false for
// status 3. Worker thread only.
#ifndef NVX_API_COMMAND_ROUTINES_H_
#define NVX_API_COMMAND_ROUTINES_H_

#include "api/transfer_session.h"

namespace nvx {

[[nodiscard]] bool RoutineFolderList(TransferSession& session);
[[nodiscard]] bool RoutineVerifyId(TransferSession& session);
// Codes 4 and 5 report a failed fetch as a failed command, with the reason in the
// status message.
[[nodiscard]] bool RoutineHelpFile(TransferSession& session);
[[nodiscard]] bool RoutineVersionFile(TransferSession& session);
// Codes 6 and 7 ask about the mapped folder (none: the requests name no folder).
[[nodiscard]] bool RoutineFolderFileList(TransferSession& session);
[[nodiscard]] bool RoutineFileInfo(TransferSession& session);
[[nodiscard]] bool RoutineResetSpace(TransferSession& session);
[[nodiscard]] bool RoutineDeleteEmptyFolders(TransferSession& session);
[[nodiscard]] bool RoutineVerifyPath(TransferSession& session);
[[nodiscard]] bool RoutineSetServer(TransferSession& session);
// Code 2: the upload engine, for UploadFile and for SendLog's upload of the activity log.
[[nodiscard]] bool RoutineUpload(TransferSession& session);
// Code 8: the download engine.
[[nodiscard]] bool RoutineDownload(TransferSession& session);
// Code 18: the clean engine, deleting server copies of what is gone locally.
[[nodiscard]] bool RoutineClean(TransferSession& session);

}  // namespace nvx

#endif  // NVX_API_COMMAND_ROUTINES_H_
