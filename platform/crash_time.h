// Local calendar time for code that must not take locks or allocate (a signal handler).
// The C library's local-time conversion may lock and read the time zone file, so the
// time zone's offset from UTC is learnt ahead, together with every change of the offset
// (daylight saving) in the weeks that follow; converting afterwards is plain arithmetic.
// Prepare on one thread before any reader exists; At may then be called from anywhere.
#ifndef NVX_PLATFORM_CRASH_TIME_H_
#define NVX_PLATFORM_CRASH_TIME_H_

#include <cstdint>

#include "platform/clock.h"

namespace nvx::platform {

class SignalSafeLocalTime {
 public:
  // How far ahead Prepare looks for changes of the offset.
  static constexpr int64_t kDefaultHorizonSeconds = 62 * 86400;
  static constexpr int kMaxOffsetChanges = 8;

  // Learns the local time zone's offset at `start` (seconds since 1970 UTC) and each
  // change of it up to `horizon` seconds later. Uses the C library; not signal-safe.
  void Prepare(int64_t start, int64_t horizon = kDefaultHorizonSeconds);

  // Local calendar time of `seconds` (since 1970 UTC), milliseconds 0. Before `start`
  // the offset at `start` applies, after the horizon the last one learnt. Signal-safe.
  [[nodiscard]] LocalTime At(int64_t seconds) const;

  // The offset from UTC in seconds that applies at `seconds`. Signal-safe.
  [[nodiscard]] int64_t OffsetAt(int64_t seconds) const;

 private:
  struct OffsetChange {
    int64_t from = 0;  // first second (UTC) of the new offset
    int64_t offset = 0;
  };

  int64_t start_offset_ = 0;
  OffsetChange changes_[kMaxOffsetChanges];
  int change_count_ = 0;
};

// Calendar fields of `seconds` since 1970 read as a wall clock (no time zone applied).
// Signal-safe.
[[nodiscard]] LocalTime CalendarOf(int64_t seconds);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_CRASH_TIME_H_
