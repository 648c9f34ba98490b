#include "api/transfer_session.h"

namespace nvx {

TransferSession::TransferSession(SharedBlock& block)
    : block_(block), transfer_buffer_(kTransferBufferSize) {}

TransferSession::~TransferSession() { CloseConnection(); }

bool TransferSession::StopRequested() const {
  return block_.stop_requested.load(std::memory_order_acquire);
}

void TransferSession::CloseConnection() {}

}  // namespace nvx
