#include "tests/support/server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace nvx::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);
constexpr auto kStopGrace = std::chrono::seconds(20);

// Waits for `pid` at most `limit`; -1 when it still runs.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

std::string NvxServerProgram() {
  return NVX_SERVER_PROGRAM;
}

RunResult RunNvxServer(const std::string& data_folder, const std::vector<std::string>& arguments) {
  ChildProcess::Options options;
  options.args = {"--data", data_folder};
  options.args.insert(options.args.end(), arguments.begin(), arguments.end());
  return RunProgram(NvxServerProgram(), options);
}

ServerProcess::ServerProcess(const std::string& data_folder, const std::string& log_file,
                             const std::vector<std::string>& options) {
  int out_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  std::string program = NvxServerProgram();
  std::vector<std::string> arguments = {program, "--data", data_folder, "--listen", "127.0.0.1:0"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  if (spawned != 0) {
    pid_ = -1;
    ::close(out_pipe[0]);
    return;
  }
  // The first line of standard output is the port.
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{out_pipe[0], POLLIN, 0};
    if (::poll(&entry, 1, 100) <= 0) continue;
    char buffer[64];
    ssize_t got = ::read(out_pipe[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  ::close(out_pipe[0]);
  line = line.substr(0, line.find('\n'));
  port_ = 0;
  for (char c : line) {
    if (c < '0' || c > '9') {
      port_ = 0;
      break;
    }
    port_ = port_ * 10 + (c - '0');
  }
}

ServerProcess::~ServerProcess() {
  Stop();
}

int ServerProcess::Stop(int signal_number) {
  if (pid_ < 0) return -1;
  ::kill(pid_, signal_number);
  int code = WaitFor(pid_, kStopGrace);
  if (code < 0) {
    ::kill(pid_, SIGKILL);
    code = WaitFor(pid_, kStopGrace);
  }
  pid_ = -1;
  port_ = 0;
  return code;
}

}  // namespace nvx::test
