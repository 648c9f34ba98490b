// One TCP connection target (a service server or the proxy) and its socket: resolving,
// opening, sending and receiving with a time-out. Time-outs are
// measured with the process clock (platform::GetClock), while the socket is polled in
// short slices of real time; between slices the owner's stop request is checked, so a
// worker whose CNvxapi is being destroyed never sits out a silent server. A connection
// may carry TLS: once StartTls has verified the service, every byte it sends and
// receives goes through the TLS session, under the same time-outs and stop request.
// Used by the worker thread only.
#ifndef NVX_PROTOCOL_CONNECTION_H_
#define NVX_PROTOCOL_CONNECTION_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/socket.h"
#include "platform/tls_client.h"

namespace nvx {

inline constexpr int32_t kDefaultReceiveTimeoutSeconds = 180;
// Around server work that takes long (compressed uploads, deltas).
inline constexpr int32_t kSlowServerReceiveTimeoutSeconds = 720;
inline constexpr size_t kConnectionHostMax = 127;
inline constexpr size_t kFailureTextMax = 47;
// The longest real-time wait between two looks at the clock and the stop request.
inline constexpr int kWaitSliceMillis = 50;
// The error of a file range that ended before all its bytes were sent.
inline constexpr int32_t kErrorFileEnded = -2;
// The piece of a file read into the connection's buffer and sent through TLS, when the
// kernel does not encrypt: four TLS records.
inline constexpr size_t kTlsFilePieceSize = 64 * 1024;

// The port of a port text: decimal digits only, 1 to 65535; anything else gives 0.
[[nodiscard]] uint16_t PortFromText(std::string_view port_text);

class Connection {
 public:
  // `stop_requested` (may be null) is polled during every wait.
  explicit Connection(const std::atomic<bool>* stop_requested = nullptr);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Points the connection at `host` and `port_text`: closes an open socket, sets the
  // receive time-out back to its default. The resolved address is kept while the host
  // stays the same.
  void Retarget(std::string_view host, std::string_view port_text);

  // Resolves the host when needed, makes the socket and connects. False leaves
  // failure_text() and last_error() telling why.
  [[nodiscard]] bool Open();
  void Close();
  // On the open connection, begins TLS and takes the handshake through, verifying that
  // the certificate chains to `context`'s authorities and names `verify_host`; waits at
  // most the receive time-out. False closes the connection, with failure_text(),
  // last_error(), and tls_refusal() and tls_detail() telling why.
  [[nodiscard]] bool StartTls(platform::TlsClientContext& context, const std::string& verify_host);
  bool is_tls() const { return tls_ != nullptr; }
  platform::TlsRefusal tls_refusal() const { return tls_refusal_; }
  // The TLS library's own words on the last failed handshake, for the log.
  const std::string& tls_detail() const { return tls_detail_; }
  // Closes the connection as failed to open, with `failure_text` and `error` telling why
  // (for what is done on it after the TCP connect: a proxy tunnel, TLS set-up).
  void CloseFailed(std::string_view failure_text, int32_t error);
  // Closes the connection as broken with `error` as its last error.
  void CloseBroken(int32_t error);
  bool is_open() const { return open_; }
  // True when the open connection can carry a new request. Between exchanges nothing is
  // due from the peer, so a socket with something to read (the peer's close, a reset,
  // stray bytes) cannot: a server ends a kept-alive connection that idles too long.
  // Does not wait.
  [[nodiscard]] bool ReadyForRequest();

  // Sends every byte, as much per system call as the socket takes; false on the first
  // failure (the error is in last_error()).
  [[nodiscard]] bool SendAll(const void* data, size_t size);

  // Sends `count` bytes of `file` from `offset` the same way, without copying them
  // through a buffer of ours. False on a failure or when the file ends before `count`
  // bytes (the error is then kErrorFileEnded).
  [[nodiscard]] bool SendFileRange(platform::File& file, int64_t offset, size_t count);

  // Waits for data (at most the receive time-out) and receives at most `size` bytes:
  // the count received; 0 when the peer closed the connection; -1 on time-out, error or
  // stop request. In the last two cases the socket is closed.
  [[nodiscard]] int64_t ReceiveSome(void* buffer, size_t size);
  // The same, waiting no later than `deadline_millis` on the process clock: a time-out
  // that bounds several receives together (see ReceiveDeadline).
  [[nodiscard]] int64_t ReceiveSomeBy(void* buffer, size_t size, int64_t deadline_millis);
  // The same, leaving the bytes in the socket: the next receive gets them again.
  [[nodiscard]] int64_t PeekSomeBy(void* buffer, size_t size, int64_t deadline_millis);
  // The moment, on the process clock, at which the receive time-out counted from now
  // runs out.
  [[nodiscard]] int64_t ReceiveDeadline() const;

  // "failure text 0 last error", as failed connections are reported.
  [[nodiscard]] std::string FailureDescription() const;

  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }
  int32_t last_error() const { return last_error_; }
  const std::string& failure_text() const { return failure_text_; }
  void set_receive_timeout_seconds(int32_t seconds) { receive_timeout_seconds_ = seconds; }

 private:
  [[nodiscard]] bool StopRequested() const;
  [[nodiscard]] bool Fail(std::string_view failure_text, int error);
  // Waits for the socket until `deadline_millis`; false (socket closed, error set) when
  // it runs out or the owner stops.
  [[nodiscard]] bool WaitUntil(bool readable, int64_t deadline_millis);
  [[nodiscard]] int64_t ReceiveBy(void* buffer, size_t size, int64_t deadline_millis, bool peek);
  [[nodiscard]] int64_t ReceiveTlsBy(void* buffer, size_t size, int64_t deadline_millis, bool peek);
  [[nodiscard]] bool SendFileRangeTls(platform::File& file, int64_t offset, size_t count);
  // Waits until the socket is as the TLS session asked (see WaitUntil).
  [[nodiscard]] bool WaitForTls(int64_t deadline_millis);

  bool open_ = false;
  // Bytes the last peek saw in the socket and no receive has taken yet: a receive of
  // them cannot wait, so it does not look at the socket first.
  size_t peeked_ = 0;
  int32_t last_error_ = 0;
  int32_t receive_timeout_seconds_ = kDefaultReceiveTimeoutSeconds;
  platform::Socket socket_;
  uint32_t address_ = 0;  // network byte order; 0 until resolved
  std::string host_;
  uint16_t port_ = 0;
  std::string failure_text_;
  const std::atomic<bool>* stop_requested_;
  // Present while TLS runs on the open socket; ends before the socket closes.
  std::unique_ptr<platform::TlsSession> tls_;
  platform::TlsRefusal tls_refusal_ = platform::TlsRefusal::kNone;
  std::string tls_detail_;
  // Where a file's pieces wait for TLS (allocated on the first file sent).
  std::vector<uint8_t> file_piece_;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_CONNECTION_H_
