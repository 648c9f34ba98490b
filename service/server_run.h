// Serving: opens the data folder and its store, listens (over TLS with --tls-cert and
// --tls-key, a second --listen plain beside it), prints the port on the first line of
// standard output (then the plain listener's, then the metrics listener's with
// --metrics, a line each), starts the mail delivery (--smtp), serves until SIGINT or
// SIGTERM, then lets requests in flight finish. With TLS, SIGHUP reads the certificate
// and key again for the connections that follow. Runs on the program's main thread, which must not
// have started other threads.
#ifndef NVX_SERVICE_SERVER_RUN_H_
#define NVX_SERVICE_SERVER_RUN_H_

#include <string>

#include "service/command_line.h"

namespace nvx::service {

// Returns the exit code; failures are described in `err`.
int RunServer(const CommandLine& command, std::string* err);

}  // namespace nvx::service

#endif  // NVX_SERVICE_SERVER_RUN_H_
