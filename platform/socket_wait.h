// Waiting for one socket to become readable or writable, shared by the client and the
// server sockets. A signal that interrupts the wait does not end it early. Any thread.
#ifndef NVX_PLATFORM_SOCKET_WAIT_H_
#define NVX_PLATFORM_SOCKET_WAIT_H_

namespace nvx::platform {

enum class SocketWaitFor { kReadable, kWritable };
enum class SocketWaitResult { kReady, kTimeout, kFailed };

// Waits at most `timeout_millis` (no wait when it is negative) until `fd` is ready; on
// kFailed `*error` receives the system error number.
[[nodiscard]] SocketWaitResult WaitForSocket(int fd, SocketWaitFor what, int timeout_millis,
                                             int* error);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SOCKET_WAIT_H_
