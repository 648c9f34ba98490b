// Text building and writing that a signal handler may use: a line of at most 1,024 bytes
// in a fixed buffer, numbers in upper-case hexadecimal or decimal without printf, and a
// write that copes with short writes and interruptions. Nothing here allocates, locks or
// reads the locale. A ReportLine belongs to one thread at a time.
#ifndef NVX_PLATFORM_SIGNAL_SAFE_TEXT_H_
#define NVX_PLATFORM_SIGNAL_SAFE_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nvx::platform {

class ReportLine {
 public:
  static constexpr size_t kCapacity = 1024;

  // Appends as much of `text` as fits; the last two bytes stay free for EndLine.
  ReportLine& Text(std::string_view text);
  // Appends `value` in upper-case hexadecimal, padded with zeros to `min_digits`.
  ReportLine& Hex(uint64_t value, int min_digits);
  // Appends `value` in decimal, padded with zeros to `min_digits`.
  ReportLine& Decimal(uint64_t value, int min_digits);
  // Appends CR LF. A line cut at the capacity still ends with CR LF.
  ReportLine& EndLine();

  std::string_view view() const { return {buffer_, size_}; }
  void Clear() { size_ = 0; }

 private:
  ReportLine& Digits(uint64_t value, unsigned base, int min_digits);

  char buffer_[kCapacity];
  size_t size_ = 0;
};

// Writes all of `text` to the file descriptor, retrying interrupted and short writes.
// False when the descriptor refuses (the rest is then lost).
// A crash report has no one to tell of a failed write: its callers drop the result.
bool WriteFully(int fd, std::string_view text);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_SIGNAL_SAFE_TEXT_H_
