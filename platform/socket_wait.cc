#include "platform/socket_wait.h"

#include <poll.h>

#include <cerrno>

namespace nvx::platform {

SocketWaitResult WaitForSocket(int fd, SocketWaitFor what, int timeout_millis, int* error) {
  pollfd entry{};
  entry.fd = fd;
  entry.events = what == SocketWaitFor::kReadable ? POLLIN : POLLOUT;
  for (;;) {
    int ready = ::poll(&entry, 1, timeout_millis < 0 ? 0 : timeout_millis);
    if (ready > 0) return SocketWaitResult::kReady;
    if (ready == 0) return SocketWaitResult::kTimeout;
    if (errno == EINTR) continue;
    *error = errno;
    return SocketWaitResult::kFailed;
  }
}

}  // namespace nvx::platform
