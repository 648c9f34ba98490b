// The client side of TLS (1.2 and 1.3) over a connected, non-blocking Socket. A
// TlsClientContext holds what the sessions of one link share: the certificate
// authorities a server's certificate must chain to (the system's trust store, or one
// PEM file). A TlsSession runs one connection: the handshake, which verifies the
// certificate and that it names the host (a name, or an IPv4 address against the
// certificate's address entries), and then sends and receives.
//
// Nothing here waits: an operation that cannot go on without the socket returns -1 with
// wait() telling whether the socket must become readable or writable first, and the
// caller waits (with its own clock and stop request) and repeats the call. A context is
// shared by the sessions of one thread; a session is used by one thread at a time and
// must not outlive its context or its socket.
#ifndef NVX_PLATFORM_TLS_CLIENT_H_
#define NVX_PLATFORM_TLS_CLIENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/socket.h"

using SSL_CTX = struct ssl_ctx_st;
using SSL = struct ssl_st;

namespace nvx::platform {

// Why a handshake did not give a verified session.
enum class TlsRefusal {
  kNone,        // no refusal: the transport failed (time-out, stop, reset) or all is well
  kNotTrusted,  // the certificate does not chain to a trusted authority
  kOtherName,   // it was issued for another name or address
  kExpired,     // it has expired or is not yet valid
  kNoTls,       // the peer does not speak TLS (or the handshake failed otherwise)
};

// The refusal in words a person can act on, e.g. "the service's certificate is not
// trusted"; "" for kNone.
[[nodiscard]] std::string_view TlsRefusalText(TlsRefusal refusal);

// The error number of a TLS failure that has no system error behind it.
extern const int kErrorTlsProtocol;

class TlsClientContext {
 public:
  // `ca_file` empty: the system's trust store; otherwise the PEM file of the only
  // authorities trusted. Null when the TLS library cannot start or the file cannot be
  // read as certificates, with the reason in `*error`.
  [[nodiscard]] static std::unique_ptr<TlsClientContext> Create(const std::string& ca_file,
                                                                std::string* error);
  ~TlsClientContext();
  TlsClientContext(const TlsClientContext&) = delete;
  TlsClientContext& operator=(const TlsClientContext&) = delete;

 private:
  friend class TlsSession;
  explicit TlsClientContext(SSL_CTX* context) : context_(context) {}
  SSL_CTX* context_;
};

class TlsSession {
 public:
  enum class Wait { kNone, kReadable, kWritable };

  // A session on `socket` (connected) for `host`, the name or dotted address the
  // certificate must name; a name is also sent as the server name. Null when the
  // session cannot be made, with the reason in `*error`.
  [[nodiscard]] static std::unique_ptr<TlsSession> Begin(TlsClientContext& context, Socket& socket,
                                                         const std::string& host,
                                                         std::string* error);
  // Sends the closing alert when the session is still sound; never waits.
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Takes the handshake one step on: true when it is done. False with wait() set: call
  // again when the socket is ready; with wait() kNone: the handshake failed, refusal()
  // and error_text() tell why.
  [[nodiscard]] bool Handshake();
  TlsRefusal refusal() const { return refusal_; }
  const std::string& error_text() const { return error_text_; }

  // Sends what the session takes now: the count (> 0), or -1 (wait() set, or a
  // failure with error()).
  [[nodiscard]] int64_t SendSome(const void* data, size_t size);
  // Receives what has arrived: the count (> 0), 0 when the peer closed, or -1 (wait()
  // set, or a failure with error()).
  [[nodiscard]] int64_t ReceiveSome(void* buffer, size_t size);
  // The same, leaving what it copies for the next receive.
  [[nodiscard]] int64_t PeekSome(void* buffer, size_t size);
  // True when bytes of the peer wait in the session (decrypted or not), which the
  // socket cannot show.
  [[nodiscard]] bool HasPending() const;
  // True when the kernel encrypts what this session sends, so that SendFromFile can
  // take a file's bytes without passing them through a buffer of ours.
  [[nodiscard]] bool KernelSends() const;
  // Under KernelSends only: sends up to `count` bytes of `file` from `*offset` and
  // advances it: the count (0 when the file ends), or -1 (wait() set, or a failure).
  [[nodiscard]] int64_t SendFromFile(File& file, int64_t* offset, size_t count);

  Wait wait() const { return wait_; }
  int error() const { return error_; }

 private:
  TlsSession(SSL* ssl, Socket& socket) : ssl_(ssl), socket_(socket) {}
  // Turns the result of a TLS call that gave `result` into wait_/error_/sound_.
  int64_t Settle(int result, bool receiving);
  TlsRefusal ClassifyFailure(int ssl_error);

  SSL* ssl_;
  Socket& socket_;
  Wait wait_ = Wait::kNone;
  int error_ = 0;
  // False after a fatal error: then no closing alert may be sent.
  bool sound_ = true;
  TlsRefusal refusal_ = TlsRefusal::kNone;
  std::string error_text_;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_TLS_CLIENT_H_
