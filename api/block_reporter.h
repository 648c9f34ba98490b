// The reporting interface, the progress sink and the pause after each file as the worker
// implements them over its shared block: texts and progress under the state lock, log
// lines and results notes under the trace lock, the pause on the block's events. Worker
// thread only.
#ifndef NVX_API_BLOCK_REPORTER_H_
#define NVX_API_BLOCK_REPORTER_H_

#include "api/shared_block.h"
#include "engines/engine_context.h"
#include "protocol/progress_sink.h"
#include "protocol/reporter.h"

namespace nvx {

class BlockReporter final : public Reporter {
 public:
  explicit BlockReporter(SharedBlock& block) : block_(block) {}

  void SetStatusMessage(std::string text) override;
  void SetConclusion(std::string text) override;
  void SetLastHttpResponse(std::string text) override;
  void SetErrorCode(int32_t code) override;
  void LogText(int32_t bits, std::string_view text) override;
  [[nodiscard]] bool Logs(int32_t bits) const override;
  void WriteResultText(std::string_view text) override;
  void AddFileNote(std::string_view path, int kind, bool report_missing, int system_error) override;
  void AddFileErrorNote(std::string_view path, int error_code) override;

 private:
  SharedBlock& block_;
};

class BlockProgress final : public ProgressSink {
 public:
  explicit BlockProgress(SharedBlock& block) : block_(block) {}

  void ResetRecord() override;
  void RestartSequence() override;
  void StartFile(std::string_view path, int32_t phase) override;
  void SetFileName(std::string_view path) override;
  void SetPhase(int32_t phase) override;
  void Count(FileCount count, int32_t change) override;
  void BeginFile(int64_t local_size, int32_t total_blocks) override;
  void ClearBlocks() override;
  void SetBlock(int32_t block) override;
  void AdvanceBlock() override;
  void ShowBlocks(int32_t block, int32_t total_blocks) override;
  void SetReplacementCount(int32_t count) override;

 private:
  SharedBlock& block_;
};

// The pause after each file (SyncFileAccess): with the caller's flag on, the engines stop
// after every file until the caller, having seen the progress snapshot, calls
// SyncFileAccessNext; waiting is 1 in the progress record exactly while the worker
// waits. False when the worker is asked to stop (the engine then ends the command).
[[nodiscard]] bool PauseAfterFile(SharedBlock& block);

}  // namespace nvx

#endif  // NVX_API_BLOCK_REPORTER_H_
