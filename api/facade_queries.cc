// The CNvxapi operations that read state, look up the folder list, and finish results.

#include <algorithm>
#include <chrono>

#include "api/activity_log.h"
#include "api/facade_access.h"
#include "api/results_report.h"
#include "platform/adaptive_spin.h"
#include "platform/mutex.h"
#include "platform/text_format.h"
#include "protocol/folder_tree.h"

using nvx::CopyToField;
using nvx::TextArg;
using nvx::Trace;

int32_t CNvxapi::GetStatus() {
  if (block_ == nullptr) return nvx::status::kFailed;
  return block_->control.status.load();
}

int32_t CNvxapi::GetErrorCode() {
  if (block_ == nullptr) return nvx::error::kNone;
  return block_->control.error_code.load();
}

const char* CNvxapi::GetConclusion() {
  if (block_ == nullptr) return "";
  nvx::platform::MutexLock lock(block_->state_lock);
  CopyToField(block_->returned.conclusion, sizeof block_->returned.conclusion,
              block_->reported.conclusion);
  return block_->returned.conclusion;
}

const char* CNvxapi::GetHttpResponse() {
  if (block_ == nullptr) return "";
  nvx::platform::MutexLock lock(block_->state_lock);
  CopyToField(block_->returned.http_response, sizeof block_->returned.http_response,
              block_->reported.last_http_response);
  return block_->returned.http_response;
}

const char* CNvxapi::GetStatusMsg() {
  if (block_ == nullptr) return "";
  nvx::platform::MutexLock lock(block_->state_lock);
  CopyToField(block_->returned.status_message, sizeof block_->returned.status_message,
              block_->reported.status_message);
  return block_->returned.status_message;
}

bool CNvxapi::MapNVXPath(const char* server_path) {
  if (block_ == nullptr) return false;
  Trace(*block_, "CALLMEMBER MapNVXPath %s\n", nvx::TextOrEmpty(server_path));
  if (block_->protocol.lists.folder_list == nullptr) {
    nvx::SetStatusMessage(*block_, "No Folder List");
    block_->control.error_code.store(nvx::error::kNoFolderList);
    return false;
  }
  const nvx::FolderRecord* found =
      nvx::FindFolder(TextArg(server_path), *block_->protocol.lists.folder_list->root());
  if (found == nullptr) {
    nvx::SetStatusMessage(*block_, "Folder Not Found");
    block_->control.error_code.store(nvx::error::kFolderNotFound);
    return false;
  }
  block_->protocol.lists.mapped_folder = found;
  return true;
}

bool CNvxapi::TestOverQuota() {
  if (block_ == nullptr) return true;
  Trace(*block_, "CALLMEMBER TestOverQuota\n");
  // Before any reply reported space figures all three are 0: the account counts as full.
  const nvx::AccountFigures& account = block_->protocol.account;
  bool over = account.space_used >= account.space_limit ||
              account.space_used_estimate >= account.space_limit;
  if (over) nvx::LogText(*block_, nvx::kLineAnyLevel, " No Available space in account\n");
  return over;
}

void CNvxapi::DumpStats() {
  if (block_ == nullptr) return;
  nvx::DumpTransferStats(*block_);
}

void CNvxapi::ResetStats() {
  if (block_ == nullptr) return;
  nvx::platform::MutexLock lock(block_->state_lock);
  nvx::ProgressRecord& live = block_->reported.live_progress;
  live.files_uploaded = live.files_upload_updated = live.files_upload_matched = 0;
  live.files_upload_error = live.files_upload_zero_length = 0;
  live.files_downloaded = live.files_download_updated = live.files_download_matched = 0;
  live.files_download_error = 0;
}

void CNvxapi::WriteResult(const char* text) {
  if (block_ == nullptr) return;
  nvx::WriteResultText(*block_, TextArg(text));
}

void CNvxapi::PendAndCloseResult(const char* head, const char* details_header, const char* extra,
                                 const char* notes_header, const char* note1, const char* note2) {
  if (block_ == nullptr) return;
  nvx::PendAndClose(*block_, head, details_header, extra, notes_header, note1, note2);
}

const char* CNvxapi::GetLogFileName() {
  if (block_ == nullptr) return "";
  CopyToField(block_->returned.log_file_name, sizeof block_->returned.log_file_name,
              block_->log_file_name);
  return block_->returned.log_file_name;
}

bool CNvxapi::FolderNoShow() {
  return block_ != nullptr && block_->protocol.lists.mapped_folder != nullptr &&
         block_->protocol.lists.mapped_folder->no_show;
}

bool CNvxapi::FolderNoAccess() {
  return block_ != nullptr && block_->protocol.lists.mapped_folder != nullptr &&
         block_->protocol.lists.mapped_folder->no_access;
}

bool CNvxapi::FolderWriteAccess() {
  return block_ != nullptr && block_->protocol.lists.mapped_folder != nullptr &&
         block_->protocol.lists.mapped_folder->write_access;
}

const char* CNvxapi::FolderName() {
  if (block_ == nullptr || block_->protocol.lists.mapped_folder == nullptr) return nullptr;
  CopyToField(block_->returned.folder_name, sizeof block_->returned.folder_name,
              block_->protocol.lists.mapped_folder->name);
  return block_->returned.folder_name;
}

void CNvxapi::GetVersion(int32_t* major, int32_t* minor, int32_t* build) {
  if (major != nullptr) *major = block_ != nullptr ? block_->protocol.version.major : 0;
  if (minor != nullptr) *minor = block_ != nullptr ? block_->protocol.version.minor : 0;
  if (build != nullptr) *build = block_ != nullptr ? block_->protocol.version.build : 0;
}

const char* CNvxapi::GetVersionNote() {
  if (block_ == nullptr) return "";
  return block_->protocol.version.note.c_str();
}

TransferProgress* CNvxapi::GetTransferProgress() {
  if (block_ == nullptr) {
    static TransferProgress nothing_in_hand{};
    nothing_in_hand.file_name = "";
    return &nothing_in_hand;
  }
  nvx::platform::MutexLock lock(block_->state_lock);
  CopyToField(block_->returned.snapshot_file_name, sizeof block_->returned.snapshot_file_name,
              block_->reported.live_file_name);
  block_->returned.snapshot =
      nvx::ExportedProgress(block_->reported.live_progress, block_->returned.snapshot_file_name);
  return &block_->returned.snapshot;
}

bool CNvxapi::WaitTransferChange(int32_t milliseconds) {
  if (block_ == nullptr) return false;
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(std::max(milliseconds, 0));
  // Takes a change not yet seen.
  const auto take_change = [&]() REQUIRES(block_->state_lock) {
    if (block_->reported.changes == block_->returned.changes_seen) return false;
    block_->returned.changes_seen = block_->reported.changes;
    return true;
  };
  {
    nvx::platform::MutexLock lock(block_->state_lock);
    if (take_change()) return true;
  }
  // A worker whose changes follow each other within microseconds is waited for without a
  // sleep: the count of changes is looked at without the lock first.
  nvx::platform::AdaptiveSpin& spin = block_->returned.change_wait_spin;
  const auto look_end = std::min(deadline, start + spin.NextLook());
  const uint64_t seen = block_->returned.changes_seen;  // the caller's thread alone
  const bool taken = nvx::platform::LookUntil(look_end, [&] {
    if (block_->changes_hint.load(std::memory_order_acquire) == seen) return false;
    nvx::platform::MutexLock lock(block_->state_lock);
    return take_change();
  });
  spin.Ended(taken);
  if (taken) return true;
  nvx::platform::MutexLock lock(block_->state_lock);
  while (!take_change()) {
    if (!block_->progress_cv.WaitUntil(block_->state_lock, deadline)) return false;
  }
  return true;
}
