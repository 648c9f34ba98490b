// The worker thread of a CNvxapi: waits for a posted command, runs the routine of its row
// in the block's command table on the thread's TransferSession, stores status 2 or 3,
// signals the sync event and closes the connection as the row says, and waits again.
// One command at a time. A code without a row ends with status 3.
#ifndef NVX_API_WORKER_H_
#define NVX_API_WORKER_H_

#include "api/shared_block.h"

namespace nvx {

// Starts the worker of `block`; false when the thread could not be started. The worker
// holds an owner reference of its own while it runs.
[[nodiscard]] bool StartWorker(SharedBlock& block);

// Asks the worker to stop, waits a bounded time for it and drops the callers' owner
// reference. A worker that has not ended by then is left to finish; whichever of the
// two lets go last frees the block.
void StopWorkerAndRelease(SharedBlock* block);

}  // namespace nvx

#endif  // NVX_API_WORKER_H_
