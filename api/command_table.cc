#include "api/command_table.h"

#include "api/command_routines.h"
#include "api/email_commands.h"
#include "api/reset.h"

namespace nvx {

CommandTable DefaultCommandTable() {
  CommandTable table;
  auto row = [&table](int32_t code) -> CommandRow& {
    return table.rows[static_cast<size_t>(code)];
  };
  //               name                  routine                     sync   keeps  transfer
  row(kCmdFolderList) = {"FolderList", &RoutineFolderList, false, false, false};
  row(kCmdUpload) = {"Upload", &RoutineUpload, false, false, true};
  row(kCmdVerifyId) = {"VerifyId", &RoutineVerifyId, false, false, false};
  row(kCmdHelpFile) = {"HelpFile", &RoutineHelpFile, false, false, false};
  row(kCmdVersionFile) = {"VersionFile", &RoutineVersionFile, false, false, false};
  row(kCmdFolderFileList) = {"FolderFileList", &RoutineFolderFileList, false, false, false};
  row(kCmdFileInfo) = {"FileInfo", &RoutineFileInfo, false, false, false};
  row(kCmdDownload) = {"Download", &RoutineDownload, false, false, true};
  row(kCmdResetSpace) = {"ResetSpace", &RoutineResetSpace, false, false, false};
  row(kCmdReset) = {"Reset", &RoutineReset, true, true, false};
  row(kCmdEmailStats) = {"EmailStats", &RoutineEmailStats, false, false, false};
  row(kCmdDeleteEmptyFolders) = {"DeleteEmptyFolders", &RoutineDeleteEmptyFolders, false, false,
                                 true};
  row(kCmdEmailSend) = {"EmailSend", &RoutineEmailSend, false, false, false};
  row(kCmdVerifyPath) = {"VerifyPath", &RoutineVerifyPath, false, false, true};
  row(kCmdGetStats) = {"GetStats", &RoutineGetStats, true, false, false};
  row(kCmdEmailSendJustText) = {"EmailSendJustText", &RoutineEmailSendJustText, false, false,
                                false};
  row(kCmdClean) = {"Clean", &RoutineClean, false, false, true};
  row(kCmdSetServer) = {"SetServer", &RoutineSetServer, true, true, false};
  return table;
}

}  // namespace nvx
