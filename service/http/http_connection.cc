#include "service/http/http_connection.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/text_format.h"
#include "service/commands/raw_headers.h"
#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

constexpr size_t kReadBufferSize = 65536;
// Waits are cut into slices of this length so that a stop request is seen soon.
constexpr int kWaitSliceMillis = 100;
// After a refusal whose request was not read whole, the connection keeps reading (and
// dropping) what the client still sends for this long, at most this much.
constexpr int kLingerMillis = 2000;
constexpr size_t kLingerBytesMax = 4 * 1024 * 1024;

int64_t NowMillis() {
  return platform::GetClock().MonotonicMillis();
}

}  // namespace

HttpConnection::HttpConnection(platform::ServerStream& stream, const ConnectionSettings& settings,
                               const std::atomic<bool>& stopping, const std::atomic<bool>& ended,
                               ServiceMetrics* metrics)
    : stream_(stream),
      settings_(settings),
      stopping_(stopping),
      ended_(ended),
      metrics_(metrics),
      buffer_(kReadBufferSize) {
  if (metrics_ != nullptr) metrics_->ConnectionOpened();
}

HttpConnection::~HttpConnection() {
  if (metrics_ != nullptr) metrics_->ConnectionClosed();
}

bool HttpConnection::WaitReady(bool for_write, int timeout_millis) const {
  int64_t deadline = NowMillis() + timeout_millis;
  for (;;) {
    // No slice outlasts the deadline, and a deadline that passed ends the wait before
    // bytes that keep coming could prolong it.
    int64_t left = deadline - NowMillis();
    if (left <= 0 || stopping_.load() || ended_.load()) return false;
    int slice = static_cast<int>(std::min<int64_t>(left, kWaitSliceMillis));
    auto ready = for_write ? stream_.WaitWritable(slice) : stream_.WaitReadable(slice);
    if (ready == platform::ServerStream::Wait::kReady) return true;
    if (ready == platform::ServerStream::Wait::kFailed) return false;
  }
}

bool HttpConnection::Open(std::string* failure) {
  failure->clear();
  int64_t deadline = NowMillis() + settings_.idle_timeout_millis;
  for (;;) {
    platform::ServerStream::OpenStep step = stream_.Open();
    if (step == platform::ServerStream::OpenStep::kOpen) return true;
    if (step == platform::ServerStream::OpenStep::kFailed) {
      *failure = stream_.open_failure();
      return false;
    }
    int64_t left = deadline - NowMillis();
    if (!WaitReady(false, static_cast<int>(std::max<int64_t>(left, 0)))) {
      if (!stopping_.load() && !ended_.load()) *failure = "no handshake within the idle time";
      return false;
    }
  }
}

bool HttpConnection::WaitForRequest() {
  if (begin_ < end_) return true;
  if (!FlushHeld()) return false;
  return WaitReady(false, settings_.idle_timeout_millis);
}

int HttpConnection::ReadWaitMillis() const {
  if (phase_ != Phase::kHeader) return settings_.read_timeout_millis;
  int64_t left = header_deadline_ - NowMillis();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(left, settings_.read_timeout_millis));
}

void HttpConnection::BeginRequest() {
  // A request whose first bytes came with the one before it: the client sends ahead.
  if (begin_ < end_) client_sends_ahead_ = true;
  phase_ = Phase::kHeader;
  header_deadline_ = NowMillis() + settings_.header_timeout_millis;
  header_block_.clear();
  header_too_large_ = false;
  length_unsound_ = false;
  bytes_written_ = 0;
}

bool HttpConnection::MayReadOn() const {
  if (stopping_.load() || ended_.load()) return false;
  return phase_ != Phase::kHeader || NowMillis() < header_deadline_;
}

int HttpConnection::Fill() {
  if (begin_ < end_) return 1;
  begin_ = end_ = 0;
  // What has arrived is taken at once: the socket is waited for only when nothing has.
  for (;;) {
    if (!MayReadOn()) return -1;
    int64_t got = stream_.Receive(buffer_.data(), buffer_.size());
    if (got > 0) {
      if (metrics_ != nullptr) metrics_->AddReceived(static_cast<uint64_t>(got));
      end_ = static_cast<size_t>(got);
      return 1;
    }
    if (got == 0) return 0;
    if (!stream_.WouldBlock()) return -1;
    if (!FlushHeld()) return -1;
    if (!WaitReady(false, ReadWaitMillis())) return -1;
  }
}

int HttpConnection::NextHeaderByte(char* byte) {
  if (header_too_large_ || length_unsound_) return -1;
  int filled = Fill();
  if (filled <= 0) return filled;
  char c = buffer_[begin_++];
  header_block_.push_back(c);
  if (header_block_.size() > kServiceHeaderBlockMax) {
    header_too_large_ = true;
    return -1;
  }
  size_t length = header_block_.size();
  bool empty_line_ends = phase_ == Phase::kHeader && c == '\n' &&
                         ((length == 2 && header_block_[0] == '\r') ||
                          (length >= 3 && header_block_.compare(length - 3, 3, "\n\r\n") == 0));
  if (empty_line_ends) {
    phase_ = Phase::kBody;
    if (!RawHeaders(header_block_).content_length_sound()) {
      length_unsound_ = true;
      return -1;
    }
  }
  *byte = c;
  return 1;
}

bool HttpConnection::ReadHeaderLine(std::string* line) {
  line->clear();
  for (;;) {
    char c = 0;
    int got = NextHeaderByte(&c);
    if (got < 0) return false;
    if (got == 0) return !line->empty();
    line->push_back(c);
    if (c == '\n') return true;
  }
}

int64_t HttpConnection::ReadBody(char* data, size_t size) {
  if (size == 0) return 0;
  if (header_too_large_ || length_unsound_) return -1;
  int filled = Fill();
  if (filled <= 0) return filled;
  size_t count = std::min(size, end_ - begin_);
  std::memcpy(data, buffer_.data() + begin_, count);
  begin_ += count;
  return static_cast<int64_t>(count);
}

bool HttpConnection::NextRequestWaiting() {
  if (begin_ < end_) return true;
  // A client that waits for each answer is not asked for more at every upload.
  if (!client_sends_ahead_ || !MayReadOn()) return false;
  begin_ = end_ = 0;
  int64_t got = stream_.Receive(buffer_.data(), buffer_.size());
  if (got <= 0) return false;
  if (metrics_ != nullptr) metrics_->AddReceived(static_cast<uint64_t>(got));
  end_ = static_cast<size_t>(got);
  return true;
}

bool HttpConnection::FlushHeld() {
  if (hold_failed_) return false;
  if (holds_.empty()) return true;
  // In the order of the replies: each wait returns at once when a later one's sync came.
  for (const std::function<bool()>& durable : holds_) {
    if (!durable()) {
      hold_failed_ = true;
      break;
    }
  }
  holds_.clear();
  std::string held;
  held.swap(held_);
  return !hold_failed_ && Write(held);
}

bool HttpConnection::Write(std::string_view bytes) {
  if (hold_failed_) return false;
  if (!holds_.empty()) {
    held_.append(bytes);
    return true;
  }
  size_t done = 0;
  // The socket is waited for only when it takes nothing.
  while (done < bytes.size()) {
    if (stopping_.load() || ended_.load()) return false;
    int64_t put = stream_.Send(bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (!stream_.WouldBlock()) return false;
      if (!WaitReady(true, settings_.read_timeout_millis)) return false;
      continue;
    }
    done += static_cast<size_t>(put);
    bytes_written_ += static_cast<uint64_t>(put);
    if (metrics_ != nullptr) metrics_->AddSent(static_cast<uint64_t>(put));
  }
  return true;
}

bool HttpConnection::SendFile(platform::File& file, int64_t offset, int64_t count) {
  if (!FlushHeld()) return false;
  int64_t end = offset + count;
  while (offset < end) {
    if (!WaitReady(true, settings_.read_timeout_millis)) return false;
    int64_t put = stream_.SendFromFile(file, &offset, static_cast<size_t>(end - offset));
    if (put < 0 && !stream_.WouldBlock()) return false;
    // A file that shrank since its size was taken cannot fill the announced length.
    if (put == 0) return false;
    if (put > 0) {
      bytes_written_ += static_cast<uint64_t>(put);
      if (metrics_ != nullptr) metrics_->AddSent(static_cast<uint64_t>(put));
    }
  }
  return true;
}

std::string HttpConnection::Remote() const {
  if (!remote_.empty()) return remote_;
  std::string ip;
  int port = -1;
  if (!stream_.PeerAddress(&ip, &port)) return ":-1";
  remote_ = StrFormat("%s:%d", ip.c_str(), port);
  return remote_;
}

void HttpConnection::LingeringClose() {
  FlushHeld();
  stream_.ShutdownSend();
  char sink[4096];
  size_t dropped = 0;
  int64_t deadline = NowMillis() + kLingerMillis;
  while (dropped < kLingerBytesMax && NowMillis() < deadline) {
    if (stream_.WaitReadable(kWaitSliceMillis) != platform::ServerStream::Wait::kReady) continue;
    int64_t got = stream_.Receive(sink, sizeof sink);
    if (got <= 0 && !(got < 0 && stream_.WouldBlock())) break;
    if (got > 0) {
      dropped += static_cast<size_t>(got);
      if (metrics_ != nullptr) metrics_->AddReceived(static_cast<uint64_t>(got));
    }
  }
}

}  // namespace nvx::service
