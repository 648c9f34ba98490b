// Programs started by tests: a run of a program to its end with its output captured, and
// the service stand-in nvxserver serving a data folder on a free loopback port for the
// life of an object. Whatever a test starts ends with it: the destructor stops a server
// that still runs (SIGTERM, then SIGKILL after a grace time). Every wait is bounded.
#ifndef NVX_TESTS_SUPPORT_CHILD_PROCESS_H_
#define NVX_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>
#include <string>
#include <vector>

namespace nvx::test {

struct ProgramResult {
  int exit_code = -1;  // 128 + the signal number when a signal ended the program
  std::string out;
  std::string err;
};

// Runs `program` with `arguments` to its end (at most 60 seconds, then it is killed).
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// The nvxserver program of this build.
std::string NvxServerProgram();

// Runs `nvxserver --data DATA ARGUMENTS...`.
ProgramResult RunNvxServer(const std::string& data_folder,
                           const std::vector<std::string>& arguments);

class ServerProcess {
 public:
  // Starts `nvxserver --data DATA --listen 127.0.0.1:0`; its request log (standard error)
  // goes to `log_file`. port() is 0 when it did not start.
  ServerProcess(const std::string& data_folder, const std::string& log_file);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  // Sends `signal_number` (SIGTERM unless given) and waits for the end; the exit code as
  // in ProgramResult. A server that does not end in time is killed.
  int Stop(int signal_number = 15);

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_CHILD_PROCESS_H_
