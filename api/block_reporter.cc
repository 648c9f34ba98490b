#include "api/block_reporter.h"

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

void BlockReporter::WriteResultText(std::string_view text) {
  nvx::WriteResultText(block_, text);
}

void BlockReporter::AddFileNote(std::string_view path, int kind, bool report_missing,
                                int system_error) {
  nvx::AddFileNote(block_, path, kind, report_missing, system_error);
}

void BlockProgress::BeginFile(int64_t local_size, int32_t total_blocks) {
  platform::MutexLock lock(block_.state_lock);
  block_.engine.local_size = local_size;
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

void BlockProgress::SetReplacementCount(int32_t count) {
  platform::MutexLock lock(block_.state_lock);
  block_.reported.live_progress.replacement_count = count;
}

bool BlockFilePause::PauseAfterFile() {
  const auto stop_requested = [this] {
    return block_.control.stop_requested.load(std::memory_order_acquire);
  };
  if (block_.job.pause_after_each_file && !stop_requested()) {
    {
      platform::MutexLock lock(block_.state_lock);
      block_.reported.live_progress.waiting = 1;
    }
    // The owner signals this event after asking the worker to stop.
    block_.control.next_event.Wait();
    {
      platform::MutexLock lock(block_.state_lock);
      block_.reported.live_progress.waiting = 0;
    }
  }
  return !stop_requested();
}

}  // namespace nvx
