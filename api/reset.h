// The Reset command: returns the shared block to the state of a fresh job, keeping the
// run-wide settings (credentials, proxy, server, log, results type, space figures, times,
// work directory, path to verify, statistics text). Runs on the worker.
#ifndef NVX_API_RESET_H_
#define NVX_API_RESET_H_

#include "api/transfer_session.h"

namespace nvx {

[[nodiscard]] bool RoutineReset(TransferSession& session);

}  // namespace nvx

#endif  // NVX_API_RESET_H_
