// The worker's object: one per worker thread, built on the worker's stack when the thread
// starts and living as long as the thread. It reaches the shared block of its CNvxapi and
// holds what only the worker touches: the transfer buffer and the link state. Used by the
// worker thread only.
#ifndef NVX_API_TRANSFER_SESSION_H_
#define NVX_API_TRANSFER_SESSION_H_

#include <cstdint>
#include <vector>

#include "api/shared_block.h"

namespace nvx {

class TransferSession {
 public:
  explicit TransferSession(SharedBlock& block);
  ~TransferSession();
  TransferSession(const TransferSession&) = delete;
  TransferSession& operator=(const TransferSession&) = delete;

  SharedBlock& block() { return block_; }

  // The 10,240-byte buffer that file reads and digests work through.
  uint8_t* buffer() { return transfer_buffer_.data(); }
  size_t buffer_size() const { return transfer_buffer_.size(); }

  // True once the owner of the block wants the worker to stop (the CNvxapi is being
  // destroyed): long routines end early.
  bool StopRequested() const;

  // Closes the service connection, if one is open.
  void CloseConnection();

  bool communication_failure = false;
  bool sockets_unavailable = false;

 private:
  SharedBlock& block_;
  std::vector<uint8_t> transfer_buffer_;
};

}  // namespace nvx

#endif  // NVX_API_TRANSFER_SESSION_H_
