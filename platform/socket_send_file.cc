#include "platform/socket_send_file.h"

#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>

#include <cerrno>
#include <ctime>

namespace nvx::platform {

int64_t SendFileWithoutSignal(int socket_fd, int file_fd, int64_t* offset, size_t count) {
  sigset_t broken_pipe;
  sigemptyset(&broken_pipe);
  sigaddset(&broken_pipe, SIGPIPE);
  sigset_t previous;
  ::pthread_sigmask(SIG_BLOCK, &broken_pipe, &previous);
  // A SIGPIPE that was waiting before (the caller holds the signal back itself) stays the
  // caller's: the call's own would merge into it.
  bool waiting_before = false;
  if (sigismember(&previous, SIGPIPE) == 1) {
    sigset_t pending;
    waiting_before = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  }
  off_t position = static_cast<off_t>(*offset);
  const ssize_t sent = ::sendfile(socket_fd, file_fd, &position, count);
  const int error = errno;
  // A call that meets the closed peer raises the signal, also when it sent some bytes
  // first and returns their count; only a call that sent everything cannot have.
  if (!waiting_before && (sent < 0 || static_cast<size_t>(sent) < count)) {
    sigset_t pending;
    if (::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec no_wait{};
      while (::sigtimedwait(&broken_pipe, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (sent >= 0) *offset = static_cast<int64_t>(position);
  errno = error;
  return static_cast<int64_t>(sent);
}

}  // namespace nvx::platform
