#include "api/activity_log.h"

#include <cstdarg>

#include "api/results_report.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/mutex.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

bool Enabled(const SharedBlock& block, int32_t bits) {
  return (block.log_level.load(std::memory_order_relaxed) & bits) != 0;
}

// Writes one line of the log. A line that cannot be written has no one to tell: the log is
// where failures are told.
void WriteLogLine(platform::File& log, std::string_view text) {
  (void)log.Write(text);
}

}  // namespace

platform::File OpenActivityLog(const std::string& directory, std::string* full_name) {
  platform::LocalTime now = platform::GetClock().LocalNow();
  std::string name = platform::JoinDirectory(
      directory, StrFormat("%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d.log", now.year, now.month, now.day,
                           now.hour, now.minute, now.second));
  platform::File log = platform::File::Open(name, platform::File::Access::kCreateTruncate);
  if (log.is_open()) {
    WriteLogLine(log, StrFormat("Log File Open %d/%d/%d %d:%d:%d\n", now.month, now.day, now.year,
                                now.hour, now.minute, now.second));
  }
  *full_name = FitToWidth(name, kLogFileNameWidth);
  return log;
}

void CloseActivityLog(platform::File& log) {
  if (!log.is_open()) return;
  platform::LocalTime now = platform::GetClock().LocalNow();
  WriteLogLine(log, StrFormat("Log File Close %d/%d/%d %d:%d:%d\n", now.month, now.day, now.year,
                              now.hour, now.minute, now.second));
  log.Close();
}

void ReopenActivityLog(SharedBlock& block, int32_t level) {
  if ((level & kLogDebug) != 0) level |= kLogActivity | kLogErrorOnly | kLogScript;
  block.log_level.store(level, std::memory_order_relaxed);
  nvx::platform::MutexLock lock(block.trace_lock);
  CloseActivityLog(block.logs.activity_log);
  // Without a log directory there is no log and no results report.
  if (block.log_directory.empty()) return;
  block.logs.activity_log = OpenActivityLog(block.log_directory, &block.log_file_name);
  if (!block.logs.results_file.is_open()) OpenPendingResults(block);
}

void LogText(SharedBlock& block, int32_t bits, std::string_view text) {
  if (!Enabled(block, bits)) return;
  nvx::platform::MutexLock lock(block.trace_lock);
  // Each write goes straight to the file: nothing is held back between lines.
  if (block.logs.activity_log.is_open()) WriteLogLine(block.logs.activity_log, text);
}

void LogLine(SharedBlock& block, int32_t bits, const char* format, ...) {
  if (!Enabled(block, bits)) return;
  va_list args;
  va_start(args, format);
  std::string line = StrFormatV(format, args);
  va_end(args);
  LogText(block, bits, line);
}

void DumpTransferStats(SharedBlock& block) {
  if (!Enabled(block, kLogScript)) return;
  ProgressRecord counters;
  {
    nvx::platform::MutexLock lock(block.state_lock);
    counters = block.reported.live_progress;
  }
  LogText(block, kLogScript,
          "Transfer Stats:\n" +
              StrFormat("  Upload: Upload %d Update %d Match %d Zero Length %d Error %d\n",
                        counters.files_uploaded, counters.files_upload_updated,
                        counters.files_upload_matched, counters.files_upload_zero_length,
                        counters.files_upload_error) +
              StrFormat("  Download: Download %d Update %d Match %d Error %d\n",
                        counters.files_downloaded, counters.files_download_updated,
                        counters.files_download_matched, counters.files_download_error));
}

}  // namespace nvx
