// The worker's object: one per worker thread, built on the worker's stack when the thread
// starts and living as long as the thread. It owns what only the worker touches (the
// transfer buffer, the link to the service, the reporting interface over the shared
// block) and is the context that routines, service commands and engines run on. Worker
// thread only.
#ifndef NVX_API_TRANSFER_SESSION_H_
#define NVX_API_TRANSFER_SESSION_H_

#include <cstdint>
#include <vector>

#include "api/block_reporter.h"
#include "api/shared_block.h"
#include "engines/engine_context.h"
#include "protocol/service_link.h"

namespace nvx {

// The parts a session owns; a base of TransferSession so that they are built before the
// context that refers to them.
struct SessionParts {
  explicit SessionParts(SharedBlock& block);

  SharedBlock& shared_block;
  BlockReporter owned_reporter;
  BlockProgress owned_progress;
  std::vector<uint8_t> owned_buffer;
  ServiceLink owned_link;
};

class TransferSession : private SessionParts, public EngineContext {
 public:
  explicit TransferSession(SharedBlock& block);
  ~TransferSession();

  SharedBlock& block() { return shared_block; }

  // Closes the service connection, if one is open.
  void CloseConnection() { link().CloseConnection(); }
};

}  // namespace nvx

#endif  // NVX_API_TRANSFER_SESSION_H_
