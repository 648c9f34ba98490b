#include "tests/support/raw_http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>

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
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RawHttpConnection::Send(std::string_view bytes) {
  while (fd_ >= 0 && !bytes.empty()) {
    ssize_t put = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return fd_ >= 0;
}

bool RawHttpConnection::ReceiveMore(int timeout_millis) {
  if (fd_ < 0) return false;
  pollfd entry{fd_, POLLIN, 0};
  int ready = ::poll(&entry, 1, timeout_millis < 0 ? 0 : timeout_millis);
  if (ready <= 0) return false;
  char buffer[65536];
  ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
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
    ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return true;
  }
  return false;
}

std::optional<RawHttpReply> RawHttpExchange(int port, std::string_view request, bool head) {
  RawHttpConnection connection(port);
  if (!connection.Send(request)) return std::nullopt;
  return connection.ReadReply(head);
}

}  // namespace nvx::test
