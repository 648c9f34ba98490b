// The service stand-in nvxserver in tests: one administration command run to its end,
// or a server on a fresh loopback port serving a data folder for the life of an object.
// The server's request log goes to a file (a pipe that nobody reads would fill up and
// stall a busy server). Whatever a test starts ends with it: the destructor stops a
// server that still runs (SIGTERM, then SIGKILL after a grace time).
#ifndef NVX_TESTS_SUPPORT_SERVER_PROCESS_H_
#define NVX_TESTS_SUPPORT_SERVER_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

namespace nvx::test {

// The nvxserver program of this build.
std::string NvxServerProgram();

// Runs `nvxserver --data DATA ARGUMENTS...` to its end.
RunResult RunNvxServer(const std::string& data_folder, const std::vector<std::string>& arguments);

// The blobs of the embedded store in `data_folder` whose bytes it keeps itself (small
// documents), read beside a server that may be running: their names and sizes.
std::vector<std::pair<std::string, size_t>> InlineBlobs(const std::string& data_folder);
// Stored blobs: the files of the blob folder (signatures too) and the inline blobs.
size_t StoredBlobCount(const std::string& data_folder);
// Inverts the byte at `offset` of the inline blob `name`.
void SpoilInlineBlob(const std::string& data_folder, const std::string& name, size_t offset);

class ServerProcess {
 public:
  // Starts `nvxserver --data DATA --listen 127.0.0.1:0 OPTIONS...` and reads the port it
  // prints (then the plain listener's beside TLS when OPTIONS hold a second --listen, and
  // the metrics listener's when they hold --metrics); its standard error goes to
  // `log_file`. port() is 0 when it did not start.
  ServerProcess(const std::string& data_folder, const std::string& log_file,
                const std::vector<std::string>& options = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  int plain_port() const { return plain_port_; }
  int metrics_port() const { return metrics_port_; }
  // Sends `signal_number` to the running server.
  void Signal(int signal_number);
  // Sends `signal_number` (SIGTERM unless given) and waits for the end: the exit code,
  // 128 + the signal number when a signal ended it. A server that does not end in time
  // is killed.
  int Stop(int signal_number = 15);

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int plain_port_ = 0;
  int metrics_port_ = 0;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_SERVER_PROCESS_H_
