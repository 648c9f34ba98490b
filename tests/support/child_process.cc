#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace nvx::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::map<std::string, std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text(*entry);
    entries[text.substr(0, text.find('='))] = text;
  }
  for (const std::string& text : extra) entries[text.substr(0, text.find('='))] = text;
  std::vector<std::string> merged;
  for (auto& [name, text] : entries) merged.push_back(text);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const Options& options) {
  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), options.args.begin(), options.args.end());
  std::vector<std::string> env_texts = MergedEnvironment(options.env);
  std::vector<char*> argv = Pointers(argv_texts);
  std::vector<char*> envp = Pointers(env_texts);

  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    if (!options.working_directory.empty() && ::chdir(options.working_directory.c_str()) != 0) {
      ::_exit(126);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
  if (pid_ < 0) {
    ::close(out_fd_);
    ::close(err_fd_);
    throw std::runtime_error("fork failed");
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exit_code_) {
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
}

void ChildProcess::Pump(std::chrono::milliseconds bound) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (out_fd_ < 0 && err_fd_ < 0) {
    ::poll(nullptr, 0, static_cast<int>(bound.count()));
    return;
  }
  if (::poll(fds, 2, static_cast<int>(bound.count())) <= 0) return;
  std::pair<int*, std::string*> streams[2] = {{&out_fd_, &out_}, {&err_fd_, &err_}};
  for (int i = 0; i < 2; ++i) {
    if (*streams[i].first < 0 || fds[i].revents == 0) continue;
    char buffer[4096];
    ssize_t got = ::read(*streams[i].first, buffer, sizeof buffer);
    if (got > 0) {
      streams[i].second->append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ::close(*streams[i].first);
      *streams[i].first = -1;
    }
  }
}

bool ChildProcess::Reap(bool block) {
  if (exit_code_) return true;
  int status = 0;
  pid_t done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  if (done != pid_) return false;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

bool ChildProcess::WaitForOutput(std::string_view text, std::chrono::milliseconds bound) {
  auto deadline = Clock::now() + bound;
  while (out_.find(text) == std::string::npos) {
    if (Clock::now() >= deadline || (out_fd_ < 0 && err_fd_ < 0)) return false;
    Pump(std::chrono::milliseconds(20));
  }
  return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds bound) {
  auto deadline = Clock::now() + bound;
  // The pipes are drained while waiting, so a talkative program never blocks on them.
  while (out_fd_ >= 0 || err_fd_ >= 0) {
    if (Clock::now() >= deadline) return std::nullopt;
    Pump(std::chrono::milliseconds(20));
  }
  while (!Reap(false)) {
    if (Clock::now() >= deadline) return std::nullopt;
    ::poll(nullptr, 0, 5);
  }
  return exit_code_;
}

bool ChildProcess::Running() {
  return !Reap(false);
}

RunResult RunProgram(const std::string& program, const ChildProcess::Options& options,
                     std::chrono::milliseconds bound) {
  ChildProcess child(program, options);
  RunResult result;
  result.exit_code = child.Wait(bound);
  result.out = child.out();
  result.err = child.err();
  return result;
}

}  // namespace nvx::test
