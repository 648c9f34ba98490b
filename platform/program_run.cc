#include "platform/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace nvx::platform {
namespace {

// Both ends of a pipe, closed when the object goes.
struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) == 0) {
      read_end = ends[0];
      write_end = ends[1];
    }
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool ok() const { return read_end >= 0; }
  void CloseRead() {
    if (read_end >= 0) ::close(read_end);
    read_end = -1;
  }
  void CloseWrite() {
    if (write_end >= 0) ::close(write_end);
    write_end = -1;
  }
};

// Reads both pipes until each reaches its end.
void Collect(Pipe& out_pipe, Pipe& err_pipe, size_t max_output, ProgramResult* result) {
  Pipe* pipes[2] = {&out_pipe, &err_pipe};
  std::string* texts[2] = {&result->out, &result->err};
  while (out_pipe.read_end >= 0 || err_pipe.read_end >= 0) {
    pollfd fds[2];
    for (int i = 0; i < 2; ++i) fds[i] = {pipes[i]->read_end, POLLIN, 0};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) {
        pipes[i]->CloseRead();
        continue;
      }
      const size_t room = max_output - std::min(max_output, texts[i]->size());
      texts[i]->append(buffer, std::min(room, static_cast<size_t>(count)));
    }
  }
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& arguments, size_t max_output) {
  ProgramResult result;
  if (arguments.empty()) {
    result.start_error = EINVAL;
    return result;
  }
  Pipe out_pipe;
  Pipe err_pipe;
  if (!out_pipe.ok() || !err_pipe.ok()) {
    result.start_error = errno;
    return result;
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out_pipe.write_end, STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, err_pipe.write_end, STDERR_FILENO);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  out_pipe.CloseWrite();
  err_pipe.CloseWrite();
  if (spawned != 0) {
    result.start_error = spawned;
    return result;
  }
  result.started = true;
  Collect(out_pipe, err_pipe, max_output, &result);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.exit_code = 128 + WTERMSIG(status);
  return result;
}

}  // namespace nvx::platform
