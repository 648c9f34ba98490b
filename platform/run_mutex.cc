#include "platform/run_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/clock.h"

namespace nvx::platform {
namespace {

// A name may hold any character but "/", which would make it a path.
std::string LockFileName(std::string_view name) {
  std::string file(name);
  for (char& c : file) {
    if (c == '/') c = '_';
  }
  return file + ".lock";
}

// Opens an existing lock file first: in a shared sticky folder such as /tmp, the kernel
// may refuse O_CREAT on a file that another user created.
int OpenLockFile(const std::string& path, int* error) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno != ENOENT) break;
    fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST && errno != EINTR) break;
  }
  *error = errno;
  return -1;
}

}  // namespace

std::string DefaultRunMutexFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] != '\0') return runtime;
  return "/tmp";
}

RunMutex::~RunMutex() {
  Close();
}

RunMutex::RunMutex(RunMutex&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      held_(std::exchange(other.held_, false)),
      error_(std::exchange(other.error_, 0)),
      path_(std::move(other.path_)) {}

RunMutex& RunMutex::operator=(RunMutex&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    held_ = std::exchange(other.held_, false);
    error_ = std::exchange(other.error_, 0);
    path_ = std::move(other.path_);
  }
  return *this;
}

RunMutex RunMutex::Open(std::string_view name, const std::string& folder) {
  RunMutex mutex;
  mutex.path_ = folder;
  if (mutex.path_.empty() || mutex.path_.back() != '/') mutex.path_ += '/';
  mutex.path_ += LockFileName(name);
  mutex.fd_ = OpenLockFile(mutex.path_, &mutex.error_);
  return mutex;
}

bool RunMutex::TryAcquire() {
  if (fd_ < 0) return false;
  if (held_) return true;
  for (;;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      held_ = true;
      return true;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) error_ = errno;
    return false;
  }
}

RunMutex::WaitResult RunMutex::Acquire(int64_t limit_millis, int64_t poll_millis) {
  Clock& clock = GetClock();
  const int64_t start = clock.MonotonicMillis();
  error_ = 0;
  for (;;) {
    if (TryAcquire()) return WaitResult::kAcquired;
    if (fd_ < 0 || error_ != 0) return WaitResult::kFailed;
    if (clock.MonotonicMillis() - start >= limit_millis) return WaitResult::kTimedOut;
    clock.SleepMillis(poll_millis);
  }
}

void RunMutex::Release() {
  if (fd_ < 0 || !held_) return;
  ::flock(fd_, LOCK_UN);
  held_ = false;
}

void RunMutex::Close() {
  if (fd_ < 0) return;
  Release();
  ::close(fd_);
  fd_ = -1;
}

}  // namespace nvx::platform
