#include "api/shared_block.h"

#include <utility>

#include "protocol/folder_tree.h"
#include "protocol/server_file_list.h"

namespace nvx {

SharedBlock::SharedBlock() = default;
SharedBlock::~SharedBlock() = default;

void AnnounceChange(SharedBlock& block) {
  ++block.reported.changes;
  block.changes_hint.store(block.reported.changes, std::memory_order_release);
  block.progress_cv.NotifyAll();
}

void SetStatusMessage(SharedBlock& block, std::string text) {
  nvx::platform::MutexLock lock(block.state_lock);
  block.reported.status_message = std::move(text);
}

void SetConclusion(SharedBlock& block, std::string text) {
  nvx::platform::MutexLock lock(block.state_lock);
  block.reported.conclusion = std::move(text);
}

void SetLastHttpResponse(SharedBlock& block, std::string text) {
  nvx::platform::MutexLock lock(block.state_lock);
  block.reported.last_http_response = std::move(text);
}

std::string StatusMessageOf(SharedBlock& block) {
  nvx::platform::MutexLock lock(block.state_lock);
  return block.reported.status_message;
}

std::string ConclusionOf(SharedBlock& block) {
  nvx::platform::MutexLock lock(block.state_lock);
  return block.reported.conclusion;
}

TransferProgress ExportedProgress(const ProgressRecord& record, const char* file_name) {
  TransferProgress exported{};
  exported.sequence = record.sequence;
  exported.total_blocks = record.total_blocks;
  exported.block = record.block;
  exported.file_name = file_name;
  exported.waiting = record.waiting;
  exported.phase = record.phase;
  exported.files_uploaded = record.files_uploaded;
  exported.files_upload_updated = record.files_upload_updated;
  exported.files_upload_matched = record.files_upload_matched;
  exported.files_upload_error = record.files_upload_error;
  exported.files_upload_zero_length = record.files_upload_zero_length;
  exported.files_uploaded_uncompressed = record.files_uploaded_uncompressed;
  exported.files_downloaded = record.files_downloaded;
  exported.files_download_updated = record.files_download_updated;
  exported.files_download_matched = record.files_download_matched;
  exported.files_download_error = record.files_download_error;
  exported.replacement_count = record.replacement_count;
  exported.files_not_found = record.files_not_found;
  return exported;
}

}  // namespace nvx
