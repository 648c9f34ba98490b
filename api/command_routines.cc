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
template <typename Fetch, typename Keep>
bool FetchRoutine(TransferSession& session, Fetch fetch, Keep keep) {
  session.CloseConnection();
  session.report().SetStatusMessage("Getting Help File");
  auto fetched = fetch(session);
  keep(fetched);
  if (!fetched.ok()) return false;
  session.report().SetStatusMessage("Get Help File Complete");
  return true;
}

// What requests about the mapped folder name; none when nothing is mapped.
FolderTarget MappedFolderTarget(const SharedBlock& block) {
  const FolderRecord* mapped = block.protocol.lists.mapped_folder;
  if (mapped == nullptr) return {};
  return {mapped->folder_id, mapped->name};
}

}  // namespace

bool RoutineFolderList(TransferSession& session) {
  ExchangeResult<FolderListAnswer> answer = FolderList(session);
  if (answer.value.replaces_list) {
    ServerLists& lists = session.block().protocol.lists;
    // A mapped folder keeps pointing into the tree it came from until Reset.
    if (lists.folder_list != nullptr && lists.mapped_folder != nullptr) {
      lists.retired_folder_lists.push_front(std::move(lists.folder_list));
    }
    lists.folder_list = std::move(answer.value.tree);
  }
  return answer.ok();
}

bool RoutineVerifyId(TransferSession& session) {
  // The caller reads the login's outcome from the error code and the conclusion.
  (void)TestId(session);
  return true;
}

bool RoutineHelpFile(TransferSession& session) {
  return FetchRoutine(session, &FetchHelpFile, [&](const ExchangeResult<std::string>& fetched) {
    if (!fetched.value.empty()) session.block().protocol.help_file_name = fetched.value;
  });
}

bool RoutineVersionFile(TransferSession& session) {
  return FetchRoutine(session, &FetchVersionFile, [&](const ExchangeResult<std::string>& fetched) {
    if (fetched.ok()) ParseVersionText(session.block().protocol.version, fetched.value);
  });
}

bool RoutineFolderFileList(TransferSession& session) {
  const FolderTarget folder = MappedFolderTarget(session.block());
  ExchangeResult<std::optional<std::string>> text = FolderFileList(session, folder);
  if (!text.ok()) return false;
  // The refused entries are reported; no getter reads the list itself.
  if (text.value) (void)TakeServerFileList(session, folder.name, *text.value, std::nullopt);
  return true;
}

bool RoutineFileInfo(TransferSession& session) {
  Reporter& report = session.report();
  report.SetStatusMessage("Getting file info from Norrvault");
  // The file information itself has no getter: the command tells whether the service
  // could answer for the mapped folder.
  const ExchangeOutcome outcome =
      FileInfoQuery(session, CommandTarget{MappedFolderTarget(session.block()), {}}).outcome;
  if (outcome != ExchangeOutcome::kOk) {
    if (outcome == ExchangeOutcome::kTransportFailure) {
      report.AddFileNote("FileInfo", kNoteCommunicationFailure, true, 0);
    }
    return false;
  }
  report.SetStatusMessage("File info retrieved from Norrvault");
  return true;
}

bool RoutineResetSpace(TransferSession& session) {
  // The figures go into the account record whatever the answer; the command succeeds.
  (void)ResetSpace(session);
  return true;
}

bool RoutineDeleteEmptyFolders(TransferSession& session) {
  const FolderRecord* mapped = session.block().protocol.lists.mapped_folder;
  if (mapped == nullptr) return false;
  // The service deletes what it can; the command succeeds whatever it answered.
  (void)DeleteEmptyFolders(session, *mapped);
  return true;
}

bool RoutineVerifyPath(TransferSession& session) {
  const JobSettings& job = session.job();
  return VerifyServerPath(session, session.block().protocol.lists.folder_list.get(),
                          job.path_to_verify);
}

bool RoutineSetServer(TransferSession& session) {
  session.link().ReplaceServerList(session.job().link.server_host);
  return true;
}

bool RoutineUpload(TransferSession& session) {
  return RunUpload(session, session.block().protocol.lists.mapped_folder);
}

bool RoutineDownload(TransferSession& session) {
  // The download marks the folder list's records for the local folders it derives: the
  // list is the block's, and only the worker writes it while a command runs.
  return RunDownload(session,
                     const_cast<FolderRecord*>(session.block().protocol.lists.mapped_folder));
}

bool RoutineClean(TransferSession& session) {
  return CleanNVX(session, session.block().protocol.lists.mapped_folder);
}

}  // namespace nvx
