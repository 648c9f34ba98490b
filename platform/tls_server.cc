#include "platform/tls_server.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>

#include "platform/file.h"
#include "platform/tls_common.h"

namespace nvx::platform {
namespace {

// The piece of a file read at a time when the kernel does not encrypt: a few TLS records.
constexpr size_t kFilePieceBytes = 64 * 1024;

constexpr const char* kTls13Suites =
    "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256";
constexpr const char* kTls12Suites =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

// A key protected by a pass phrase is refused instead of asking on the terminal.
int NoPassPhrase(char*, int, int, void*) {
  return 0;
}

std::string Reason(const std::string& what, const std::string& file) {
  std::string queue = TakeTlsErrorText();
  return what + " " + file + (queue.empty() ? "" : ": " + queue);
}

}  // namespace

TlsServerCredentials::TlsServerCredentials() = default;
TlsServerCredentials::~TlsServerCredentials() = default;

bool TlsServerCredentials::Load(const std::string& cert_file, const std::string& key_file,
                                std::string* error) {
  ERR_clear_error();
  std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
  if (!context) {
    *error = "cannot set up TLS: " + TakeTlsErrorText();
    return false;
  }
  SSL_CTX* raw = context.get();
  SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
  // Kernel TLS where the kernel offers it; no renegotiation (a peer could make the
  // server work at will); a peer that drops the connection without the TLS close notice
  // ends the stream like a close: requests announce their length.
  SSL_CTX_set_options(raw, SSL_OP_ENABLE_KTLS | SSL_OP_NO_RENEGOTIATION |
                               SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_CIPHER_SERVER_PREFERENCE);
  SSL_CTX_set_mode(raw, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Forward-secret AEAD suites only, AES-128-GCM first: with the processor's AES
  // instructions it encrypts about half as fast again as AES-256-GCM, at a strength no
  // attack comes near. The server's order decides.
  if (SSL_CTX_set_ciphersuites(raw, kTls13Suites) != 1 ||
      SSL_CTX_set_cipher_list(raw, kTls12Suites) != 1) {
    *error = "cannot set up TLS: " + TakeTlsErrorText();
    return false;
  }
  SSL_CTX_set_default_passwd_cb(raw, NoPassPhrase);
  if (SSL_CTX_use_certificate_chain_file(raw, cert_file.c_str()) != 1) {
    *error = Reason("cannot read the certificate", cert_file);
    return false;
  }
  if (SSL_CTX_use_PrivateKey_file(raw, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    *error = Reason("cannot read the private key", key_file);
    return false;
  }
  if (SSL_CTX_check_private_key(raw) != 1) {
    *error = Reason("the private key does not belong to the certificate in", cert_file);
    return false;
  }
  MutexLock lock(mutex_);
  context_ = std::move(context);
  return true;
}

bool TlsServerCredentials::loaded() const {
  MutexLock lock(mutex_);
  return context_ != nullptr;
}

std::shared_ptr<SSL_CTX> TlsServerCredentials::Current() const {
  MutexLock lock(mutex_);
  return context_;
}

TlsServerSession::TlsServerSession(const TlsServerCredentials& credentials, AcceptedSocket& socket)
    : context_(credentials.Current()), socket_(socket) {
  if (!context_) {
    open_failure_ = "no certificate loaded";
    return;
  }
  if (!socket_.SetNonBlocking()) {
    open_failure_ = "the connection cannot be made non-blocking";
    return;
  }
  ssl_ = SSL_new(context_.get());
  if (ssl_ == nullptr || SSL_set_fd(ssl_, socket_.fd()) != 1) {
    open_failure_ = "cannot set up TLS: " + TakeTlsErrorText();
    return;
  }
  SSL_set_accept_state(ssl_);
}

TlsServerSession::~TlsServerSession() {
  if (ssl_ != nullptr) SSL_free(ssl_);
}

bool TlsServerSession::Classify(int result) {
  would_block_ = false;
  want_ = Want::kNothing;
  switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
      would_block_ = true;
      want_ = Want::kRead;
      return false;
    case SSL_ERROR_WANT_WRITE:
      would_block_ = true;
      want_ = Want::kWrite;
      return false;
    case SSL_ERROR_ZERO_RETURN:
      return true;
    case SSL_ERROR_SYSCALL:
      // With an empty error queue and no system error the peer just closed.
      return ERR_peek_error() == 0 && errno == 0;
    default:
      return false;
  }
}

ServerStream::OpenStep TlsServerSession::Open() {
  if (ssl_ == nullptr) return OpenStep::kFailed;
  ERR_clear_error();
  errno = 0;
  int result = SSL_do_handshake(ssl_);
  if (result == 1) {
    want_ = Want::kNothing;
    return OpenStep::kOpen;
  }
  int system_error = errno;
  bool closed = Classify(result);
  if (would_block_) return OpenStep::kPending;
  std::string queue = TakeTlsErrorText();
  if (closed) {
    open_failure_ = "the client closed the connection during the handshake";
  } else if (!queue.empty()) {
    open_failure_ = "handshake failed: " + queue;
  } else {
    open_failure_ = "handshake failed: " + std::to_string(system_error);
  }
  return OpenStep::kFailed;
}

bool TlsServerSession::kernel_sends() const {
  return ssl_ != nullptr && BIO_get_ktls_send(SSL_get_wbio(ssl_)) != 0;
}

ServerStream::Wait TlsServerSession::WaitFor(Want want, int timeout_millis) {
  int error = 0;
  SocketWaitFor what = want == Want::kWrite ? SocketWaitFor::kWritable : SocketWaitFor::kReadable;
  return WaitForSocket(socket_.fd(), what, timeout_millis, &error);
}

ServerStream::Wait TlsServerSession::WaitReadable(int timeout_millis) {
  // Bytes the session decrypted already are no longer visible on the socket.
  if (ssl_ != nullptr && SSL_pending(ssl_) > 0) return Wait::kReady;
  return WaitFor(want_ == Want::kWrite ? Want::kWrite : Want::kRead, timeout_millis);
}

ServerStream::Wait TlsServerSession::WaitWritable(int timeout_millis) {
  return WaitFor(want_ == Want::kRead ? Want::kRead : Want::kWrite, timeout_millis);
}

int64_t TlsServerSession::Receive(void* buffer, size_t size) {
  if (ssl_ == nullptr) return -1;
  ERR_clear_error();
  errno = 0;
  size_t got = 0;
  int result = SSL_read_ex(ssl_, buffer, size, &got);
  if (result == 1) {
    would_block_ = false;
    want_ = Want::kNothing;
    return static_cast<int64_t>(got);
  }
  bool closed = Classify(result);
  ERR_clear_error();
  return closed ? 0 : -1;
}

int64_t TlsServerSession::Send(const void* data, size_t size) {
  if (ssl_ == nullptr) return -1;
  if (size == 0) return 0;
  ERR_clear_error();
  errno = 0;
  size_t put = 0;
  int result = SSL_write_ex(ssl_, data, size, &put);
  if (result == 1) {
    would_block_ = false;
    want_ = Want::kNothing;
    return static_cast<int64_t>(put);
  }
  Classify(result);
  ERR_clear_error();
  return -1;
}

int64_t TlsServerSession::SendFromFile(File& file, int64_t* offset, size_t count) {
  if (ssl_ == nullptr || !file.is_open()) return -1;
  if (count == 0) return 0;
  if (kernel_sends()) {
    ERR_clear_error();
    errno = 0;
    ossl_ssize_t put = SSL_sendfile(ssl_, file.fd_, static_cast<off_t>(*offset), count, 0);
    if (put >= 0) {
      would_block_ = false;
      want_ = Want::kNothing;
      *offset += put;
      return put;
    }
    Classify(static_cast<int>(put));
    ERR_clear_error();
    return -1;
  }
  bool in_piece = piece_offset_ >= 0 && *offset >= piece_offset_ &&
                  *offset < piece_offset_ + static_cast<int64_t>(piece_size_);
  if (!in_piece) {
    piece_.resize(kFilePieceBytes);
    int64_t got = file.ReadAt(piece_.data(), std::min(count, kFilePieceBytes), *offset);
    if (got <= 0) {
      would_block_ = false;
      return got;
    }
    piece_offset_ = *offset;
    piece_size_ = static_cast<size_t>(got);
  }
  size_t from = static_cast<size_t>(*offset - piece_offset_);
  int64_t put = Send(piece_.data() + from, std::min(count, piece_size_ - from));
  if (put > 0) *offset += put;
  // A piece sent whole is done with: the next file sent on this session may start at the
  // same offset, and must be read, not answered from this one's bytes.
  if (*offset >= piece_offset_ + static_cast<int64_t>(piece_size_)) piece_offset_ = -1;
  return put;
}

bool TlsServerSession::PeerAddress(std::string* ip, int* port) const {
  return socket_.PeerAddress(ip, port);
}

void TlsServerSession::ShutdownSend() {
  if (ssl_ != nullptr && SSL_is_init_finished(ssl_)) {
    ERR_clear_error();
    // The notice is sent when the socket takes it now; a peer that reads nothing more
    // needs none.
    (void)SSL_shutdown(ssl_);
    ERR_clear_error();
  }
  socket_.ShutdownSend();
}

}  // namespace nvx::platform
