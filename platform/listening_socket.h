// A server's listening TCP socket: bound to an address and port (0 picks a free one),
// with a queue for connections not yet accepted, and accepts that wait at most a
// time-out so that the accepting thread can see a stop request. Addresses are resolved
// as given ("127.0.0.1", "0.0.0.0", "::", a host name); the first one that binds is
// taken. A ListeningSocket is used by one thread; Close may come from its owner only.
#ifndef NVX_PLATFORM_LISTENING_SOCKET_H_
#define NVX_PLATFORM_LISTENING_SOCKET_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/accepted_socket.h"

namespace nvx::platform {

class ListeningSocket {
 public:
  ListeningSocket() = default;
  ~ListeningSocket();
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;

  // Binds `host`:`port` and listens with a queue of `queue_length` connections (the
  // system caps it). The address may be taken again at once after an earlier server
  // ended, but never while another socket listens on it. False on failure; error()
  // tells why.
  bool Listen(const std::string& host, int port, int queue_length);
  // The port bound; -1 before Listen succeeded.
  int port() const { return port_; }
  int error() const { return error_; }

  enum class Accept { kConnection, kNone, kFailed };
  // Waits at most `timeout_millis` for a connection and accepts it into `*connection`
  // (close-on-exec). kNone when none came in time or the peer left before it was taken;
  // kFailed when the socket cannot accept any more (error() tells why). When the process
  // has no file descriptor left, waits a moment and says kNone: the connections waiting
  // are taken once others have ended.
  Accept AcceptConnection(int timeout_millis, std::unique_ptr<AcceptedSocket>* connection);

  void Close();

  // Waits at most `timeout_millis` until one of `sockets` has a connection to accept:
  // its index, -1 when none came in time, -2 when the wait failed. Of several ready, the
  // first from index `first` on (round about) is taken, so that a caller that moves
  // `first` on lets no busy socket starve the others.
  static int WaitForAny(const std::vector<ListeningSocket*>& sockets, size_t first,
                        int timeout_millis);

 private:
  int fd_ = -1;
  int port_ = -1;
  int error_ = 0;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_LISTENING_SOCKET_H_
