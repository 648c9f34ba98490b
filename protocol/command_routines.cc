#include "protocol/command_routines.h"

#include "api/results_report.h"
#include "protocol/folder_paths.h"
#include "protocol/service_command.h"
#include "protocol/service_commands.h"
#include "protocol/service_link.h"
#include "protocol/web_files.h"

namespace nvx {
namespace {

// Codes 4 and 5: both show the same two status messages; a failed fetch keeps its own.
bool FetchRoutine(TransferSession& session, bool (*fetch)(TransferSession&)) {
  session.CloseConnection();
  SetStatusMessage(session.block(), "Getting Help File");
  if (!fetch(session)) return false;
  SetStatusMessage(session.block(), "Get Help File Complete");
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
  if (!FolderFileList(session)) return false;
  ParseServerFileList(session);
  return true;
}

bool RoutineFileInfo(TransferSession& session) {
  SharedBlock& block = session.block();
  SetStatusMessage(block, "Getting file info from Norrvault");
  if (!FileInfoQuery(session)) {
    if (session.communication_failure) {
      AddFileNote(block, "FileInfo", kNoteCommunicationFailure, true, 0);
    }
    return false;
  }
  SetStatusMessage(block, "File info retrieved from Norrvault");
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
  session.link().ReplaceServerList(session.block().server_host);
  return true;
}

}  // namespace nvx
