// The pause after each file: with the caller's pause flag on, the transfer engines stop
// after every file until the caller, having seen the progress snapshot, calls
// SyncFileAccessNext. Worker thread.
#ifndef NVX_API_FILE_ACCESS_PAUSE_H_
#define NVX_API_FILE_ACCESS_PAUSE_H_

#include "api/transfer_session.h"

namespace nvx {

// Pauses when the flag is on: waiting is 1 in the progress record exactly while the
// worker waits. Returns false when the worker is asked to stop (the engine then ends the
// command); true otherwise.
bool WaitForFileAccess(TransferSession& session);

}  // namespace nvx

#endif  // NVX_API_FILE_ACCESS_PAUSE_H_
