#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/socket_send_file.h"
#include "platform/socket_wait.h"

namespace nvx::platform {

const int kErrorHostNotFound = EHOSTUNREACH;
const int kErrorCancelled = ECANCELED;
const int kErrorTimedOut = ETIMEDOUT;
const int kErrorWouldBlock = EAGAIN;

namespace {

// How long one wait for a connect to complete lasts before `cancelled` is asked again.
constexpr int kConnectSliceMillis = 100;

Socket::WaitResult WaitFor(int fd, SocketWaitFor what, int milliseconds, int* error) {
  switch (WaitForSocket(fd, what, milliseconds, error)) {
    case SocketWaitResult::kReady:
      return Socket::WaitResult::kReady;
    case SocketWaitResult::kTimeout:
      return Socket::WaitResult::kTimeout;
    case SocketWaitResult::kFailed:
      break;
  }
  return Socket::WaitResult::kError;
}

}  // namespace

int ResolveIPv4(const std::string& host, uint32_t* address_network_order) {
  in_addr dotted{};
  if (::inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    *address_network_order = dotted.s_addr;
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    int error = (result == EAI_SYSTEM && errno != 0) ? errno : kErrorHostNotFound;
    if (found != nullptr) ::freeaddrinfo(found);
    return error;
  }
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      sockaddr_in address{};
      std::memcpy(&address, entry->ai_addr, sizeof address);
      *address_network_order = address.sin_addr.s_addr;
      ::freeaddrinfo(found);
      return 0;
    }
  }
  ::freeaddrinfo(found);
  return kErrorHostNotFound;
}

Socket::~Socket() {
  Close();
}

Socket::Socket(Socket&& other) noexcept : fd_(other.fd_), error_(other.error_) {
  other.fd_ = -1;
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    error_ = other.error_;
    other.fd_ = -1;
  }
  return *this;
}

bool Socket::Create() {
  Close();
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) {
    error_ = errno;
    return false;
  }
  // Requests go out as a header and then, maybe, a small body; on a kept-alive
  // connection Nagle's rule would hold the second piece back until the peer's delayed
  // acknowledgement of the first, some 40 ms per exchange. A failure only costs speed.
  int on = 1;
  (void)::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return true;
}

bool Socket::Connect(uint32_t address_network_order, uint16_t port,
                     const std::function<bool()>& cancelled) {
  if (fd_ < 0) {
    error_ = EBADF;
    return false;
  }
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address_network_order;
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
    return true;
  }
  if (errno != EINPROGRESS && errno != EINTR) {
    error_ = errno;
    return false;
  }
  for (;;) {
    if (cancelled && cancelled()) {
      error_ = kErrorCancelled;
      return false;
    }
    WaitResult waited = WaitFor(fd_, SocketWaitFor::kWritable, kConnectSliceMillis, &error_);
    if (waited == WaitResult::kError) return false;
    if (waited == WaitResult::kTimeout) continue;
    int pending = 0;
    socklen_t length = sizeof pending;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) {
      error_ = errno;
      return false;
    }
    if (pending != 0) {
      error_ = pending;
      return false;
    }
    return true;
  }
}

Socket::WaitResult Socket::WaitReadable(int milliseconds) {
  if (fd_ < 0) {
    error_ = EBADF;
    return WaitResult::kError;
  }
  return WaitFor(fd_, SocketWaitFor::kReadable, milliseconds, &error_);
}

Socket::WaitResult Socket::WaitWritable(int milliseconds) {
  if (fd_ < 0) {
    error_ = EBADF;
    return WaitResult::kError;
  }
  return WaitFor(fd_, SocketWaitFor::kWritable, milliseconds, &error_);
}

int64_t Socket::SendSome(const void* data, size_t size) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  for (;;) {
    ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (sent >= 0) return static_cast<int64_t>(sent);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    error_ = errno;
    return -1;
  }
}

int64_t Socket::SendFromFile(File& file, int64_t* offset, size_t count) {
  if (fd_ < 0 || !file.is_open()) {
    error_ = EBADF;
    return -1;
  }
  for (;;) {
    int64_t sent = SendFileWithoutSignal(fd_, file.fd_, offset, count);
    if (sent > 0) return sent;
    if (sent == 0) {
      error_ = 0;  // the file has no more bytes
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      error_ = kErrorWouldBlock;
      return 0;
    }
    error_ = errno;
    return -1;
  }
}

int64_t Socket::ReceiveSome(void* buffer, size_t size) {
  return Receive(buffer, size, 0);
}

int64_t Socket::PeekSome(void* buffer, size_t size) {
  return Receive(buffer, size, MSG_PEEK);
}

int64_t Socket::Receive(void* buffer, size_t size, int flags) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  for (;;) {
    ssize_t received = ::recv(fd_, buffer, size, flags);
    if (received >= 0) return static_cast<int64_t>(received);
    if (errno == EINTR) continue;
    error_ = (errno == EWOULDBLOCK) ? EAGAIN : errno;
    return -1;
  }
}

void Socket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace nvx::platform
