// TCP client sockets over IPv4: name resolution, connecting, sending and receiving with
// short waits. A Socket owns its descriptor (closed on destruction) and is used by one
// thread at a time. Every failure leaves the system error number in error(); nothing
// here raises SIGPIPE (sends use MSG_NOSIGNAL; file sends hold the signal back). The
// socket is non-blocking once connected: callers wait with WaitReadable/WaitWritable in
// slices of their choosing, so that they can measure time-outs with their own clock and
// notice stop requests.
#ifndef NVX_PLATFORM_SOCKET_H_
#define NVX_PLATFORM_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace nvx::platform {

class File;

// The error number reported when a host name does not resolve to an IPv4 address.
extern const int kErrorHostNotFound;
// The error number reported when a wait was given up because the caller asked to stop.
extern const int kErrorCancelled;
// The error number of a wait that ran out of time.
extern const int kErrorTimedOut;
// The error number of a receive when nothing has arrived yet.
extern const int kErrorWouldBlock;

// Resolves `host`: a dotted IPv4 address as it stands, otherwise the first IPv4 address
// of the name. On success stores the address in network byte order and returns 0;
// otherwise returns an error number.
[[nodiscard]] int ResolveIPv4(const std::string& host, uint32_t* address_network_order);

class Socket {
 public:
  enum class WaitResult { kReady, kTimeout, kError };

  Socket() = default;
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Makes a new stream socket of the Internet family, closing an open one first. Small
  // writes leave at once (TCP_NODELAY): exchanges on a kept-alive connection must not
  // wait for the peer's delayed acknowledgement.
  [[nodiscard]] bool Create();
  // Connects to `address` (network byte order) and `port`. Waits in short slices and
  // asks `cancelled` between them; a cancelled connect fails with kErrorCancelled.
  [[nodiscard]] bool Connect(uint32_t address_network_order, uint16_t port,
                             const std::function<bool()>& cancelled);

  bool is_open() const { return fd_ >= 0; }
  int error() const { return error_; }

  // Waits at most `milliseconds` of real time for the socket to become readable (or
  // closed by the peer) / writable.
  [[nodiscard]] WaitResult WaitReadable(int milliseconds);
  [[nodiscard]] WaitResult WaitWritable(int milliseconds);

  // Sends what the socket takes at once: the count sent (0 when it would block), -1 on
  // failure.
  [[nodiscard]] int64_t SendSome(const void* data, size_t size);
  // Sends up to `count` bytes of `file` from `*offset` straight from the file system's
  // cache, without passing through a buffer of ours; advances `*offset`. The count sent,
  // -1 on failure; 0 when the socket would block (error() is then kErrorWouldBlock) or
  // the file ends early (error() 0).
  [[nodiscard]] int64_t SendFromFile(File& file, int64_t* offset, size_t count);
  // Receives what has arrived: the count received, 0 when the peer closed the
  // connection, -1 on failure (also when nothing is there yet: error() is then
  // kErrorWouldBlock).
  [[nodiscard]] int64_t ReceiveSome(void* buffer, size_t size);
  // The same, leaving what it copies in the socket for the next receive.
  [[nodiscard]] int64_t PeekSome(void* buffer, size_t size);

  void Close();

 private:
  friend class TlsSession;
  [[nodiscard]] int64_t Receive(void* buffer, size_t size, int flags);
  int fd_ = -1;
  int error_ = 0;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SOCKET_H_
