#include "platform/signal_safe_text.h"

#include <unistd.h>

#include <cerrno>

namespace nvx::platform {
namespace {

constexpr size_t kLineEndSize = 2;
constexpr size_t kTextRoom = ReportLine::kCapacity - kLineEndSize;

}  // namespace

ReportLine& ReportLine::Text(std::string_view text) {
  for (char c : text) {
    if (size_ >= kTextRoom) break;
    buffer_[size_++] = c;
  }
  return *this;
}

ReportLine& ReportLine::Hex(uint64_t value, int min_digits) {
  return Digits(value, 16, min_digits);
}

ReportLine& ReportLine::Decimal(uint64_t value, int min_digits) {
  return Digits(value, 10, min_digits);
}

ReportLine& ReportLine::Digits(uint64_t value, unsigned base, int min_digits) {
  // 20 decimal digits hold any 64-bit value; padding beyond that is refused.
  constexpr int kMaxDigits = 20;
  if (min_digits > kMaxDigits) min_digits = kMaxDigits;
  char digits[kMaxDigits];
  int count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value % base];
    value /= base;
  } while (value != 0);
  while (count < min_digits) digits[count++] = '0';
  char text[kMaxDigits];
  for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  return Text(std::string_view(text, static_cast<size_t>(count)));
}

ReportLine& ReportLine::EndLine() {
  if (size_ + kLineEndSize <= kCapacity) {
    buffer_[size_++] = '\r';
    buffer_[size_++] = '\n';
  }
  return *this;
}

bool WriteFully(int fd, std::string_view text) {
  // errno belongs to the interrupted code; a signal handler must hand it back unchanged.
  const int saved_errno = errno;
  bool ok = true;
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (written == 0) {
      ok = false;
      break;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  errno = saved_errno;
  return ok;
}

}  // namespace nvx::platform
