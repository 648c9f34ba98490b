// The worker thread of a CNvxapi: waits for a posted command, runs its routine on the
// thread's TransferSession, stores status 2 or 3, signals the sync event for the
// synchronous commands, closes the connection, and waits again. One command at a time.
#ifndef NVX_API_WORKER_H_
#define NVX_API_WORKER_H_

#include <array>

#include "api/shared_block.h"

namespace nvx {

// The routine of every command code; codes whose routine is not part of the library
// have one that fails.
std::array<Routine, kLastCommandCode + 1> DefaultRoutines();

// Starts the worker of `block`; false when the thread could not be started.
bool StartWorker(SharedBlock& block);

// Asks the worker to stop and waits a bounded time for it. When it has ended, the block
// is freed here; otherwise the worker frees it when it ends.
void StopWorkerAndFree(SharedBlock* block);

}  // namespace nvx

#endif  // NVX_API_WORKER_H_
