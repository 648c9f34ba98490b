#include "api/transfer_session.h"

namespace nvx {

SessionParts::SessionParts(SharedBlock& shared)
    : shared_block(shared),
      owned_reporter(shared),
      owned_progress(shared),
      owned_buffer(kTransferBufferSize),
      owned_link(shared.job.link, owned_reporter, shared.control.stop_requested) {}

TransferSession::TransferSession(SharedBlock& shared)
    : SessionParts(shared),
      EngineContext(shared.job, shared.protocol.account, owned_reporter, owned_progress, owned_link,
                    shared.control.stop_requested, owned_buffer,
                    [&shared] { return nvx::PauseAfterFile(shared); }) {}

TransferSession::~TransferSession() {
  CloseConnection();
}

}  // namespace nvx
