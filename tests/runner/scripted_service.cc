#include "tests/runner/scripted_service.h"

#include <memory>
#include <mutex>

#include "api/facade_access.h"
#include "api/file_access_pause.h"
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
  g_script->scrambled_password = block.scrambled_password;
  g_script->proxy_password = block.proxy_password;
  g_script->proxy_password_scrambled = block.proxy_password_scrambled;
  block.error_code.store(g_script->verify_error_code);
  SetConclusion(block, g_script->verify_conclusion);
  return g_script->verify_succeeds;
}

bool PlayFolderList(TransferSession& session) {
  Record("FolderList");
  if (!g_script->folder_list_succeeds) return false;
  SharedBlock& block = session.block();
  auto tree = std::make_unique<FolderTree>();
  for (const ScriptedFolder& folder : g_script->folders) AddFolder(*tree, folder);
  block.folder_list = std::move(tree);
  block.space_limit = g_script->space_limit;
  block.space_used = g_script->space_used;
  block.space_used_estimate = g_script->space_used;
  return true;
}

SeenJob SeeJob(SharedBlock& block, const char* command) {
  SeenJob job;
  job.command = command;
  job.local_directory = block.local_directory;
  job.local_file = block.local_file;
  job.server_folder = block.server_folder;
  job.server_file = block.server_file;
  job.subfolders = block.subfolders;
  job.verification = block.verification;
  job.compress = block.compress;
  job.transfer_compress = block.transfer_compress;
  job.move = block.move;
  job.duplicate_files = block.duplicate_files;
  job.use_server_date = block.use_server_date;
  job.pause_after_each_file = block.pause_after_each_file;
  job.file_compare = block.file_compare;
  job.log_count = block.log_count;
  job.skip_folders.assign(block.skip_folders.begin(), block.skip_folders.end());
  job.excluded_extensions.assign(block.excluded_extensions.begin(),
                                 block.excluded_extensions.end());
  return job;
}

bool PlayTransfer(TransferSession& session, const char* command) {
  SharedBlock& block = session.block();
  g_script->jobs.push_back(SeeJob(block, block.sending_log ? "SendLog" : command));
  ScriptedTransfer transfer;
  if (!g_script->transfers.empty()) {
    transfer = g_script->transfers.front();
    g_script->transfers.pop_front();
  }
  int32_t sequence = 0;
  for (const std::string& file : transfer.files) {
    {
      std::lock_guard<std::mutex> lock(block.state_lock);
      block.live_progress.sequence = ++sequence;
      block.live_progress.phase = 1;
      block.live_file_name = file;
    }
    if (!WaitForFileAccess(session)) return false;
  }
  {
    std::lock_guard<std::mutex> lock(block.state_lock);
    block.live_progress.files_uploaded = transfer.files_uploaded;
    block.live_progress.files_upload_error = transfer.files_upload_error;
    block.live_progress.files_upload_zero_length = transfer.files_upload_zero_length;
    block.live_progress.files_downloaded = transfer.files_downloaded;
    block.live_progress.files_not_found = transfer.files_not_found;
  }
  block.error_code.store(transfer.error_code);
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
  return true;
}

bool PlayVerifyPath(TransferSession& session) {
  Record("VerifyPath");
  g_script->verified_paths.push_back(session.block().path_to_verify);
  return true;
}

bool PlayResetSpace(TransferSession&) {
  Record("ResetSpace");
  return true;
}

bool PlayEmail(TransferSession& session, const char* command) {
  Record(command);
  SharedBlock& block = session.block();
  g_script->emails.push_back({command, block.email_to_user, block.email_to_administrator,
                              block.email_subject, block.email_body});
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
  block.routines[kCmdVerifyId] = &PlayVerifyId;
  block.routines[kCmdFolderList] = &PlayFolderList;
  block.routines[kCmdUpload] = &PlayUpload;
  block.routines[kCmdDownload] = &PlayDownload;
  block.routines[kCmdClean] = &PlayClean;
  block.routines[kCmdDeleteEmptyFolders] = &PlayDeleteEmpty;
  block.routines[kCmdVerifyPath] = &PlayVerifyPath;
  block.routines[kCmdResetSpace] = &PlayResetSpace;
  block.routines[kCmdEmailSend] = &PlayEmailSend;
  block.routines[kCmdEmailSendJustText] = &PlayEmailSendJustText;
  block.routines[kCmdSetServer] = &PlaySetServer;
}

}  // namespace nvx::test
