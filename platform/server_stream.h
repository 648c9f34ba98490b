// The byte stream a server's connection reads requests from and writes replies to: a
// plain accepted socket, or a TLS session over one. Every call returns at once; the
// waits bound how long the caller waits for the stream to make progress. A stream is
// used by one thread at a time.
#ifndef NVX_PLATFORM_SERVER_STREAM_H_
#define NVX_PLATFORM_SERVER_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/socket_wait.h"

namespace nvx::platform {

class File;

class ServerStream {
 public:
  using Wait = SocketWaitResult;
  enum class OpenStep { kOpen, kPending, kFailed };

  virtual ~ServerStream() = default;

  // Takes the stream's next opening step (a TLS handshake) without blocking. kPending:
  // wait with WaitReadable, then call again; kFailed: the stream cannot carry requests
  // (open_failure() says why). A plain socket is open at once.
  [[nodiscard]] virtual OpenStep Open() { return OpenStep::kOpen; }
  virtual std::string open_failure() const { return {}; }

  // Waits at most `timeout_millis` until a receive (or a send) can make progress.
  [[nodiscard]] virtual Wait WaitReadable(int timeout_millis) = 0;
  [[nodiscard]] virtual Wait WaitWritable(int timeout_millis) = 0;
  // Receives at most `size` bytes: the count, 0 when the peer closed, -1 on failure
  // (WouldBlock() when nothing is there yet).
  [[nodiscard]] virtual int64_t Receive(void* buffer, size_t size) = 0;
  // Sends at most `size` bytes: the count, -1 on failure (WouldBlock() when the stream
  // takes nothing now; the same bytes are offered again then).
  virtual int64_t Send(const void* data, size_t size) = 0;
  // Sends at most `count` bytes of `file` from `*offset` and moves `*offset` past them:
  // the count, 0 when the file ends before `*offset`, -1 on failure (WouldBlock() as for
  // Send).
  [[nodiscard]] virtual int64_t SendFromFile(File& file, int64_t* offset, size_t count) = 0;
  // True when the last failure means "try again once the stream is ready".
  [[nodiscard]] virtual bool WouldBlock() const = 0;

  // The peer's address as dotted text and port; false when unknown.
  virtual bool PeerAddress(std::string* ip, int* port) const = 0;
  // Ends the sending direction (the peer reads the end of the data) and keeps receiving.
  virtual void ShutdownSend() = 0;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SERVER_STREAM_H_
