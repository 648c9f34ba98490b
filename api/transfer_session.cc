#include "api/transfer_session.h"

#include "protocol/service_link.h"

namespace nvx {

TransferSession::TransferSession(SharedBlock& block)
    : block_(block),
      transfer_buffer_(kTransferBufferSize),
      link_(std::make_unique<ServiceLink>(*this)) {}

TransferSession::~TransferSession() {
  CloseConnection();
}

bool TransferSession::StopRequested() const {
  return block_.stop_requested.load(std::memory_order_acquire);
}

void TransferSession::CloseConnection() {
  link_->CloseConnection();
}

}  // namespace nvx
