#include "platform/socket_send_file.h"

#include <pthread.h>
#include <sys/sendfile.h>

#include <cerrno>
#include <ctime>

namespace nvx::platform {
namespace {

sigset_t BrokenPipeSet() {
  sigset_t broken_pipe;
  sigemptyset(&broken_pipe);
  sigaddset(&broken_pipe, SIGPIPE);
  return broken_pipe;
}

bool BrokenPipeWaiting() {
  sigset_t pending;
  return ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

BrokenPipeHold::BrokenPipeHold() {
  const int error = errno;
  const sigset_t broken_pipe = BrokenPipeSet();
  ::pthread_sigmask(SIG_BLOCK, &broken_pipe, &previous_);
  // A SIGPIPE that was waiting before (the caller holds the signal back itself) stays the
  // caller's: the call's own would merge into it.
  waiting_before_ = sigismember(&previous_, SIGPIPE) == 1 && BrokenPipeWaiting();
  errno = error;
}

BrokenPipeHold::~BrokenPipeHold() {
  const int error = errno;
  if (!waiting_before_ && BrokenPipeWaiting()) {
    const sigset_t broken_pipe = BrokenPipeSet();
    const timespec no_wait{};
    while (::sigtimedwait(&broken_pipe, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  errno = error;
}

int64_t SendFileWithoutSignal(int socket_fd, int file_fd, int64_t* offset, size_t count) {
  BrokenPipeHold hold;
  off_t position = static_cast<off_t>(*offset);
  const ssize_t sent = ::sendfile(socket_fd, file_fd, &position, count);
  if (sent >= 0) *offset = static_cast<int64_t>(position);
  return static_cast<int64_t>(sent);
}

}  // namespace nvx::platform
