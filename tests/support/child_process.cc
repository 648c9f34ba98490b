#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace nvx::test {
namespace {

constexpr int kRunLimitMillis = 60000;
constexpr int kStartLimitMillis = 20000;
constexpr int kStopGraceMillis = 20000;

int64_t NowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Waits for `pid` at most `limit_millis`; -1 when it still runs.
int WaitFor(pid_t pid, int limit_millis) {
  int64_t deadline = NowMillis() + limit_millis;
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return ExitCodeOf(status);
    if (done < 0 && errno != EINTR) return -1;
    if (NowMillis() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int EndProcess(pid_t pid, int signal_number = SIGTERM) {
  ::kill(pid, signal_number);
  int code = WaitFor(pid, kStopGraceMillis);
  if (code >= 0) return code;
  ::kill(pid, SIGKILL);
  return WaitFor(pid, kStopGraceMillis);
}

std::vector<char*> ArgumentVector(const std::string& program,
                                  const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Reads both pipes until both end or the time is up.
void Drain(int out_fd, int err_fd, std::string* out, std::string* err, int64_t deadline) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open_count = 2;
  while (open_count > 0 && NowMillis() < deadline) {
    if (::poll(fds, 2, 100) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  ProgramResult result;
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  std::vector<char*> argv = ArgumentVector(program, arguments);
  pid_t pid = -1;
  int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (spawned == 0) {
    int64_t deadline = NowMillis() + kRunLimitMillis;
    Drain(out_pipe[0], err_pipe[0], &result.out, &result.err, deadline);
    result.exit_code = WaitFor(pid, static_cast<int>(std::max<int64_t>(0, deadline - NowMillis())));
    if (result.exit_code < 0) result.exit_code = EndProcess(pid);
  }
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  return result;
}

std::string NvxServerProgram() {
  return NVX_SERVER_PROGRAM;
}

ProgramResult RunNvxServer(const std::string& data_folder,
                           const std::vector<std::string>& arguments) {
  std::vector<std::string> all = {"--data", data_folder};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return RunProgram(NvxServerProgram(), all);
}

ServerProcess::ServerProcess(const std::string& data_folder, const std::string& log_file) {
  int out_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  std::string program = NvxServerProgram();
  std::vector<std::string> arguments = {"--data", data_folder, "--listen", "127.0.0.1:0"};
  std::vector<char*> argv = ArgumentVector(program, arguments);
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
  int64_t deadline = NowMillis() + kStartLimitMillis;
  while (line.find('\n') == std::string::npos && NowMillis() < deadline) {
    pollfd entry{out_pipe[0], POLLIN, 0};
    if (::poll(&entry, 1, 100) <= 0) continue;
    char buffer[64];
    ssize_t got = ::read(out_pipe[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  ::close(out_pipe[0]);
  port_ = 0;
  for (char c : line.substr(0, line.find('\n'))) {
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
  int code = EndProcess(pid_, signal_number);
  pid_ = -1;
  port_ = 0;
  return code;
}

}  // namespace nvx::test
