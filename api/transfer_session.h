// The worker's object: one per worker thread, built on the worker's stack when the thread
// starts and living as long as the thread. It reaches the shared block of its CNvxapi and
// holds what only the worker touches: the transfer buffer and the link to the service
// (server list, connection, link bits). Used by the worker thread only.
#ifndef NVX_API_TRANSFER_SESSION_H_
#define NVX_API_TRANSFER_SESSION_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "api/shared_block.h"

namespace nvx {

class ServiceLink;

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

  // The server list, the connection and the exchange primitives (protocol/service_link.h).
  ServiceLink& link() { return *link_; }

  // Closes the service connection, if one is open.
  void CloseConnection();

  // Set when an exchange broke off at the transport level; the service commands read it
  // to tell a communication failure from a refusal.
  bool communication_failure = false;
  bool sockets_unavailable = false;

 private:
  SharedBlock& block_;
  std::vector<uint8_t> transfer_buffer_;
  std::unique_ptr<ServiceLink> link_;
};

}  // namespace nvx

#endif  // NVX_API_TRANSFER_SESSION_H_
