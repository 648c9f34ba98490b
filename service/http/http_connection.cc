#include "service/http/http_connection.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "service/commands/raw_headers.h"
#include "service/http/connection_threads.h"
#include "service/store/service_limits.h"

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

constexpr std::string_view kBusy = "Error - Service Busy";
constexpr std::string_view kHeaderTooLarge = "Error - Request Header Too Large";
constexpr std::string_view kBadRequest = "Error - Bad Request";

thread_local ConnectionRequest* g_current_request = nullptr;

// A reply made here, without the HTTP library: no body, the connection ends after it.
std::string RefusalText(int status, std::string_view reason, std::string_view conclusion) {
  return StrFormat(
      "HTTP/1.1 %d %.*s\r\nConnection: close\r\nContent-Length: 0\r\n"
      "X-NVX-CONCLUSION: %.*s\r\nX-NVX-LARCH: 0,0\r\n\r\n",
      status, static_cast<int>(reason.size()), reason.data(), static_cast<int>(conclusion.size()),
      conclusion.data());
}

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
                                   const ConnectionSettings& settings,
                                   const std::atomic<bool>& stopping,
                                   const std::atomic<bool>& ended)
    : socket_(socket),
      settings_(settings),
      stopping_(stopping),
      ended_(ended),
      buffer_(kReadBufferSize) {}

bool ConnectionStream::WaitReady(bool for_write, int timeout_millis) const {
  int64_t deadline = NowMillis() + timeout_millis;
  for (;;) {
    // No slice outlasts the deadline, and a deadline that passed ends the wait before
    // bytes that keep coming could prolong it.
    int64_t left = deadline - NowMillis();
    if (left <= 0 || stopping_.load() || ended_.load()) return false;
    int slice = static_cast<int>(std::min<int64_t>(left, kWaitSliceMillis));
    auto ready = for_write ? socket_.WaitWritable(slice) : socket_.WaitReadable(slice);
    if (ready == platform::AcceptedSocket::Wait::kReady) return true;
    if (ready == platform::AcceptedSocket::Wait::kFailed) return false;
  }
}

bool ConnectionStream::WaitForRequest() {
  if (begin_ < end_) return true;
  return WaitReady(false, settings_.idle_timeout_millis);
}

int ConnectionStream::ReadWaitMillis() const {
  if (phase_ != Phase::kHeader) return settings_.read_timeout_millis;
  int64_t left = header_deadline_ - NowMillis();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(left, settings_.read_timeout_millis));
}

void ConnectionStream::BeginRequest() {
  phase_ = Phase::kHeader;
  header_deadline_ = NowMillis() + settings_.header_timeout_millis;
  header_block_.clear();
  header_too_large_ = false;
  length_unsound_ = false;
  bytes_written_ = 0;
  sent_ahead_ = 0;
}

int ConnectionStream::Fill() {
  if (begin_ < end_) return 1;
  begin_ = end_ = 0;
  for (;;) {
    if (!WaitReady(false, ReadWaitMillis())) return -1;
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
  return begin_ < end_ || WaitReady(false, ReadWaitMillis());
}

bool ConnectionStream::is_writable() const {
  return WaitReady(true, settings_.read_timeout_millis);
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (size == 0) return 0;
  if (header_too_large_ || length_unsound_) return -1;
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
      if (empty_line_ends) {
        phase_ = Phase::kBody;
        // The read that ends the block fails, so the HTTP library takes the block for a
        // broken one and answers "400"; the body is never read.
        if (!RawHeaders(header_block_).content_length_sound()) {
          length_unsound_ = true;
          return -1;
        }
      }
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

bool ConnectionStream::SendFileAhead(platform::File& file, int64_t offset, int64_t count) {
  int64_t end = offset + count;
  while (offset < end) {
    if (!WaitReady(true, settings_.read_timeout_millis)) return false;
    int64_t put = socket_.SendFromFile(file, &offset, static_cast<size_t>(end - offset));
    if (put < 0 && !platform::IsWouldBlock(socket_.error())) return false;
    // A file that shrank since its size was taken cannot fill the announced length.
    if (put == 0) return false;
    if (put > 0) sent_ahead_ += static_cast<uint64_t>(put);
  }
  return true;
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  if (sent_ahead_ > 0) {
    size_t taken = static_cast<size_t>(std::min<uint64_t>(sent_ahead_, size));
    sent_ahead_ -= taken;
    bytes_written_ += taken;
    return static_cast<ssize_t>(taken);
  }
  size_t done = 0;
  while (done < size) {
    if (!WaitReady(true, settings_.read_timeout_millis)) return -1;
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

ServiceHttpServer::ServiceHttpServer(const ConnectionSettings& settings) : settings_(settings) {
  // cpp-httplib owns the queue it gets from this factory and deletes it after its
  // accepting loop ended.
  new_task_queue = [this] {
    threads_ = new ConnectionThreads(settings_.connections, settings_.connections_per_address);
    return threads_;
  };
  set_keep_alive_max_count(1000000);
  set_tcp_nodelay(true);
}

bool ServiceHttpServer::LengthenListenQueue() {
  return platform::SetListenQueueLength(static_cast<int>(svr_sock_.load()),
                                        kServiceListenQueueLength);
}

void ServiceHttpServer::RequestStop() {
  stopping_.store(true);
  stop();
}

bool ServiceHttpServer::process_and_close_socket(socket_t sock) {
  auto socket = std::make_shared<platform::AcceptedSocket>(sock);
  // Replies are written in pieces (header, body); none may wait for the client's
  // acknowledgement of the one before.
  socket->SetNoDelay();
  std::string ip;
  int port = -1;
  socket->PeerAddress(&ip, &port);
  if (threads_->Start(ip,
                      [this, socket](ConnectionSlot& slot) { ServeConnection(*socket, slot); })) {
    return true;
  }
  // Refused on the accepting thread: the reply fits an empty send buffer, so sending it
  // never waits. What the client sent already is read first, so that closing does not
  // reset the connection before the reply is read.
  std::string busy = RefusalText(503, "Service Unavailable", kBusy);
  socket->Send(busy.data(), busy.size());
  socket->ShutdownSend();
  char sink[4096];
  for (int pieces = 0; pieces < 4 && socket->Receive(sink, sizeof sink) > 0; ++pieces) {
  }
  if (refusal_logger_) {
    refusal_logger_(StrFormat("%s:%d", ip.c_str(), port), 503, kBusy);
  }
  return true;
}

void ServiceHttpServer::ServeConnection(platform::AcceptedSocket& socket, ConnectionSlot& slot) {
  ConnectionStream stream(socket, settings_, stopping_, slot.ended());
  bool linger = false;
  // Idle from admission until the first byte of a request, and again after each reply.
  while (!stopping_.load() && stream.WaitForRequest() && slot.Serving()) {
    stream.BeginRequest();
    ConnectionRequest request(stream);
    bool connection_closed = false;
    bool answered;
    {
      ScopedCurrentRequest current(&request);
      answered = process_request(stream, stopping_.load(), connection_closed, nullptr);
    }
    if ((stream.header_too_large() || stream.length_unsound()) && stream.bytes_written() == 0) {
      // cpp-httplib gave up without a reply (the request line alone was too long, or the
      // block ended where it did not look).
      std::string_view conclusion =
          stream.header_too_large() ? kHeaderTooLarge : std::string_view(kBadRequest);
      std::string refusal = RefusalText(400, "Bad Request", conclusion);
      stream.write(refusal.data(), refusal.size());
      if (refusal_logger_) refusal_logger_(request.remote(), 400, conclusion);
    }
    linger = stream.header_too_large() || stream.length_unsound() || request.close_after_reply();
    if (!answered || connection_closed || linger) break;
    slot.WaitingForRequest();
  }
  if (linger) LingeringClose(socket);
}

}  // namespace nvx::service
