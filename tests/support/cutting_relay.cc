#include "tests/support/cutting_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <deque>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace nvx::test {
namespace {

constexpr int kRelayPollMillis = 20;
constexpr size_t kPieceSize = 1 << 16;
// A header block longer than this is not HTTP as our programs speak it: framing stops.
constexpr size_t kHeaderMax = 64 * 1024;
// What RecordBytes keeps at most.
constexpr size_t kRecordedBytesMax = 256 * 1024 * 1024;

bool SendAllBytes(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    count -= static_cast<size_t>(sent);
  }
  return true;
}

bool EndsHeader(const std::string& text) {
  return text.size() >= 4 && text.compare(text.size() - 4, 4, "\r\n\r\n") == 0;
}

int64_t ContentLength(const std::string& header) {
  std::string lower = header;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  size_t at = lower.find("\ncontent-length:");
  if (at == std::string::npos) return 0;
  at += 16;
  while (at < header.size() && header[at] == ' ') ++at;
  int64_t length = 0;
  std::from_chars(header.data() + at, header.data() + header.size(), length);
  return std::max<int64_t>(length, 0);
}

int ConnectTo(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

// The framing state of one connection; used by its own thread only.
struct CuttingRelay::Pipe {
  std::string request_header;
  int64_t request_body_left = 0;
  int64_t request_body_at = 0;
  bool spoil_this_request = false;
  int64_t spoil_offset = 0;
  std::deque<std::string> request_lines;  // of requests whose answers have not begun

  std::string answer_header;
  int64_t answer_body_left = 0;
  bool cutting = false;  // this answer is the one to cut
  bool cut_reset = false;
  int64_t cut_left = 0;
  int64_t answered_bytes = 0;  // every byte the server sent on this connection
};

CuttingRelay::CuttingRelay(uint16_t target_port, std::string answer_mark)
    : target_port_(target_port), answer_mark_(std::move(answer_mark)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket failed");
  int yes = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listen_fd_, 16) != 0) {
    ::close(listen_fd_);
    throw std::runtime_error("bind/listen failed");
  }
  socklen_t length = sizeof address;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  accept_thread_ = std::thread([this] { Accept(); });
}

CuttingRelay::~CuttingRelay() {
  stopping_ = true;
  accept_thread_.join();
  for (std::thread& connection : connections_) connection.join();
  ::close(listen_fd_);
}

std::string CuttingRelay::address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

void CuttingRelay::ArmCut(const RelayCut& cut) {
  std::lock_guard<std::mutex> lock(mutex_);
  cut_ = cut;
  cut_armed_ = true;
  cut_made_ = false;
  refusing_ = false;
}

void CuttingRelay::ArmCorruption(const RelayCorruption& corruption) {
  std::lock_guard<std::mutex> lock(mutex_);
  corruption_ = corruption;
  corruption_armed_ = true;
  corruption_made_ = false;
}

void CuttingRelay::RecordBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  recording_ = true;
}

std::string CuttingRelay::RecordedBytes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return recorded_;
}

bool CuttingRelay::cut_made() {
  std::lock_guard<std::mutex> lock(mutex_);
  return cut_made_;
}

bool CuttingRelay::corruption_made() {
  std::lock_guard<std::mutex> lock(mutex_);
  return corruption_made_;
}

std::vector<std::string> CuttingRelay::RequestHeaders() {
  std::lock_guard<std::mutex> lock(mutex_);
  return request_headers_;
}

std::vector<std::string> CuttingRelay::AnswerHeaders() {
  std::lock_guard<std::mutex> lock(mutex_);
  return answer_headers_;
}

void CuttingRelay::Accept() {
  while (!stopping_) {
    pollfd entry{listen_fd_, POLLIN, 0};
    if (::poll(&entry, 1, kRelayPollMillis) <= 0) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (refusing_) {
      connections_.emplace_back([this, fd] { Refuse(fd); });
    } else {
      connections_.emplace_back([this, fd] { Relay(fd); });
    }
  }
}

void CuttingRelay::Refuse(int client_fd) {
  static constexpr std::string_view kBusy =
      "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  // The request is read first: closing on unread bytes would reset the connection before
  // the client reads the answer. What follows the answer is read until the client closes.
  std::string header;
  char byte = 0;
  bool answered = false;
  while (!stopping_) {
    pollfd entry{client_fd, POLLIN, 0};
    if (::poll(&entry, 1, kRelayPollMillis) <= 0) continue;
    if (::recv(client_fd, &byte, 1, 0) <= 0) break;
    if (answered) continue;
    header.push_back(byte);
    if (!EndsHeader(header) && header.size() < kHeaderMax) continue;
    if (!SendAllBytes(client_fd, kBusy.data(), kBusy.size())) break;
    ::shutdown(client_fd, SHUT_WR);
    answered = true;
  }
  ::close(client_fd);
}

void CuttingRelay::Relay(int client_fd) {
  int server_fd = ConnectTo(target_port_);
  Pipe pipe;
  std::vector<char> piece(kPieceSize);
  bool reset = false;
  while (server_fd >= 0 && !stopping_) {
    pollfd entries[2] = {{client_fd, POLLIN, 0}, {server_fd, POLLIN, 0}};
    if (::poll(entries, 2, kRelayPollMillis) <= 0) continue;
    if (entries[0].revents != 0) {
      ssize_t count = ::recv(client_fd, piece.data(), piece.size(), 0);
      if (count <= 0) break;
      Upstream(pipe, piece.data(), static_cast<size_t>(count));
      Record(piece.data(), static_cast<size_t>(count));
      if (!SendAllBytes(server_fd, piece.data(), static_cast<size_t>(count))) break;
      upstream_bytes_ += count;
      if (const int64_t rate = upstream_rate_.load(); rate > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(count * 1000000 / rate));
      }
    }
    if (entries[1].revents != 0) {
      ssize_t count = ::recv(server_fd, piece.data(), piece.size(), 0);
      if (count <= 0) break;
      bool cut = false;
      size_t pass = Downstream(pipe, piece.data(), static_cast<size_t>(count), &cut, &reset);
      Record(piece.data(), pass);
      if (!SendAllBytes(client_fd, piece.data(), pass)) break;
      downstream_bytes_ += static_cast<int64_t>(pass);
      if (cut) break;
    }
  }
  if (reset) {
    linger hard{1, 0};
    ::setsockopt(client_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  ::close(client_fd);
  if (server_fd >= 0) ::close(server_fd);
}

void CuttingRelay::Record(const char* bytes, size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!recording_) return;
  recorded_.append(bytes, std::min(count, kRecordedBytesMax - recorded_.size()));
}

void CuttingRelay::Upstream(Pipe& pipe, char* bytes, size_t count) {
  size_t at = 0;
  while (at < count) {
    if (pipe.request_body_left > 0) {
      size_t take = static_cast<size_t>(
          std::min<int64_t>(pipe.request_body_left, static_cast<int64_t>(count - at)));
      int64_t spoil = pipe.spoil_offset - pipe.request_body_at;
      if (pipe.spoil_this_request && spoil >= 0 && spoil < static_cast<int64_t>(take)) {
        bytes[at + static_cast<size_t>(spoil)] ^= static_cast<char>(0xFF);
        pipe.spoil_this_request = false;
        std::lock_guard<std::mutex> lock(mutex_);
        corruption_made_ = true;
      }
      pipe.request_body_at += static_cast<int64_t>(take);
      pipe.request_body_left -= static_cast<int64_t>(take);
      at += take;
      continue;
    }
    pipe.request_header.push_back(bytes[at++]);
    if (pipe.request_header.size() > kHeaderMax) pipe.request_header.clear();
    if (!EndsHeader(pipe.request_header)) continue;
    const std::string& header = pipe.request_header;
    pipe.request_lines.push_back(header.substr(0, header.find('\r')));
    pipe.request_body_left = ContentLength(header);
    pipe.request_body_at = 0;
    pipe.spoil_this_request = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      request_headers_.push_back(header);
      if (corruption_armed_ && header.find(corruption_.header_mark) != std::string::npos) {
        corruption_armed_ = false;
        pipe.spoil_this_request = true;
        pipe.spoil_offset = corruption_.body_offset;
      }
    }
    pipe.request_header.clear();
  }
}

size_t CuttingRelay::Downstream(Pipe& pipe, const char* bytes, size_t count, bool* cut,
                                bool* reset) {
  size_t at = 0;
  auto cut_here = [&](size_t pass) {
    *cut = true;
    *reset = pipe.cut_reset;
    std::lock_guard<std::mutex> lock(mutex_);
    cut_made_ = true;
    refusing_ = cut_.refuse_after;
    return pass;
  };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t left = cut_.body_bytes - pipe.answered_bytes;
    if (cut_armed_ && cut_.opaque && left < static_cast<int64_t>(count)) {
      cut_armed_ = false;
      *cut = true;
      *reset = cut_.reset;
      cut_made_ = true;
      refusing_ = cut_.refuse_after;
      return static_cast<size_t>(std::max<int64_t>(left, 0));
    }
  }
  pipe.answered_bytes += static_cast<int64_t>(count);
  while (at < count) {
    if (pipe.answer_body_left > 0) {
      size_t take = static_cast<size_t>(
          std::min<int64_t>(pipe.answer_body_left, static_cast<int64_t>(count - at)));
      if (pipe.cutting && pipe.cut_left <= static_cast<int64_t>(take)) {
        return cut_here(at + static_cast<size_t>(pipe.cut_left));
      }
      if (pipe.cutting) pipe.cut_left -= static_cast<int64_t>(take);
      pipe.answer_body_left -= static_cast<int64_t>(take);
      at += take;
      continue;
    }
    pipe.cutting = false;
    pipe.answer_header.push_back(bytes[at++]);
    if (pipe.answer_header.size() > kHeaderMax) pipe.answer_header.clear();
    if (!EndsHeader(pipe.answer_header)) continue;
    const std::string& header = pipe.answer_header;
    std::string request_line;
    if (!pipe.request_lines.empty()) {
      request_line = pipe.request_lines.front();
      pipe.request_lines.pop_front();
    }
    pipe.answer_body_left = request_line.starts_with("HEAD ") ? 0 : ContentLength(header);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (header.find(answer_mark_) != std::string::npos) answer_headers_.push_back(header);
      if (cut_armed_ && !cut_.opaque && header.find(cut_.header_mark) != std::string::npos &&
          request_line.find(cut_.request_mark) != std::string::npos) {
        cut_armed_ = false;
        pipe.cutting = true;
        pipe.cut_left = cut_.body_bytes;
        pipe.cut_reset = cut_.reset;
      }
    }
    pipe.answer_header.clear();
    if (pipe.cutting && pipe.cut_left == 0) return cut_here(at);
  }
  return count;
}

}  // namespace nvx::test
