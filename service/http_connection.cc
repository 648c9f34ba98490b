#include "service/http_connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "service/connection_threads.h"
#include "service/service_limits.h"

namespace nvx::service {
namespace {

constexpr size_t kReadBufferSize = 65536;
// Waits are cut into slices of this length so that a stop request is seen soon.
constexpr int kWaitSliceMillis = 100;
// After refusing a request whose bytes were not all read, the connection keeps reading
// (and dropping) what the client still sends for a moment before it closes, so that the
// client reads the refusal instead of a reset connection.
constexpr int kLingerMillis = 2000;
constexpr size_t kLingerBytesMax = 4 * 1024 * 1024;

thread_local ConnectionRequest* g_current_request = nullptr;

class ScopedCurrentRequest {
 public:
  explicit ScopedCurrentRequest(ConnectionRequest* request) { g_current_request = request; }
  ~ScopedCurrentRequest() { g_current_request = nullptr; }
  ScopedCurrentRequest(const ScopedCurrentRequest&) = delete;
  ScopedCurrentRequest& operator=(const ScopedCurrentRequest&) = delete;
};

int64_t NowMillis() {
  return platform::GetClock().MonotonicMillis();
}

void LingeringClose(platform::AcceptedSocket& socket) {
  socket.ShutdownSend();
  char sink[4096];
  size_t dropped = 0;
  int64_t deadline = NowMillis() + kLingerMillis;
  while (dropped < kLingerBytesMax && NowMillis() < deadline) {
    if (socket.WaitReadable(kWaitSliceMillis) != platform::AcceptedSocket::Wait::kReady) continue;
    int64_t got = socket.Receive(sink, sizeof sink);
    if (got <= 0 && !(got < 0 && platform::IsWouldBlock(socket.error()))) break;
    if (got > 0) dropped += static_cast<size_t>(got);
  }
}

}  // namespace

ConnectionRequest* CurrentConnectionRequest() {
  return g_current_request;
}

std::string ConnectionRequest::remote() const {
  std::string ip;
  int port = -1;
  stream_.get_remote_ip_and_port(ip, port);
  return StrFormat("%s:%d", ip.c_str(), port);
}

ConnectionStream::ConnectionStream(platform::AcceptedSocket& socket,
                                   const std::atomic<bool>& stopping)
    : socket_(socket), stopping_(stopping), buffer_(kReadBufferSize) {}

bool ConnectionStream::WaitReady(bool for_write, int timeout_millis) const {
  int64_t deadline = NowMillis() + timeout_millis;
  for (;;) {
    auto ready =
        for_write ? socket_.WaitWritable(kWaitSliceMillis) : socket_.WaitReadable(kWaitSliceMillis);
    if (ready == platform::AcceptedSocket::Wait::kReady) return true;
    if (ready == platform::AcceptedSocket::Wait::kFailed) return false;
    if (stopping_.load() || NowMillis() >= deadline) return false;
  }
}

bool ConnectionStream::WaitForRequest() {
  if (begin_ < end_) return true;
  return WaitReady(false, kServiceKeepAliveMillis);
}

void ConnectionStream::BeginRequest() {
  phase_ = Phase::kHeader;
  header_block_.clear();
  header_too_large_ = false;
  bytes_written_ = 0;
}

int ConnectionStream::Fill() {
  if (begin_ < end_) return 1;
  begin_ = end_ = 0;
  for (;;) {
    if (!WaitReady(false, kServiceReadTimeoutMillis)) return -1;
    int64_t got = socket_.Receive(buffer_.data(), buffer_.size());
    if (got > 0) {
      end_ = static_cast<size_t>(got);
      return 1;
    }
    if (got == 0) return 0;
    if (!platform::IsWouldBlock(socket_.error())) return -1;
  }
}

bool ConnectionStream::is_readable() const {
  return begin_ < end_ || WaitReady(false, kServiceReadTimeoutMillis);
}

bool ConnectionStream::is_writable() const {
  return WaitReady(true, kServiceReadTimeoutMillis);
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (size == 0) return 0;
  if (header_too_large_) return -1;
  int filled = Fill();
  if (filled <= 0) return filled;
  size_t available = end_ - begin_;
  if (phase_ == Phase::kHeader) {
    // The header block is handed out up to its end and no further, byte by byte as
    // cpp-httplib asks for it, so that its end is seen exactly.
    size_t count = 0;
    while (count < size && count < available && phase_ == Phase::kHeader) {
      char c = buffer_[begin_ + count];
      ptr[count++] = c;
      header_block_.push_back(c);
      if (header_block_.size() > kServiceHeaderBlockMax) {
        header_too_large_ = true;
        return -1;
      }
      size_t length = header_block_.size();
      bool empty_line_ends =
          c == '\n' && ((length == 2 && header_block_[0] == '\r') ||
                        (length >= 3 && header_block_.compare(length - 3, 3, "\n\r\n") == 0));
      if (empty_line_ends) phase_ = Phase::kBody;
    }
    begin_ += count;
    return static_cast<ssize_t>(count);
  }
  // Bodies are read only by the handlers that take them (uploads and e-mail texts, which
  // bound what they keep); cpp-httplib reads none on its own for the methods served here.
  size_t count = std::min(size, available);
  std::memcpy(ptr, buffer_.data() + begin_, count);
  begin_ += count;
  return static_cast<ssize_t>(count);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (!WaitReady(true, kServiceReadTimeoutMillis)) return -1;
    int64_t put = socket_.Send(ptr + done, size - done);
    if (put < 0) {
      if (platform::IsWouldBlock(socket_.error())) continue;
      return -1;
    }
    done += static_cast<size_t>(put);
  }
  bytes_written_ += done;
  return static_cast<ssize_t>(done);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  if (!socket_.PeerAddress(&ip, &port)) {
    ip.clear();
    port = -1;
  }
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  if (!socket_.LocalAddress(&ip, &port)) {
    ip.clear();
    port = -1;
  }
}

ServiceHttpServer::ServiceHttpServer() {
  // cpp-httplib owns the queue it gets from this factory and deletes it.
  new_task_queue = [] { return new ConnectionThreads(kServiceConnectionsMax); };
  set_keep_alive_timeout(kServiceKeepAliveMillis / 1000);
  set_keep_alive_max_count(1000000);
}

void ServiceHttpServer::RequestStop() {
  stopping_.store(true);
  stop();
}

bool ServiceHttpServer::process_and_close_socket(socket_t sock) {
  platform::AcceptedSocket socket(sock);
  ConnectionStream stream(socket, stopping_);
  bool linger = false;
  while (!stopping_.load() && stream.WaitForRequest()) {
    stream.BeginRequest();
    ConnectionRequest request(stream);
    bool connection_closed = false;
    bool answered;
    {
      ScopedCurrentRequest current(&request);
      answered = process_request(stream, stopping_.load(), connection_closed, nullptr);
    }
    if (stream.header_too_large() && stream.bytes_written() == 0) {
      // The request line alone was too long: cpp-httplib gave up without a reply.
      static constexpr std::string_view kRefusal =
          "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n"
          "X-NVX-CONCLUSION: Error - Request Header Too Large\r\nX-NVX-LARCH: 0,0\r\n\r\n";
      stream.write(kRefusal.data(), kRefusal.size());
      if (refusal_logger_) refusal_logger_(request.remote());
    }
    linger = stream.header_too_large() || request.close_after_reply();
    if (!answered || connection_closed || linger) break;
  }
  if (linger) LingeringClose(socket);
  return true;
}

}  // namespace nvx::service
