#include "tests/runner/scripted_service.h"

#include <memory>

#include "api/facade_access.h"
#include "api/shared_block.h"
#include "api/transfer_session.h"
#include "protocol/folder_tree.h"

namespace nvx::test {
namespace {

// One script at a time: the routines are plain functions.
ServiceScript* g_script = nullptr;

FolderRecord* ChildNamed(FolderRecord* parent, const std::string& name) {
  for (FolderRecord* child = parent->first_child; child != nullptr; child = child->next_sibling) {
    if (child->name == name) return child;
  }
  return nullptr;
}

void AddFolder(FolderTree& tree, const ScriptedFolder& folder) {
  FolderRecord* current = tree.root();
  size_t start = folder.path.empty() || folder.path[0] != '\\' ? 0 : 1;
  while (start < folder.path.size()) {
    size_t end = folder.path.find('\\', start);
    if (end == std::string::npos) end = folder.path.size();
    std::string name = folder.path.substr(start, end - start);
    FolderRecord* child = ChildNamed(current, name);
    if (child == nullptr) {
      child = tree.NewRecord();
      child->name = name;
      child->parent = current;
      child->level = current->level + 1;
      child->write_access = true;
      child->next_sibling = current->first_child;
      current->first_child = child;
    }
    current = child;
    start = end + 1;
  }
  current->no_show = folder.no_show;
  current->no_access = folder.no_access;
  current->write_access = folder.write_access;
}

void Record(const char* command) {
  g_script->commands.push_back(command);
}

bool PlayVerifyId(TransferSession& session) {
  Record("VerifyId");
  SharedBlock& block = session.block();
  g_script->scrambled_password = block.job.link.scrambled_password;
  g_script->proxy_password = block.job.link.proxy_password;
  g_script->proxy_password_scrambled = block.job.link.proxy_password_scrambled;
  block.control.error_code.store(g_script->verify_error_code);
  SetConclusion(block, g_script->verify_conclusion);
  return g_script->verify_succeeds;
}

bool PlayFolderList(TransferSession& session) {
  Record("FolderList");
  if (!g_script->folder_list_succeeds) return false;
  SharedBlock& block = session.block();
  auto tree = std::make_unique<FolderTree>();
  for (const ScriptedFolder& folder : g_script->folders) AddFolder(*tree, folder);
  block.protocol.lists.folder_list = std::move(tree);
  block.protocol.account.space_limit = g_script->space_limit;
  block.protocol.account.space_used = g_script->space_used;
  block.protocol.account.space_used_estimate = g_script->space_used;
  return true;
}

SeenJob SeeJob(SharedBlock& block, const char* command) {
  SeenJob job;
  job.command = command;
  job.local_directory = block.job.texts.local_directory;
  job.local_file = block.job.texts.local_file;
  job.server_folder = block.job.texts.server_folder;
  job.server_file = block.job.texts.server_file;
  job.subfolders = block.job.flags.subfolders;
  job.verification = block.job.flags.verification;
  job.compress = block.job.flags.compress;
  job.transfer_compress = block.job.flags.transfer_compress;
  job.move = block.job.flags.move;
  job.duplicate_files = block.job.flags.duplicate_files;
  job.use_server_date = block.job.flags.use_server_date;
  job.pause_after_file = block.job.pause_after_file;
  job.file_compare = block.job.flags.file_compare;
  job.log_count = block.job.log_count;
  job.skip_folders.assign(block.job.texts.skip_folders.begin(), block.job.texts.skip_folders.end());
  job.excluded_extensions.assign(block.job.texts.excluded_extensions.begin(),
                                 block.job.texts.excluded_extensions.end());
  return job;
}

bool PlayTransfer(TransferSession& session, const char* command) {
  SharedBlock& block = session.block();
  g_script->jobs.push_back(SeeJob(block, block.job.sending_log ? "SendLog" : command));
  ScriptedTransfer transfer;
  if (!g_script->transfers.empty()) {
    transfer = g_script->transfers.front();
    g_script->transfers.pop_front();
  }
  int32_t sequence = 0;
  for (const std::string& file : transfer.files) {
    {
      nvx::platform::MutexLock lock(block.state_lock);
      block.reported.live_progress.sequence = ++sequence;
      block.reported.live_progress.phase = 1;
      block.reported.live_file_name = file;
    }
    if (!session.PauseAfterFile()) return false;
  }
  {
    nvx::platform::MutexLock lock(block.state_lock);
    block.reported.live_progress.files_uploaded = transfer.files_uploaded;
    block.reported.live_progress.files_upload_error = transfer.files_upload_error;
    block.reported.live_progress.files_upload_zero_length = transfer.files_upload_zero_length;
    block.reported.live_progress.files_downloaded = transfer.files_downloaded;
    block.reported.live_progress.files_not_found = transfer.files_not_found;
  }
  block.control.error_code.store(transfer.error_code);
  if (!transfer.status_message.empty()) SetStatusMessage(block, transfer.status_message);
  return transfer.succeeded;
}

bool PlayUpload(TransferSession& session) {
  Record("Upload");
  return PlayTransfer(session, "Upload");
}

bool PlayDownload(TransferSession& session) {
  Record("Download");
  return PlayTransfer(session, "Download");
}

bool PlayClean(TransferSession& session) {
  Record("Clean");
  g_script->jobs.push_back(SeeJob(session.block(), "Clean"));
  SetConclusion(session.block(), g_script->clean_conclusion);
  return g_script->clean_status == 2;
}

bool PlayDeleteEmpty(TransferSession& session) {
  Record("DeleteEmpty");
  g_script->jobs.push_back(SeeJob(session.block(), "DeleteEmpty"));
  SetConclusion(session.block(), g_script->delete_empty_conclusion);
  return g_script->delete_empty_status == 2;
}

bool PlayVerifyPath(TransferSession& session) {
  Record("VerifyPath");
  const std::string& path = session.block().job.path_to_verify;
  g_script->verified_paths.push_back(path);
  for (const std::string& refused : g_script->refused_paths) {
    if (refused == path) {
      SetStatusMessage(session.block(), g_script->refused_path_message);
      return false;
    }
  }
  return true;
}

bool PlayResetSpace(TransferSession&) {
  Record("ResetSpace");
  return true;
}

bool PlayEmail(TransferSession& session, const char* command) {
  Record(command);
  SharedBlock& block = session.block();
  g_script->emails.push_back({command, block.job.flags.email_to_user,
                              block.job.flags.email_to_administrator, block.job.texts.email_subject,
                              block.job.texts.email_body});
  SetConclusion(block, g_script->email_conclusion);
  return true;
}

bool PlayEmailSend(TransferSession& session) {
  return PlayEmail(session, "EmailSend");
}

bool PlayEmailSendJustText(TransferSession& session) {
  return PlayEmail(session, "EmailSendJustText");
}

bool PlaySetServer(TransferSession&) {
  Record("SetServer");
  return true;
}

}  // namespace

void PlayScript(CNvxapi& api, ServiceScript& script) {
  g_script = &script;
  SharedBlock& block = *FacadeAccess::Block(api);
  block.control.commands.rows[kCmdVerifyId].routine = &PlayVerifyId;
  block.control.commands.rows[kCmdFolderList].routine = &PlayFolderList;
  block.control.commands.rows[kCmdUpload].routine = &PlayUpload;
  block.control.commands.rows[kCmdDownload].routine = &PlayDownload;
  block.control.commands.rows[kCmdClean].routine = &PlayClean;
  block.control.commands.rows[kCmdDeleteEmptyFolders].routine = &PlayDeleteEmpty;
  block.control.commands.rows[kCmdVerifyPath].routine = &PlayVerifyPath;
  block.control.commands.rows[kCmdResetSpace].routine = &PlayResetSpace;
  block.control.commands.rows[kCmdEmailSend].routine = &PlayEmailSend;
  block.control.commands.rows[kCmdEmailSendJustText].routine = &PlayEmailSendJustText;
  block.control.commands.rows[kCmdSetServer].routine = &PlaySetServer;
}

}  // namespace nvx::test
