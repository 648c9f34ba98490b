// The CNvxapi setters: they copy their values into the shared block on the caller's
// thread, while no command is busy.
#include <algorithm>

#include "api/activity_log.h"
#include "api/facade_access.h"
#include "platform/clock.h"
#include "platform/text_format.h"

using nvx::FitToWidth;
using nvx::TextArg;
using nvx::Trace;
using nvx::TraceFlag;

void CNvxapi::SetUserAuth(const char* user, const char* password) {
  if (block_ == nullptr) return;
  block_->job.link.user = FitToWidth(TextArg(user), nvx::kUserWidth);
  block_->job.link.password = FitToWidth(TextArg(password), nvx::kPasswordWidth);
  // The newest credentials win: a plain password replaces an earlier scrambled one.
  block_->job.link.scrambled_password.clear();
}

void CNvxapi::SetUserAuthEncrypted(const char* user, const char* scrambled_password) {
  if (block_ == nullptr) return;
  block_->job.link.user = FitToWidth(TextArg(user), nvx::kUserWidth);
  block_->job.link.scrambled_password = std::string(TextArg(scrambled_password));
}

void CNvxapi::SetServerCA(const char* pem_file) {
  if (block_ == nullptr) return;
  block_->job.link.server_ca_file = FitToWidth(TextArg(pem_file), nvx::kServerCaFileWidth);
}

void CNvxapi::SetProxyServer(const char* host, const char* port) {
  if (block_ == nullptr) return;
  block_->job.link.proxy_host = FitToWidth(TextArg(host), nvx::kProxyHostWidth);
  block_->job.link.proxy_port = FitToWidth(TextArg(port), nvx::kProxyPortWidth);
}

void CNvxapi::SetProxyAuth(const char* id, const char* password) {
  if (block_ == nullptr) return;
  block_->job.link.proxy_id = FitToWidth(TextArg(id), nvx::kProxyIdWidth);
  block_->job.link.proxy_password = FitToWidth(TextArg(password), nvx::kProxyPasswordWidth);
  block_->job.link.proxy_authentication = true;
  block_->job.link.proxy_password_scrambled = false;
}

void CNvxapi::SetProxyAuthEncrypted(const char* id, const char* scrambled_password) {
  if (block_ == nullptr) return;
  SetProxyAuth(id, scrambled_password);
  block_->job.link.proxy_password_scrambled = true;
}

void CNvxapi::SetStartTime() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetStartTime \n");
  block_->start_time = nvx::platform::GetClock().LocalNow();
}

void CNvxapi::SetStopTime() {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetStopTime \n");
  block_->stop_time = nvx::platform::GetClock().LocalNow();
}

void CNvxapi::SetResultsType(const char* results_type) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetResultsType %s\n", nvx::TextOrEmpty(results_type));
  block_->job.results_type = FitToWidth(TextArg(results_type), nvx::kResultsTypeWidth);
}

void CNvxapi::SetLogDirectory(const char* folder) {
  if (block_ == nullptr) return;
  block_->log_directory = std::string(TextArg(folder));
}

void CNvxapi::SetLogLevel(int32_t level) {
  if (block_ == nullptr) return;
  nvx::ReopenActivityLog(*block_, level);
}

void CNvxapi::SetLocalDirectory(const char* folder) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetLocalDirectory %s\n", nvx::TextOrEmpty(folder));
  block_->job.texts.local_directory = std::string(TextArg(folder));
}

void CNvxapi::SetWorkDirectory(const char* folder) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetWorkDirectory %s\n", nvx::TextOrEmpty(folder));
  block_->job.work_directory = std::string(TextArg(folder));
}

void CNvxapi::SetLocalFile(const char* file_or_pattern) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetLocalFile %s\n", nvx::TextOrEmpty(file_or_pattern));
  block_->job.texts.local_file = std::string(TextArg(file_or_pattern));
}

void CNvxapi::SetNVXFolder(const char* server_folder) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetNVXFolder %s\n", nvx::TextOrEmpty(server_folder));
  block_->job.texts.server_folder = std::string(TextArg(server_folder));
}

void CNvxapi::SetNVXFile(const char* file_or_pattern) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetNVXFile %s\n", nvx::TextOrEmpty(file_or_pattern));
  block_->job.texts.server_file = std::string(TextArg(file_or_pattern));
}

void CNvxapi::SetVerification(bool verify) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetVerification %s\n", TraceFlag(verify));
  block_->job.flags.verification = verify;
}

void CNvxapi::UseNvxDate(bool use_server_date) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER UseNvxDate %s\n", TraceFlag(use_server_date));
  block_->job.flags.use_server_date = use_server_date;
}

void CNvxapi::DuplicateFiles(bool duplicates) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER DuplicateFiles %s\n", TraceFlag(duplicates));
  block_->job.flags.duplicate_files = duplicates;
}

void CNvxapi::SetFileCompare(int32_t mode) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetFileCompare %d\n", mode);
  block_->job.flags.file_compare = mode;
}

void CNvxapi::SetDoSubFolder(bool include_subfolders) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetDoSubFolder %s\n", TraceFlag(include_subfolders));
  // A job that names a single file never descends into subfolders.
  if (!block_->job.texts.local_file.empty() && block_->job.texts.local_file != "*.*") {
    block_->job.flags.subfolders = false;
    Trace(*block_, " SetDoSubFolder Forced off due to file specified\n");
    return;
  }
  block_->job.flags.subfolders = include_subfolders;
}

void CNvxapi::SetMoveFile(bool move) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetMoveFile %s\n", TraceFlag(move));
  block_->job.flags.move = move;
}

void CNvxapi::SetCompress(bool compress) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetCompress %s\n", TraceFlag(compress));
  block_->job.flags.compress = compress;
}

void CNvxapi::SetTransferCompress(bool transfer_compress) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetTransferCompress %s\n", TraceFlag(transfer_compress));
  block_->job.flags.transfer_compress = transfer_compress;
}

void CNvxapi::SetSkipFolder(const char* folder_name) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetSkipFolder %s\n", nvx::TextOrEmpty(folder_name));
  block_->job.texts.skip_folders.push_front(FitToWidth(TextArg(folder_name), nvx::kListEntryWidth));
}

void CNvxapi::SetExcludeExtension(const char* extension) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetExcludeExtension %s\n", nvx::TextOrEmpty(extension));
  block_->job.texts.excluded_extensions.push_front(
      FitToWidth(TextArg(extension), nvx::kListEntryWidth));
}

void CNvxapi::SetTransfers(int32_t files_in_flight) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SetTransfers %d\n", files_in_flight);
  block_->job.flags.transfers = std::clamp<int32_t>(files_in_flight, 1, nvx::kTransfersMax);
}

void CNvxapi::SetSyncFileAccess(bool pause_after_file) {
  if (block_ == nullptr) return;
  Trace(*block_, "CALLMEMBER SyncFileAccess %s\n", TraceFlag(pause_after_file));
  block_->job.pause_after_file = pause_after_file;
}
