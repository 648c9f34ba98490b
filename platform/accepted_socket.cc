#include "platform/accepted_socket.h"

#include "platform/file.h"
#include "platform/socket_send_file.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace nvx::platform {
namespace {

bool AddressText(const sockaddr_storage& address, std::string* ip, int* port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    if (::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text) == nullptr) return false;
    *port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text) == nullptr) return false;
    *port = ntohs(v6.sin6_port);
  } else {
    return false;
  }
  *ip = text;
  return true;
}

}  // namespace

AcceptedSocket::~AcceptedSocket() {
  ShutdownAndClose();
}

AcceptedSocket::Wait AcceptedSocket::WaitReadable(int timeout_millis) {
  return WaitForSocket(fd_, SocketWaitFor::kReadable, timeout_millis, &error_);
}

AcceptedSocket::Wait AcceptedSocket::WaitWritable(int timeout_millis) {
  return WaitForSocket(fd_, SocketWaitFor::kWritable, timeout_millis, &error_);
}

int64_t AcceptedSocket::Receive(void* buffer, size_t size) {
  for (;;) {
    ssize_t got = ::recv(fd_, buffer, size, MSG_DONTWAIT);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    error_ = errno;
    return -1;
  }
}

int64_t AcceptedSocket::Send(const void* data, size_t size) {
  for (;;) {
    ssize_t put = ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (put >= 0) return put;
    if (errno == EINTR) continue;
    error_ = errno;
    return -1;
  }
}

int64_t AcceptedSocket::SendFromFile(File& file, int64_t* offset, size_t count) {
  if (fd_ < 0 || !file.is_open()) {
    error_ = EBADF;
    return -1;
  }
  // Sends elsewhere ask not to block per call; a copy from a file cannot, so the socket
  // itself is made non-blocking (which changes nothing for those calls).
  if (!SetNonBlocking()) return -1;
  for (;;) {
    int64_t put = SendFileWithoutSignal(fd_, file.fd_, offset, count);
    if (put >= 0) return put;
    if (errno == EINTR) continue;
    error_ = errno;
    return -1;
  }
}

bool AcceptedSocket::PeerHasClosed() const {
  if (fd_ < 0) return true;
  char byte;
  for (;;) {
    const ssize_t got = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got == 0) return true;
    if (got > 0) return false;
    if (errno == EINTR) continue;
    return errno != EAGAIN && errno != EWOULDBLOCK;
  }
}

bool AcceptedSocket::PeerAddress(std::string* ip, int* port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
  return AddressText(address, ip, port);
}

bool AcceptedSocket::LocalAddress(std::string* ip, int* port) const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
  return AddressText(address, ip, port);
}

void AcceptedSocket::ShutdownSend() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void AcceptedSocket::ShutdownAndClose() {
  if (fd_ < 0) return;
  ::shutdown(fd_, SHUT_RDWR);
  ::close(fd_);
  fd_ = -1;
}

bool AcceptedSocket::SetNoDelay() {
  int on = 1;
  if (::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool AcceptedSocket::SetNonBlocking() {
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ((flags & O_NONBLOCK) == 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0)) {
    error_ = errno;
    return false;
  }
  return true;
}

bool AcceptedSocket::WouldBlock() const {
  return IsWouldBlock(error_);
}

bool IsWouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace nvx::platform
