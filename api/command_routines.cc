#include "api/command_routines.h"

#include <optional>
#include <string>

#include "engines/clean_engine.h"
#include "engines/download_engine.h"
#include "engines/upload_engine.h"
#include "protocol/folder_paths.h"
#include "protocol/server_file_list.h"
#include "protocol/service_command.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "protocol/web_files.h"

namespace nvx {
namespace {

// Codes 4 and 5: both show the same two status messages; a failed fetch keeps its own.
bool FetchRoutine(TransferSession& session, bool (*fetch)(ServiceSession&)) {
  session.CloseConnection();
  session.report().SetStatusMessage("Getting Help File");
  if (!fetch(session)) return false;
  session.report().SetStatusMessage("Get Help File Complete");
  return true;
}

}  // namespace

bool RoutineFolderList(TransferSession& session) {
  return FolderList(session);
}

bool RoutineVerifyId(TransferSession& session) {
  return TestId(session);
}

bool RoutineHelpFile(TransferSession& session) {
  return FetchRoutine(session, &FetchHelpFile);
}

bool RoutineVersionFile(TransferSession& session) {
  return FetchRoutine(session, &FetchVersionFile);
}

bool RoutineFolderFileList(TransferSession& session) {
  std::optional<std::string> text;
  if (!FolderFileList(session, &text)) return false;
  session.block().protocol.lists.server_file_list =
      text ? TakeServerFileList(session, *text, std::nullopt) : std::vector<ServerFileEntry>();
  return true;
}

bool RoutineFileInfo(TransferSession& session) {
  Reporter& report = session.report();
  report.SetStatusMessage("Getting file info from Norrvault");
  if (!FileInfoQuery(session)) {
    if (session.link().communication_failure()) {
      report.AddFileNote("FileInfo", kNoteCommunicationFailure, true, 0);
    }
    return false;
  }
  report.SetStatusMessage("File info retrieved from Norrvault");
  return true;
}

bool RoutineResetSpace(TransferSession& session) {
  return ResetSpace(session);
}

bool RoutineDeleteEmptyFolders(TransferSession& session) {
  return DeleteEmptyFolders(session);
}

bool RoutineVerifyPath(TransferSession& session) {
  return VerifyServerPath(session);
}

bool RoutineSetServer(TransferSession& session) {
  session.link().ReplaceServerList(session.job().link.server_host);
  return true;
}

bool RoutineUpload(TransferSession& session) {
  return RunUpload(session);
}

bool RoutineDownload(TransferSession& session) {
  return RunDownload(session);
}

bool RoutineClean(TransferSession& session) {
  return CleanNVX(session);
}

}  // namespace nvx
