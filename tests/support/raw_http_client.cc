#include "tests/support/raw_http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/bn.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>

#include "platform/text_format.h"

namespace nvx::test {
namespace {

int64_t NowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::optional<std::string> RawHttpReply::Header(std::string_view name) const {
  std::string_view rest = header_block;
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || !EqualsIgnoreCase(line.substr(0, colon), name)) {
      continue;
    }
    std::string_view value = line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return std::string(value);
  }
  return std::nullopt;
}

RawHttpConnection::RawHttpConnection(int port, const char* source) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  if (source != nullptr) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (::inet_pton(AF_INET, source, &local.sin_addr) != 1 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      Close();
      return;
    }
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Close();
}

RawHttpConnection::~RawHttpConnection() {
  Close();
}

void RawHttpConnection::Close() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  if (context_ != nullptr) SSL_CTX_free(context_);
  ssl_ = nullptr;
  context_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RawHttpConnection::StartTls(const std::string& ca_file) {
  if (fd_ < 0 || ssl_ != nullptr) return false;
  // TLS writes go through write(), which has no MSG_NOSIGNAL: a server that went away
  // must fail the send, not end the test program.
  ::signal(SIGPIPE, SIG_IGN);
  // A server that stops answering fails the test instead of hanging it.
  timeval limit{10, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr ||
      SSL_CTX_load_verify_locations(context_, ca_file.c_str(), nullptr) != 1) {
    return false;
  }
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  ssl_ = SSL_new(context_);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1 ||
      X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), "127.0.0.1") != 1) {
    return false;
  }
  return SSL_connect(ssl_) == 1;
}

std::string RawHttpConnection::PeerSerial() const {
  if (ssl_ == nullptr) return {};
  X509* cert = SSL_get1_peer_certificate(ssl_);
  if (cert == nullptr) return {};
  BIGNUM* number = ASN1_INTEGER_to_BN(X509_get_serialNumber(cert), nullptr);
  char* hex = number != nullptr ? BN_bn2hex(number) : nullptr;
  std::string serial = hex != nullptr ? hex : "";
  OPENSSL_free(hex);
  BN_free(number);
  X509_free(cert);
  // openssl x509 -serial shows whole bytes.
  return serial.size() % 2 != 0 ? "0" + serial : serial;
}

int64_t RawHttpConnection::ReceiveSome(char* buffer, size_t size) {
  if (ssl_ == nullptr) return ::recv(fd_, buffer, size, 0);
  size_t got = 0;
  if (SSL_read_ex(ssl_, buffer, size, &got) == 1) return static_cast<int64_t>(got);
  return SSL_get_error(ssl_, 0) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

bool RawHttpConnection::Send(std::string_view bytes) {
  while (fd_ >= 0 && !bytes.empty()) {
    if (ssl_ != nullptr) {
      size_t put = 0;
      if (SSL_write_ex(ssl_, bytes.data(), bytes.size(), &put) != 1) return false;
      bytes.remove_prefix(put);
      continue;
    }
    ssize_t put = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return fd_ >= 0;
}

bool RawHttpConnection::ReceiveMore(int timeout_millis) {
  if (fd_ < 0) return false;
  // Bytes the TLS session decrypted already are no longer visible on the socket.
  if (ssl_ == nullptr || SSL_pending(ssl_) == 0) {
    pollfd entry{fd_, POLLIN, 0};
    int ready = ::poll(&entry, 1, timeout_millis < 0 ? 0 : timeout_millis);
    if (ready <= 0) return false;
  }
  char buffer[65536];
  int64_t got = ReceiveSome(buffer, sizeof buffer);
  if (got <= 0) return false;
  pending_.append(buffer, static_cast<size_t>(got));
  return true;
}

std::optional<RawHttpReply> RawHttpConnection::ReadReply(bool head, int timeout_millis) {
  int64_t deadline = NowMillis() + timeout_millis;
  size_t end;
  while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
    if (!ReceiveMore(static_cast<int>(deadline - NowMillis()))) return std::nullopt;
  }
  RawHttpReply reply;
  reply.header_block = pending_.substr(0, end + 2);
  pending_.erase(0, end + 4);
  reply.status_line = reply.header_block.substr(0, reply.header_block.find("\r\n"));
  if (reply.status_line.size() >= 12) {
    std::from_chars(reply.status_line.data() + 9, reply.status_line.data() + 12, reply.status);
  }
  size_t length = 0;
  if (std::optional<std::string> text = reply.Header("Content-Length"); text && !head) {
    std::from_chars(text->data(), text->data() + text->size(), length);
  }
  while (pending_.size() < length) {
    if (!ReceiveMore(static_cast<int>(deadline - NowMillis()))) return std::nullopt;
  }
  reply.body = pending_.substr(0, length);
  pending_.erase(0, length);
  return reply;
}

bool RawHttpConnection::WaitForClose(int timeout_millis) {
  int64_t deadline = NowMillis() + timeout_millis;
  while (fd_ >= 0 && NowMillis() < deadline) {
    pollfd entry{fd_, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(deadline - NowMillis())) <= 0) return false;
    char buffer[4096];
    int64_t got = ReceiveSome(buffer, sizeof buffer);
    if (got == 0 || (got < 0 && (ssl_ != nullptr || (errno != EINTR && errno != EAGAIN)))) {
      return true;
    }
  }
  return false;
}

std::optional<RawHttpReply> RawHttpExchange(int port, std::string_view request, bool head,
                                            const std::string& ca_file) {
  RawHttpConnection connection(port);
  if (!ca_file.empty() && !connection.StartTls(ca_file)) return std::nullopt;
  if (!connection.Send(request)) return std::nullopt;
  return connection.ReadReply(head);
}

}  // namespace nvx::test
