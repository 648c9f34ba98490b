// Where the protocol and the engines report transfer progress: the file in hand, the
// block count of its transfer and the replacement count. The layer above implements it
// over the progress record the caller reads, taking its lock inside. Worker thread.
#ifndef NVX_PROTOCOL_PROGRESS_SINK_H_
#define NVX_PROTOCOL_PROGRESS_SINK_H_

#include <cstdint>

namespace nvx {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // A new transfer of `local_size` bytes in `total_blocks` blocks; the block count
  // starts at 0.
  virtual void BeginFile(int64_t local_size, int32_t total_blocks) = 0;
  // No transfer in hand: block count and total back to 0.
  virtual void ClearBlocks() = 0;
  // One more block done.
  virtual void AdvanceBlock() = 0;
  // The count of files replaced so far.
  virtual void SetReplacementCount(int32_t count) = 0;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_PROGRESS_SINK_H_
