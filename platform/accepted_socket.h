// One accepted TCP connection of a server, as an owned socket with waits that end after a
// time-out; the plain kind of server stream. The HTTP front end of the service reads and writes
// requests through it. Sends never raise SIGPIPE. An AcceptedSocket is used by one thread at a
// time; error() keeps the system error number of the last failure.
#ifndef NVX_PLATFORM_ACCEPTED_SOCKET_H_
#define NVX_PLATFORM_ACCEPTED_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/server_stream.h"

namespace nvx::platform {

class File;

class AcceptedSocket : public ServerStream {
 public:
  // Takes ownership of the connected socket `fd`.
  explicit AcceptedSocket(int fd) : fd_(fd) {}
  ~AcceptedSocket() override;
  AcceptedSocket(const AcceptedSocket&) = delete;
  AcceptedSocket& operator=(const AcceptedSocket&) = delete;

  int fd() const { return fd_; }
  int error() const { return error_; }

  // Waits at most `timeout_millis` until a receive would not block (data or the peer's
  // close) or a send would not block.
  [[nodiscard]] Wait WaitReadable(int timeout_millis) override;
  [[nodiscard]] Wait WaitWritable(int timeout_millis) override;

  // Receives at most `size` bytes without blocking: the count, 0 when the peer closed,
  // -1 on failure (also when nothing is there yet: error() is then EAGAIN).
  [[nodiscard]] int64_t Receive(void* buffer, size_t size) override;
  // Sends at most `size` bytes without blocking: the count, -1 on failure.
  int64_t Send(const void* data, size_t size) override;
  // Sends at most `count` bytes of `file` from `*offset` straight from the file system,
  // without blocking, and moves `*offset` past them: the count, -1 on failure (also when
  // the socket takes nothing now: error() is then EAGAIN).
  [[nodiscard]] int64_t SendFromFile(File& file, int64_t* offset, size_t count) override;
  [[nodiscard]] bool WouldBlock() const override;

  // True when the peer has closed its end and nothing it sent is left to read. Only looks,
  // so another thread may ask while the socket is in use.
  [[nodiscard]] bool PeerHasClosed() const;
  // The peer's and the own address as dotted text and port; false when unknown.
  bool PeerAddress(std::string* ip, int* port) const override;
  [[nodiscard]] bool LocalAddress(std::string* ip, int* port) const;

  // Sends small writes at once instead of holding them back until the peer acknowledges
  // earlier ones (TCP_NODELAY): a short reply on a kept-alive connection must not wait
  // for a delayed acknowledgement. False on failure.
  bool SetNoDelay();
  // Makes every call on the socket non-blocking, as a TLS session over it needs. False on
  // failure.
  bool SetNonBlocking();

  // Ends the sending direction (the peer reads the end of the data) and keeps receiving.
  void ShutdownSend() override;
  // Ends both directions and closes the socket; later calls do nothing.
  void ShutdownAndClose();

 private:
  int fd_;
  int error_ = 0;
};

// True when `error` means "try again later" for a socket without blocking.
[[nodiscard]] bool IsWouldBlock(int error);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_ACCEPTED_SOCKET_H_
