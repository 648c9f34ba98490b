#include "api/block_reporter.h"

#include <chrono>
#include <utility>

#include "api/activity_log.h"
#include "api/results_report.h"

namespace nvx {

void BlockReporter::SetStatusMessage(std::string text) {
  nvx::SetStatusMessage(block_, std::move(text));
}

void BlockReporter::SetConclusion(std::string text) {
  nvx::SetConclusion(block_, std::move(text));
}

void BlockReporter::SetLastHttpResponse(std::string text) {
  nvx::SetLastHttpResponse(block_, std::move(text));
}

void BlockReporter::SetErrorCode(int32_t code) {
  block_.control.error_code.store(code);
}

void BlockReporter::LogText(int32_t bits, std::string_view text) {
  nvx::LogText(block_, bits, text);
}

bool BlockReporter::Logs(int32_t bits) const {
  return (block_.log_level.load(std::memory_order_relaxed) & bits) != 0;
}

void BlockReporter::WriteResultText(std::string_view text) {
  nvx::WriteResultText(block_, text);
}

void BlockReporter::AddFileNote(std::string_view path, int kind, bool report_missing,
                                int system_error) {
  nvx::AddFileNote(block_, path, kind, report_missing, system_error);
}

void BlockReporter::AddFileErrorNote(std::string_view path, int error_code) {
  nvx::AddFileErrorNote(block_, path, error_code);
}

namespace {

int32_t& CountField(ProgressRecord& progress, FileCount count) {
  switch (count) {
    case FileCount::kUploaded:
      return progress.files_uploaded;
    case FileCount::kUploadUpdated:
      return progress.files_upload_updated;
    case FileCount::kUploadMatched:
      return progress.files_upload_matched;
    case FileCount::kUploadError:
      return progress.files_upload_error;
    case FileCount::kUploadZeroLength:
      return progress.files_upload_zero_length;
    case FileCount::kUploadedUncompressed:
      return progress.files_uploaded_uncompressed;
    case FileCount::kDownloaded:
      return progress.files_downloaded;
    case FileCount::kDownloadUpdated:
      return progress.files_download_updated;
    case FileCount::kDownloadMatched:
      return progress.files_download_matched;
    case FileCount::kDownloadError:
      return progress.files_download_error;
    case FileCount::kNotFound:
      return progress.files_not_found;
    case FileCount::kReplacement:
      break;
  }
  return progress.replacement_count;
}

}  // namespace

void BlockProgress::ResetRecord() {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress = ProgressRecord{};
  block_.reported.live_file_name.clear();
}

void BlockProgress::RestartSequence() {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.sequence = 0;
}

void BlockProgress::StartFile(std::string_view path, int32_t phase) {
  platform::MutexLock lock(block_.state_lock);
  ProgressRecord& live = block_.reported.live_progress;
  ++live.sequence;
  live.total_blocks = 0;
  live.block = 0;
  live.phase = phase;
  block_.reported.live_file_name.assign(path);
  AnnounceChange(block_);
}

void BlockProgress::SetFileName(std::string_view path) {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_file_name.assign(path);
}

void BlockProgress::SetPhase(int32_t phase) {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.phase = phase;
}

void BlockProgress::Count(FileCount count, int32_t change) {
  platform::MutexLock lock(block_.state_lock);
  CountField(block_.reported.live_progress, count) += change;
}

void BlockProgress::SetBlock(int32_t block) {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.block = block;
}

void BlockProgress::BeginFile(int64_t local_size, int32_t total_blocks) {
  platform::MutexLock lock(block_.state_lock);
  block_.transfer_size = local_size;
  block_.reported.live_progress.total_blocks = total_blocks;
  block_.reported.live_progress.block = 0;
}

void BlockProgress::ClearBlocks() {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.total_blocks = 0;
  block_.reported.live_progress.block = 0;
}

void BlockProgress::AdvanceBlock() {
  platform::MutexLock lock(block_.state_lock);
  ++block_.reported.live_progress.block;
}

void BlockProgress::ShowBlocks(int32_t block, int32_t total_blocks) {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.block = block;
  block_.reported.live_progress.total_blocks = total_blocks;
}

void BlockProgress::SetReplacementCount(int32_t count) {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.replacement_count = count;
}

bool PauseAfterFile(SharedBlock& block) {
  const auto stop_requested = [&block] {
    return block.control.stop_requested.load(std::memory_order_acquire);
  };
  if (block.job.pause_after_file && !stop_requested()) {
    {
      platform::MutexLock lock(block.state_lock);
      block.reported.live_progress.waiting = 1;
      AnnounceChange(block);
    }
    // The owner signals this event after asking the worker to stop. A caller that lets
    // pauses go within microseconds (files that pass quickly) is waited for without a sleep.
    platform::AdaptiveSpin& spin = block.control.pause_spin;
    spin.Ended(block.control.pause_after_file_event.Wait(spin.NextLook()));
    {
      platform::MutexLock lock(block.state_lock);
      block.reported.live_progress.waiting = 0;
    }
  }
  return !stop_requested();
}

}  // namespace nvx
