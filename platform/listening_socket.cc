#include "platform/listening_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/socket_wait.h"

namespace nvx::platform {
namespace {

// How long an accept waits when the process has run out of file descriptors.
constexpr int kOutOfDescriptorsPauseMillis = 10;

int BoundPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

}  // namespace

ListeningSocket::~ListeningSocket() {
  Close();
}

bool ListeningSocket::Listen(const std::string& host, int port, int queue_length) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); status != 0) {
    error_ = status == EAI_SYSTEM ? errno : EADDRNOTAVAIL;
    return false;
  }
  error_ = EADDRNOTAVAIL;
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
    if (fd < 0) {
      error_ = errno;
      continue;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (entry->ai_family == AF_INET6) {
      // An IPv6 address takes IPv4 clients too.
      int off = 0;
      ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    if (::bind(fd, entry->ai_addr, entry->ai_addrlen) == 0 && ::listen(fd, queue_length) == 0) {
      fd_ = fd;
      break;
    }
    error_ = errno;
    ::close(fd);
  }
  ::freeaddrinfo(found);
  if (fd_ < 0) return false;
  port_ = BoundPort(fd_);
  error_ = 0;
  return true;
}

ListeningSocket::Accept ListeningSocket::AcceptConnection(
    int timeout_millis, std::unique_ptr<AcceptedSocket>* connection) {
  if (fd_ < 0) {
    error_ = EBADF;
    return Accept::kFailed;
  }
  switch (WaitForSocket(fd_, SocketWaitFor::kReadable, timeout_millis, &error_)) {
    case SocketWaitResult::kReady:
      break;
    case SocketWaitResult::kTimeout:
      return Accept::kNone;
    case SocketWaitResult::kFailed:
      return Accept::kFailed;
  }
  int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) {
    *connection = std::make_unique<AcceptedSocket>(fd);
    return Accept::kConnection;
  }
  error_ = errno;
  switch (error_) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      std::this_thread::sleep_for(std::chrono::milliseconds(kOutOfDescriptorsPauseMillis));
      return Accept::kNone;
    case EINTR:
    case EAGAIN:
    case ECONNABORTED:
    case EPROTO:
      return Accept::kNone;
    default:
      return Accept::kFailed;
  }
}

int ListeningSocket::WaitForAny(const std::vector<ListeningSocket*>& sockets, size_t first,
                                int timeout_millis) {
  std::vector<pollfd> entries;
  for (ListeningSocket* socket : sockets) entries.push_back({socket->fd_, POLLIN, 0});
  for (;;) {
    int ready = ::poll(entries.data(), entries.size(), timeout_millis < 0 ? 0 : timeout_millis);
    if (ready == 0) return -1;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -2;
    }
    for (size_t step = 0; step < entries.size(); ++step) {
      size_t i = (first + step) % entries.size();
      if (entries[i].revents != 0) return static_cast<int>(i);
    }
    return -1;
  }
}

void ListeningSocket::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  port_ = -1;
}

}  // namespace nvx::platform
