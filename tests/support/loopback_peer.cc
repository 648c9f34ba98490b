#include "tests/support/loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <stdexcept>

namespace nvx::test {
namespace {

constexpr int kPeerPollMillis = 20;

bool SendAllBytes(int fd, const std::string& bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    ssize_t sent = ::send(fd, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    offset += static_cast<size_t>(sent);
  }
  return true;
}

int64_t AnnouncedLength(const std::string& header) {
  size_t at = header.find("Content-Length: ");
  if (at == std::string::npos) return 0;
  int64_t length = 0;
  const char* start = header.data() + at + 16;
  std::from_chars(start, header.data() + header.size(), length);
  return length;
}

}  // namespace

LoopbackPeer::LoopbackPeer() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 16) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackPeer::~LoopbackPeer() {
  stopping_ = true;
  thread_.join();
  ::close(listen_fd_);
}

std::string LoopbackPeer::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

void LoopbackPeer::AddConnection(PeerConnection replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back(std::move(replies));
}

void LoopbackPeer::AddReply(const std::string& bytes) {
  PeerReply reply;
  reply.bytes = bytes;
  AddConnection({reply});
}

std::vector<std::string> LoopbackPeer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackPeer::Serve() {
  while (!stopping_) {
    pollfd entry{listen_fd_, POLLIN, 0};
    if (::poll(&entry, 1, kPeerPollMillis) <= 0) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    PeerConnection replies;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!script_.empty()) {
        replies = std::move(script_.front());
        script_.pop_front();
      }
    }
    ServeConnection(fd, replies);
    ::close(fd);
  }
}

bool LoopbackPeer::ReadRequest(int fd, bool header_only, std::string* request) {
  std::string received;
  size_t header_end = std::string::npos;
  int64_t wanted = -1;
  while (!stopping_) {
    if (header_end != std::string::npos &&
        static_cast<int64_t>(received.size()) >= static_cast<int64_t>(header_end) + wanted) {
      break;
    }
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, kPeerPollMillis) <= 0) continue;
    char buffer[4096];
    ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
    if (count <= 0) return false;
    received.append(buffer, static_cast<size_t>(count));
    if (header_end == std::string::npos) {
      size_t end = received.find("\r\n\r\n");
      if (end != std::string::npos) {
        header_end = end + 4;
        wanted = header_only ? 0 : AnnouncedLength(received.substr(0, header_end));
      }
    }
  }
  *request = std::move(received);
  if (header_only) ::shutdown(fd, SHUT_WR);  // and the caller ends the connection
  return !stopping_ && !header_only;
}

void LoopbackPeer::ServeConnection(int fd, const PeerConnection& replies) {
  for (const PeerReply& reply : replies) {
    if (reply.read_request) {
      std::string request;
      bool complete = ReadRequest(fd, reply.header_only, &request);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!request.empty()) requests_.push_back(request);
      }
      if (!complete) return;
    }
    if (reply.stay_silent) {
      // Keep the connection open until the client gives up or the test ends.
      while (!stopping_) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, kPeerPollMillis) > 0) {
          char byte;
          if (::recv(fd, &byte, 1, 0) <= 0) return;
        }
      }
      return;
    }
    if (reply.drip_millis > 0) {
      for (char byte : reply.bytes) {
        if (stopping_ || !SendAllBytes(fd, std::string(1, byte))) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.drip_millis));
      }
    } else if (!SendAllBytes(fd, reply.bytes)) {
      return;
    }
    if (reply.close_after) return;
  }
}

uint16_t RefusingPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

SilentListener::SilentListener() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(fd_, 16);
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
  Close();
}

void SilentListener::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string SilentListener::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string ServiceAnswer(const std::string& headers, const std::string& body, bool with_length,
                          const std::string& status) {
  std::string answer = status + "\r\n" + headers;
  if (!body.empty() || with_length)
    answer += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return answer + "\r\n" + body;
}

}  // namespace nvx::test
