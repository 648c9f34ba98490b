#include "platform/tls_client.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>

#include "platform/socket_send_file.h"
#include "platform/tls_common.h"

namespace nvx::platform {

const int kErrorTlsProtocol = EPROTO;

std::string_view TlsRefusalText(TlsRefusal refusal) {
  switch (refusal) {
    case TlsRefusal::kNone:
      break;
    case TlsRefusal::kNotTrusted:
      return "the service's certificate is not trusted";
    case TlsRefusal::kOtherName:
      return "the service's certificate was issued for another name";
    case TlsRefusal::kExpired:
      return "the service's certificate has expired";
    case TlsRefusal::kNoTls:
      return "the service does not speak TLS";
  }
  return "";
}

namespace {

bool IsDottedAddress(const std::string& host) {
  in_addr address{};
  return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

TlsRefusal RefusalOfVerifyResult(long result) {
  switch (result) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
    case X509_V_ERR_EMAIL_MISMATCH:
      return TlsRefusal::kOtherName;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return TlsRefusal::kExpired;
    default:
      return TlsRefusal::kNotTrusted;
  }
}

}  // namespace

std::unique_ptr<TlsClientContext> TlsClientContext::Create(const std::string& ca_file,
                                                           std::string* error) {
  if (!StartTlsLibrary()) {
    *error = "the TLS library did not start";
    return nullptr;
  }
  ERR_clear_error();
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (context == nullptr) {
    *error = "no TLS context: " + TakeTlsErrorText();
    return nullptr;
  }
  std::unique_ptr<TlsClientContext> made(new TlsClientContext(context));
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  // Sends hand over what fits and come back, like a socket's; a send repeated after a
  // wait may offer its bytes from another place.
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Where the kernel can encrypt, files are sent without a copy through our buffers.
  SSL_CTX_set_options(context, SSL_OP_ENABLE_KTLS);
  // A receive takes in what the socket holds, several records at once, instead of two
  // system calls per record.
  SSL_CTX_set_read_ahead(context, 1);
  const int loaded = ca_file.empty()
                         ? SSL_CTX_set_default_verify_paths(context)
                         : SSL_CTX_load_verify_locations(context, ca_file.c_str(), nullptr);
  if (loaded != 1) {
    *error = "the certificate authority file " + (ca_file.empty() ? "of the system" : ca_file) +
             " cannot be read: " + TakeTlsErrorText();
    return nullptr;
  }
  return made;
}

TlsClientContext::~TlsClientContext() {
  SSL_CTX_free(context_);
}

std::unique_ptr<TlsSession> TlsSession::Begin(TlsClientContext& context, Socket& socket,
                                              const std::string& host, std::string* error) {
  ERR_clear_error();
  SSL* ssl = SSL_new(context.context_);
  if (ssl == nullptr) {
    *error = "no TLS session: " + TakeTlsErrorText();
    return nullptr;
  }
  std::unique_ptr<TlsSession> session(new TlsSession(ssl, socket));
  bool named = SSL_set_fd(ssl, socket.fd_) == 1;
  if (named && IsDottedAddress(host)) {
    named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
  } else if (named) {
    named = SSL_set1_host(ssl, host.c_str()) == 1 &&
            SSL_set_tlsext_host_name(ssl, const_cast<char*>(host.c_str())) == 1;
  }
  if (!named) {
    *error = "the TLS session cannot name " + host + ": " + TakeTlsErrorText();
    return nullptr;
  }
  SSL_set_connect_state(ssl);
  return session;
}

TlsSession::~TlsSession() {
  if (sound_ && SSL_is_init_finished(ssl_)) {
    BrokenPipeHold hold;
    // One try at the closing alert: a socket that cannot take it now is closed anyway.
    ERR_clear_error();
    (void)SSL_shutdown(ssl_);
  }
  ERR_clear_error();
  SSL_free(ssl_);
}

bool TlsSession::Handshake() {
  ERR_clear_error();
  int result = 0;
  {
    BrokenPipeHold hold;
    errno = 0;
    result = SSL_connect(ssl_);
  }
  if (result == 1) {
    wait_ = Wait::kNone;
    return true;
  }
  const int system_error = errno;
  const int ssl_error = SSL_get_error(ssl_, result);
  if (ssl_error == SSL_ERROR_WANT_READ || ssl_error == SSL_ERROR_WANT_WRITE) {
    wait_ = ssl_error == SSL_ERROR_WANT_READ ? Wait::kReadable : Wait::kWritable;
    error_ = kErrorWouldBlock;
    return false;
  }
  wait_ = Wait::kNone;
  sound_ = false;
  error_ = ssl_error == SSL_ERROR_SYSCALL && system_error != 0 ? system_error : kErrorTlsProtocol;
  refusal_ = ClassifyFailure(ssl_error);
  return false;
}

TlsRefusal TlsSession::ClassifyFailure(int ssl_error) {
  error_text_ = TakeTlsErrorText();
  const long verified = SSL_get_verify_result(ssl_);
  if (verified != X509_V_OK) {
    error_text_ = X509_verify_cert_error_string(verified);
    return RefusalOfVerifyResult(verified);
  }
  if (ssl_error == SSL_ERROR_SYSCALL) {
    // The peer closed or reset the connection in the middle of the handshake: what
    // answers a TLS greeting so is no TLS service (a plain HTTP server answers "400"
    // and closes). Time-outs and other system errors are the transport's.
    if (error_ == kErrorTlsProtocol || error_ == ECONNRESET || error_ == EPIPE) {
      if (error_text_.empty()) error_text_ = "the connection closed during the handshake";
      return TlsRefusal::kNoTls;
    }
    return TlsRefusal::kNone;
  }
  return TlsRefusal::kNoTls;
}

int64_t TlsSession::Settle(int result, bool receiving) {
  if (result > 0) {
    wait_ = Wait::kNone;
    return result;
  }
  const int system_error = errno;
  const int ssl_error = SSL_get_error(ssl_, result);
  switch (ssl_error) {
    case SSL_ERROR_WANT_READ:
      wait_ = Wait::kReadable;
      error_ = kErrorWouldBlock;
      return -1;
    case SSL_ERROR_WANT_WRITE:
      wait_ = Wait::kWritable;
      error_ = kErrorWouldBlock;
      return -1;
    case SSL_ERROR_ZERO_RETURN:
      // The peer's closing alert: an orderly close.
      wait_ = Wait::kNone;
      if (receiving) return 0;
      error_ = EPIPE;
      return -1;
    default:
      break;
  }
  wait_ = Wait::kNone;
  sound_ = false;
  const unsigned long queued = ERR_peek_error();
  error_text_ = TakeTlsErrorText();
  // A peer that closes the connection without the closing alert ends it as a plain
  // connection would: the answer's own length tells whether anything is missing.
  const bool bare_close =
      (ssl_error == SSL_ERROR_SYSCALL && system_error == 0) ||
      (ssl_error == SSL_ERROR_SSL && ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
  if (receiving && bare_close) return 0;
  error_ = ssl_error == SSL_ERROR_SYSCALL && system_error != 0 ? system_error
           : bare_close                                        ? EPIPE
                                                               : kErrorTlsProtocol;
  return -1;
}

int64_t TlsSession::SendSome(const void* data, size_t size) {
  ERR_clear_error();
  BrokenPipeHold hold;
  errno = 0;
  size_t written = 0;
  const int result = SSL_write_ex(ssl_, data, size, &written);
  if (result == 1) return static_cast<int64_t>(written);
  return Settle(0, /*receiving=*/false);
}

int64_t TlsSession::ReceiveSome(void* buffer, size_t size) {
  ERR_clear_error();
  BrokenPipeHold hold;
  errno = 0;
  size_t read = 0;
  if (SSL_read_ex(ssl_, buffer, size, &read) != 1) return Settle(0, /*receiving=*/true);
  // One record per call; the records already taken in follow in the same call, which
  // needs no system call.
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t more = 0;
  while (read < size && SSL_has_pending(ssl_) == 1 &&
         SSL_read_ex(ssl_, bytes + read, size - read, &more) == 1) {
    read += more;
  }
  // What stopped the loop shows again at the next call.
  ERR_clear_error();
  return static_cast<int64_t>(read);
}

int64_t TlsSession::PeekSome(void* buffer, size_t size) {
  ERR_clear_error();
  BrokenPipeHold hold;
  errno = 0;
  size_t read = 0;
  if (SSL_peek_ex(ssl_, buffer, size, &read) == 1) return static_cast<int64_t>(read);
  return Settle(0, /*receiving=*/true);
}

bool TlsSession::HasPending() const {
  return SSL_has_pending(ssl_) == 1;
}

bool TlsSession::KernelSends() const {
#ifndef OPENSSL_NO_KTLS
  return BIO_get_ktls_send(SSL_get_wbio(ssl_)) != 0;
#else
  return false;
#endif
}

int64_t TlsSession::SendFromFile(File& file, int64_t* offset, size_t count) {
  ERR_clear_error();
  BrokenPipeHold hold;
  errno = 0;
  const ossl_ssize_t sent = SSL_sendfile(ssl_, file.fd_, static_cast<off_t>(*offset), count, 0);
  if (sent >= 0) {
    *offset += sent;
    return sent;
  }
  return Settle(-1, /*receiving=*/false);
}

}  // namespace nvx::platform
