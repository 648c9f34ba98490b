// A raw HTTP client for tests of the service: it sends exactly the bytes it is given
// (malformed, oversized, split at any point) over a loopback connection and reads one
// reply at a time, with its header block as it arrived. Every wait ends after a time-out,
// so a server that does not answer fails a test instead of hanging it. One thread at a
// time per connection. A connection may speak TLS (StartTls), trusting one authority only.
#ifndef NVX_TESTS_SUPPORT_RAW_HTTP_CLIENT_H_
#define NVX_TESTS_SUPPORT_RAW_HTTP_CLIENT_H_

#include <optional>
#include <string>
#include <string_view>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace nvx::test {

struct RawHttpReply {
  std::string status_line;  // without CR LF
  int status = 0;
  std::string header_block;  // status line and headers, each line ended by CR LF
  std::string body;
  // The value of the first header of that name (letter case ignored), without the blank
  // after the colon.
  std::optional<std::string> Header(std::string_view name) const;
};

class RawHttpConnection {
 public:
  // Connects to 127.0.0.1:`port`, from the loopback address `source` when one is given
  // ("127.0.0.2": the server sees another client address).
  explicit RawHttpConnection(int port, const char* source = nullptr);
  ~RawHttpConnection();
  RawHttpConnection(const RawHttpConnection&) = delete;
  RawHttpConnection& operator=(const RawHttpConnection&) = delete;

  bool connected() const { return fd_ >= 0; }
  // Speaks TLS from now on: a handshake that trusts `ca_file` alone and wants a
  // certificate for 127.0.0.1. False when it fails.
  bool StartTls(const std::string& ca_file);
  // The serial number of the server's certificate in upper-case hex ("03E9"); empty
  // without TLS.
  std::string PeerSerial() const;
  // Sends all bytes; false when the connection failed.
  bool Send(std::string_view bytes);
  // Reads one reply. A reply to HEAD (`head`) has no body whatever its Content-Length.
  // Nothing when the reply did not come whole within `timeout_millis`.
  std::optional<RawHttpReply> ReadReply(bool head = false, int timeout_millis = 10000);
  // True when the server closes the connection within `timeout_millis` (bytes it still
  // sends are dropped).
  bool WaitForClose(int timeout_millis = 5000);
  void Close();

 private:
  // Receives more bytes into `pending_`; false at the end, on failure or time-out.
  bool ReceiveMore(int timeout_millis);

  // Receives at most `size` bytes, over TLS when it was started: as recv does.
  int64_t ReceiveSome(char* buffer, size_t size);

  int fd_ = -1;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  std::string pending_;
};

// Connects (over TLS trusting `ca_file` when one is given), sends `request`, reads one
// reply.
std::optional<RawHttpReply> RawHttpExchange(int port, std::string_view request, bool head = false,
                                            const std::string& ca_file = {});

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_RAW_HTTP_CLIENT_H_
