#include "protocol/connection.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/text_format.h"

namespace nvx {

uint16_t PortFromText(std::string_view port_text) {
  // Anything but a whole number in range gives 0, a port no connection reaches: a
  // mistyped port fails cleanly instead of quietly reaching another one.
  uint32_t port = 0;
  if (port_text.empty()) return 0;
  for (char c : port_text) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + static_cast<uint32_t>(c - '0');
    if (port > 0xFFFF) return 0;
  }
  return static_cast<uint16_t>(port);
}

Connection::Connection(const std::atomic<bool>* stop_requested) : stop_requested_(stop_requested) {}

void Connection::Retarget(std::string_view host, std::string_view port_text) {
  receive_timeout_seconds_ = kDefaultReceiveTimeoutSeconds;
  Close();
  std::string new_host(host.substr(0, kConnectionHostMax));
  // The address belongs to the host it was resolved from.
  if (new_host != host_) address_ = 0;
  host_ = std::move(new_host);
  port_ = PortFromText(port_text);
}

bool Connection::StopRequested() const {
  return stop_requested_ != nullptr && stop_requested_->load(std::memory_order_acquire);
}

bool Connection::Fail(std::string_view failure_text, int error) {
  last_error_ = error;
  failure_text_ = std::string(failure_text.substr(0, kFailureTextMax));
  return false;
}

bool Connection::Open() {
  if (is_open()) return true;
  if (address_ == 0) {
    int error = platform::ResolveIPv4(host_, &address_);
    if (error != 0) {
      address_ = 0;
      return Fail("RACommLookup failed", error);
    }
  }
  if (!socket_.Create()) return Fail("socket create failed", socket_.error());
  if (!socket_.Connect(address_, port_, [this] { return StopRequested(); })) {
    int error = socket_.error();
    socket_.Close();
    return Fail("connect failed", error);
  }
  open_ = true;
  return true;
}

void Connection::Close() {
  peeked_ = 0;
  if (!open_) return;
  open_ = false;
  tls_.reset();
  socket_.Close();
}

bool Connection::StartTls(platform::TlsClientContext& context, const std::string& verify_host) {
  tls_refusal_ = platform::TlsRefusal::kNone;
  tls_detail_.clear();
  if (!is_open()) return Fail("TLS handshake failed", platform::kErrorCancelled);
  tls_ = platform::TlsSession::Begin(context, socket_, verify_host, &tls_detail_);
  if (tls_ == nullptr) {
    Close();
    return Fail("TLS handshake failed", platform::kErrorTlsProtocol);
  }
  const int64_t deadline = ReceiveDeadline();
  while (!tls_->Handshake()) {
    if (tls_->wait() == platform::TlsSession::Wait::kNone) {
      tls_refusal_ = tls_->refusal();
      tls_detail_ = tls_->error_text();
      const int error = tls_->error();
      Close();
      return Fail("TLS handshake failed", error);
    }
    if (!WaitForTls(deadline)) return Fail("TLS handshake failed", last_error_);
  }
  return true;
}

bool Connection::WaitForTls(int64_t deadline_millis) {
  return WaitUntil(tls_->wait() == platform::TlsSession::Wait::kReadable, deadline_millis);
}

void Connection::CloseFailed(std::string_view failure_text, int32_t error) {
  Close();
  (void)Fail(failure_text, error);  // the failure is the caller's to report
}

void Connection::CloseBroken(int32_t error) {
  last_error_ = error;
  Close();
}

bool Connection::ReadyForRequest() {
  if (!is_open()) return false;
  if (tls_ == nullptr) return socket_.WaitReadable(0) == platform::Socket::WaitResult::kTimeout;
  if (!tls_->HasPending()) {
    const platform::Socket::WaitResult waited = socket_.WaitReadable(0);
    if (waited == platform::Socket::WaitResult::kTimeout) return true;
    if (waited == platform::Socket::WaitResult::kError) return false;
  }
  // A TLS service sends session tickets after the handshake: records that carry no
  // answer. Looking takes them in; only the peer's close or stray bytes are left.
  char byte = 0;
  return tls_->PeekSome(&byte, 1) < 0 && tls_->wait() == platform::TlsSession::Wait::kReadable;
}

std::string Connection::FailureDescription() const {
  // The middle figure is a status that no connection ever sets; the line keeps its
  // place so that logs read the same as before.
  return StrFormat("%s 0 %d", failure_text_.c_str(), last_error_);
}

int64_t Connection::ReceiveDeadline() const {
  return platform::GetClock().MonotonicMillis() + int64_t{receive_timeout_seconds_} * 1000;
}

bool Connection::WaitUntil(bool readable, int64_t deadline) {
  platform::Clock& clock = platform::GetClock();
  for (;;) {
    if (StopRequested()) {
      last_error_ = platform::kErrorCancelled;
      Close();
      return false;
    }
    int64_t remaining = deadline - clock.MonotonicMillis();
    if (remaining <= 0) {
      last_error_ = platform::kErrorTimedOut;
      Close();
      return false;
    }
    int slice = static_cast<int>(std::min<int64_t>(remaining, kWaitSliceMillis));
    platform::Socket::WaitResult waited =
        readable ? socket_.WaitReadable(slice) : socket_.WaitWritable(slice);
    if (waited == platform::Socket::WaitResult::kReady) return true;
    if (waited == platform::Socket::WaitResult::kError) {
      last_error_ = socket_.error();
      Close();
      return false;
    }
  }
}

bool Connection::SendAll(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t offset = 0;
  // Each call offers everything that is left: the socket takes what fits, and a file's
  // piece leaves in a few system calls rather than one per few kilobytes.
  while (offset < size) {
    if (!is_open()) {
      last_error_ = platform::kErrorCancelled;
      return false;
    }
    if (tls_ != nullptr) {
      int64_t sent = tls_->SendSome(bytes + offset, size - offset);
      if (sent > 0) {
        offset += static_cast<size_t>(sent);
        continue;
      }
      if (tls_->wait() == platform::TlsSession::Wait::kNone) {
        last_error_ = tls_->error();
        return false;
      }
      if (!WaitForTls(ReceiveDeadline())) return false;
      continue;
    }
    int64_t sent = socket_.SendSome(bytes + offset, size - offset);
    if (sent < 0) {
      last_error_ = socket_.error();
      return false;
    }
    if (sent == 0 && !WaitUntil(/*readable=*/false, ReceiveDeadline())) return false;
    offset += static_cast<size_t>(sent);
  }
  return true;
}

bool Connection::SendFileRange(platform::File& file, int64_t offset, size_t count) {
  if (tls_ != nullptr) return SendFileRangeTls(file, offset, count);
  const int64_t end = offset + static_cast<int64_t>(count);
  while (offset < end) {
    if (!is_open()) {
      last_error_ = platform::kErrorCancelled;
      return false;
    }
    int64_t sent = socket_.SendFromFile(file, &offset, static_cast<size_t>(end - offset));
    if (sent < 0) {
      last_error_ = socket_.error();
      return false;
    }
    if (sent > 0) continue;
    // Nothing went. Only a full socket is waited for: asked afterwards whether the socket
    // has room, a peer that has just read (or gone) would make a full socket look like a
    // file that ended, and fail a sound transfer.
    if (socket_.error() != platform::kErrorWouldBlock) {
      last_error_ = kErrorFileEnded;
      return false;
    }
    if (!WaitUntil(/*readable=*/false, ReceiveDeadline())) return false;
  }
  return true;
}

bool Connection::SendFileRangeTls(platform::File& file, int64_t offset, size_t count) {
  const int64_t end = offset + static_cast<int64_t>(count);
  if (tls_->KernelSends()) {
    while (offset < end) {
      if (!is_open()) {
        last_error_ = platform::kErrorCancelled;
        return false;
      }
      int64_t sent = tls_->SendFromFile(file, &offset, static_cast<size_t>(end - offset));
      if (sent > 0) continue;
      if (sent == 0) {
        last_error_ = kErrorFileEnded;
        return false;
      }
      if (tls_->wait() == platform::TlsSession::Wait::kNone) {
        last_error_ = tls_->error();
        return false;
      }
      if (!WaitForTls(ReceiveDeadline())) return false;
    }
    return true;
  }
  // Piece by piece through the connection's buffer: memory stays the same whatever the
  // file's size.
  if (file_piece_.empty()) file_piece_.resize(kTlsFilePieceSize);
  while (offset < end) {
    const size_t wanted = static_cast<size_t>(std::min<int64_t>(end - offset, kTlsFilePieceSize));
    const int64_t got = file.ReadAt(file_piece_.data(), wanted, offset);
    if (got <= 0) {
      last_error_ = got == 0 ? kErrorFileEnded : file.error();
      return false;
    }
    if (!SendAll(file_piece_.data(), static_cast<size_t>(got))) return false;
    offset += got;
  }
  return true;
}

int64_t Connection::ReceiveSome(void* buffer, size_t size) {
  return ReceiveSomeBy(buffer, size, ReceiveDeadline());
}

int64_t Connection::ReceiveSomeBy(void* buffer, size_t size, int64_t deadline_millis) {
  return ReceiveBy(buffer, size, deadline_millis, /*peek=*/false);
}

int64_t Connection::PeekSomeBy(void* buffer, size_t size, int64_t deadline_millis) {
  return ReceiveBy(buffer, size, deadline_millis, /*peek=*/true);
}

int64_t Connection::ReceiveBy(void* buffer, size_t size, int64_t deadline_millis, bool peek) {
  if (!is_open()) {
    last_error_ = platform::kErrorCancelled;
    return -1;
  }
  if (tls_ != nullptr) return ReceiveTlsBy(buffer, size, deadline_millis, peek);
  for (;;) {
    if ((peek || peeked_ == 0) && !WaitUntil(/*readable=*/true, deadline_millis)) return -1;
    int64_t received = peek ? socket_.PeekSome(buffer, size) : socket_.ReceiveSome(buffer, size);
    if (received > 0) {
      const auto count = static_cast<size_t>(received);
      peeked_ = peek ? count : peeked_ - std::min(peeked_, count);
      return received;
    }
    peeked_ = 0;
    if (received == 0) {
      Close();
      return 0;
    }
    // Readable but nothing there: a spurious wake-up; wait again.
    if (socket_.error() == platform::kErrorWouldBlock) continue;
    last_error_ = socket_.error();
    Close();
    return -1;
  }
}

int64_t Connection::ReceiveTlsBy(void* buffer, size_t size, int64_t deadline_millis, bool peek) {
  // The session may hold decrypted bytes the socket no longer shows: it is asked first,
  // and waited for only when it says so.
  for (;;) {
    if (StopRequested()) {
      last_error_ = platform::kErrorCancelled;
      Close();
      return -1;
    }
    int64_t received = peek ? tls_->PeekSome(buffer, size) : tls_->ReceiveSome(buffer, size);
    if (received > 0) return received;
    if (received == 0) {
      Close();
      return 0;
    }
    if (tls_->wait() == platform::TlsSession::Wait::kNone) {
      last_error_ = tls_->error();
      Close();
      return -1;
    }
    if (!WaitForTls(deadline_millis)) return -1;
  }
}

}  // namespace nvx
