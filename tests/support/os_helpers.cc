#include "tests/support/os_helpers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace nvx::test {
namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + " failed, errno " + std::to_string(errno));
}

int ExitCodeOf(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

void MakeFolder(const std::string& path) {
  Check(::mkdir(path.c_str(), 0755) == 0, "mkdir");
}

void SetPermissions(const std::string& path, uint32_t mode) {
  Check(::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0, "chmod");
}

uint32_t PermissionsOf(const std::string& path) {
  struct stat info {};
  Check(::stat(path.c_str(), &info) == 0, "stat");
  return static_cast<uint32_t>(info.st_mode & 07777);
}

bool IsSuperuser() {
  return ::geteuid() == 0;
}

int CurrentNiceValue() {
  return ::getpriority(PRIO_PROCESS, 0);
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void MakeFifo(const std::string& path) {
  Check(::mkfifo(path.c_str(), 0644) == 0, "mkfifo");
}

std::optional<std::string> ReadFifo(const std::string& path, std::chrono::milliseconds bound) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  Check(fd >= 0, "open fifo");
  auto deadline = std::chrono::steady_clock::now() + bound;
  std::string text;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      // A writer came and went: the end of what it wrote.
      ::close(fd);
      return text;
    } else if (errno != EAGAIN && errno != EINTR) {
      break;
    }
  }
  ::close(fd);
  return std::nullopt;
}

int RunInChild(const std::function<int()>& body, bool output_to_pipe) {
  int out[2] = {-1, -1};
  if (output_to_pipe) Check(::pipe(out) == 0, "pipe");
  pid_t child = ::fork();
  Check(child >= 0, "fork");
  if (child == 0) {
    if (output_to_pipe) ::dup2(out[1], STDOUT_FILENO);
    ::_exit(body());
  }
  if (output_to_pipe) {
    ::close(out[1]);
    ::close(out[0]);
  }
  int status = 0;
  Check(::waitpid(child, &status, 0) == child, "waitpid");
  return ExitCodeOf(status);
}

ChildHolding::ChildHolding(const std::function<bool()>& take) {
  int ready[2];
  Check(::pipe(ready) == 0, "pipe");
  pid_ = ::fork();
  Check(pid_ >= 0, "fork");
  if (pid_ == 0) {
    ::close(ready[0]);
    char byte = take() ? 'y' : 'n';
    if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  ssize_t got = ::read(ready[0], &byte, 1);
  ::close(ready[0]);
  took_ = got == 1 && byte == 'y';
}

ChildHolding::~ChildHolding() {
  Kill();
}

void ChildHolding::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace nvx::test
