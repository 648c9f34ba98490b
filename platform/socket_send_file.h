// A file's bytes sent on a socket straight from the file system's cache, shared by the
// client and the server sockets, and the hold on SIGPIPE that such sends need. sendfile
// (like the write calls of the TLS library) has no MSG_NOSIGNAL: on a connection the
// peer has closed it raises SIGPIPE, which ends a process that does not ignore the
// signal (and a library cannot decide that for its caller). Here the signal is held back
// on the calling thread for the call, and one the call raised is taken before it is let
// through again, so a closed peer is an error number like any other. Any thread.
#ifndef NVX_PLATFORM_SOCKET_SEND_FILE_H_
#define NVX_PLATFORM_SOCKET_SEND_FILE_H_

#include <signal.h>

#include <cstddef>
#include <cstdint>

namespace nvx::platform {

// Holds SIGPIPE back on the calling thread while it lives; a SIGPIPE raised meanwhile
// is taken and dropped, one that was waiting before stays the caller's. Keeps errno.
class BrokenPipeHold {
 public:
  BrokenPipeHold();
  ~BrokenPipeHold();
  BrokenPipeHold(const BrokenPipeHold&) = delete;
  BrokenPipeHold& operator=(const BrokenPipeHold&) = delete;

 private:
  sigset_t previous_;
  bool waiting_before_ = false;
};

// Sends at most `count` bytes of the file `file_fd` from `*offset` on the socket
// `socket_fd` and moves `*offset` past them: the count, or -1 with errno set.
[[nodiscard]] int64_t SendFileWithoutSignal(int socket_fd, int file_fd, int64_t* offset,
                                            size_t count);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SOCKET_SEND_FILE_H_
