// Where the protocol and the engines report transfer progress: the file in hand, its
// phase, the block count of its transfer and the job's file counts. The layer above
// implements it over the progress record the caller reads, taking its lock inside, so
// that each call is seen whole by a caller's snapshot. Worker thread.
#ifndef NVX_PROTOCOL_PROGRESS_SINK_H_
#define NVX_PROTOCOL_PROGRESS_SINK_H_

#include <cstdint>
#include <string_view>

#include "protocol/caller_codes.h"

namespace nvx {

// The job's file counts in the progress record.
enum class FileCount {
  kUploaded,
  kUploadUpdated,
  kUploadMatched,
  kUploadError,
  kUploadZeroLength,
  kUploadedUncompressed,
  kDownloaded,
  kDownloadUpdated,
  kDownloadMatched,
  kDownloadError,
  kNotFound,
  kReplacement,
};

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // The whole record back to zero: a transfer command starts.
  virtual void ResetRecord() = 0;
  // A folder pass starts: the sequence goes back to 0.
  virtual void RestartSequence() = 0;
  // The next file: sequence + 1, total blocks and block 0, `path` shown as the file in
  // hand and `phase` as its phase, all in one step.
  virtual void StartFile(std::string_view path, int32_t phase) = 0;
  // The file in hand as shown; empty between files.
  virtual void SetFileName(std::string_view path) = 0;
  virtual void SetPhase(int32_t phase) = 0;
  // Adds `change` (may be negative) to one of the file counts.
  virtual void Count(FileCount count, int32_t change = 1) = 0;

  // A new transfer of `local_size` bytes in `total_blocks` blocks; the block count
  // starts at 0.
  virtual void BeginFile(int64_t local_size, int32_t total_blocks) = 0;
  // No transfer in hand: block count and total back to 0.
  virtual void ClearBlocks() = 0;
  // The block count set, for a transfer that resumes or starts again.
  virtual void SetBlock(int32_t block) = 0;
  // One more block done.
  virtual void AdvanceBlock() = 0;
  // The block count and total of a file that travels elsewhere (on a lane), shown as it
  // goes; no transfer begins here.
  virtual void ShowBlocks(int32_t /*block*/, int32_t /*total_blocks*/) {}
  // The count of files replaced so far.
  virtual void SetReplacementCount(int32_t count) = 0;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_PROGRESS_SINK_H_
