// The CNvxapi operations that post a command to the worker, and the pause handshake.
#include <cstdarg>

#include "api/activity_log.h"
#include "api/facade_access.h"
#include "platform/text_format.h"

namespace nvx {

void PostCommand(SharedBlock& block, int32_t code) {
  WorkerControl& control = block.control;
  control.status.store(status::kBusy);
  control.command.store(code);
  if (code >= kFirstCommandCode && code <= kLastCommandCode &&
      control.commands.rows[static_cast<size_t>(code)].is_transfer) {
    control.transfer_kind = code;
  }
  if (!block.control.worker_started) {
    block.control.status.store(status::kFailed);
    return;
  }
  block.control.command_event.Signal();
}

void Trace(SharedBlock& block, const char* format, ...) {
  if ((block.log_level.load(std::memory_order_relaxed) & kLineTrace) == 0) return;
  va_list args;
  va_start(args, format);
  std::string line = StrFormatV(format, args);
  va_end(args);
  LogText(block, kLineTrace, line);
}

}  // namespace nvx

using nvx::FacadeAccess;
using nvx::PostCommand;
using nvx::Trace;

void CNvxapi::SetServer(const char* host) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetServer\n");
  block_->job.link.server_host = nvx::FitToWidth(nvx::TextArg(host), nvx::kServerHostWidth);
  PostCommand(*block_, nvx::kCmdSetServer);
  SetStartTime();
  SyncFileAccess();
}

void CNvxapi::VerifyId() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER VerifyId %s\n", block_->job.link.user.c_str());
  PostCommand(*block_, nvx::kCmdVerifyId);
}

void CNvxapi::GetNVXFolderList() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER GetNVXFolderList\n");
  PostCommand(*block_, nvx::kCmdFolderList);
}

void CNvxapi::UploadFile() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER UploadFile\n");
  PostCommand(*block_, nvx::kCmdUpload);
}

bool CNvxapi::SendLog(int32_t purpose) {
  if (block_ == nullptr) return false;
  Trace(*block_, "CALLMEMBER SendLog\n");
  std::string log_name = nvx::FitToWidth(block_->log_file_name, nvx::kSendLogNameWidth);
  // A fresh log takes over, so that the one to be sent is complete and closed.
  SetLogLevel(1);
  size_t slash = log_name.rfind('/');
  if (slash == std::string::npos) return false;
  SetLocalDirectory(log_name.substr(0, slash).c_str());
  SetLocalFile(log_name.substr(slash + 1).c_str());
  block_->job.sending_log = true;
  block_->job.log_count = purpose;
  PostCommand(*block_, nvx::kCmdUpload);
  return true;
}

void CNvxapi::CleanNVX() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER CleanNVX\n");
  block_->job.flags.verification = true;
  PostCommand(*block_, nvx::kCmdClean);
}

void CNvxapi::VerifyNVXPath(const char* server_path) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER VerifyNVXPath %s\n", nvx::TextOrEmpty(server_path));
  block_->job.path_to_verify = std::string(nvx::TextArg(server_path));
  PostCommand(*block_, nvx::kCmdVerifyPath);
}

void CNvxapi::DeleteEmptyNVXFolders() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER DeleteEmptyNVXFolders\n");
  PostCommand(*block_, nvx::kCmdDeleteEmptyFolders);
}

void CNvxapi::Reset() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER Reset\n");
  PostCommand(*block_, nvx::kCmdReset);
  SetStartTime();
  SyncFileAccess();
}

void CNvxapi::DownloadFile() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER DownloadFile\n");
  PostCommand(*block_, nvx::kCmdDownload);
}

void CNvxapi::EmailStats(bool to_user, bool to_administrator) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER EmailStats %d %d\n", to_user ? 1 : 0, to_administrator ? 1 : 0);
  SetStopTime();
  block_->job.flags.email_to_user = to_user;
  block_->job.flags.email_to_administrator = to_administrator;
  PostCommand(*block_, nvx::kCmdEmailStats);
}

const char* CNvxapi::GetStats() {
  if (block_ == nullptr) return "";
  Trace(*block_, "CALLMEMBER GetStats\n");
  SetStopTime();
  PostCommand(*block_, nvx::kCmdGetStats);
  SyncFileAccess();
  return block_->statistics_text.c_str();
}

namespace {

void StoreEmail(nvx::SharedBlock& block, bool to_user, bool to_administrator, const char* subject,
                const char* body) {
  block.job.flags.email_to_user = to_user;
  block.job.flags.email_to_administrator = to_administrator;
  block.job.texts.email_subject = std::string(nvx::TextArg(subject));
  block.job.texts.email_body = std::string(nvx::TextArg(body));
}

}  // namespace

void CNvxapi::EmailSend(bool to_user, bool to_administrator, const char* subject,
                        const char* body) {
  if (block_ == nullptr) return;
  StoreEmail(*block_, to_user, to_administrator, subject, body);
  PostCommand(*block_, nvx::kCmdEmailSend);
}

void CNvxapi::EmailSendJustText(bool to_user, bool to_administrator, const char* subject,
                                const char* body) {
  if (block_ == nullptr) return;
  StoreEmail(*block_, to_user, to_administrator, subject, body);
  PostCommand(*block_, nvx::kCmdEmailSendJustText);
}

void CNvxapi::ResetSpace() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER ResetSpace\n");
  PostCommand(*block_, nvx::kCmdResetSpace);
}

void CNvxapi::FetchVersionFile() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER FetchVersionFile\n");
  PostCommand(*block_, nvx::kCmdVersionFile);
}

void CNvxapi::FetchHelpFile() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER FetchHelpFile\n");
  PostCommand(*block_, nvx::kCmdHelpFile);
}

void CNvxapi::SyncFileAccess() {
  if (block_ == nullptr || !block_->control.worker_started) return;
  block_->control.sync_event.Wait();
}

void CNvxapi::SyncFileAccessNext() {
  if (block_ == nullptr) return;
  block_->control.pause_after_file_event.Signal();
}
