// The pause after each file, for routines that run on the worker's session: with the
// caller's pause flag on, the engines stop after every file until the caller calls
// SyncFileAccessNext (api/block_reporter.h). Worker thread.
#ifndef NVX_API_FILE_ACCESS_PAUSE_H_
#define NVX_API_FILE_ACCESS_PAUSE_H_

#include "api/transfer_session.h"

namespace nvx {

// Pauses when the flag is on. Returns false when the worker is asked to stop (the engine
// then ends the command); true otherwise.
[[nodiscard]] inline bool WaitForFileAccess(TransferSession& session) {
  return session.PauseAfterFile();
}

}  // namespace nvx

#endif  // NVX_API_FILE_ACCESS_PAUSE_H_
