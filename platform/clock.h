// The clock and sleep of the whole system, replaceable so that tests never wait out real
// pauses. GetClock() returns the process's clock: the system clock unless a test has put
// another in its place with ScopedClockOverride. Safe to call from any thread; a test
// installs its clock before it starts the threads that use it.
#ifndef NVX_PLATFORM_CLOCK_H_
#define NVX_PLATFORM_CLOCK_H_

#include <cstdint>

namespace nvx::platform {

// Local calendar time, as the reports and the log print it.
struct LocalTime {
  int year = 0;
  int month = 0;        // 1 to 12
  int day_of_week = 0;  // 0 Sunday to 6 Saturday
  int day = 0;          // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 UTC.
  [[nodiscard]] virtual int64_t NowSeconds() = 0;
  // A steadily rising count of milliseconds, for time-outs.
  [[nodiscard]] virtual int64_t MonotonicMillis() = 0;
  virtual void SleepMillis(int64_t milliseconds) = 0;
  [[nodiscard]] virtual LocalTime LocalNow() = 0;
};

[[nodiscard]] Clock& GetClock();

// Local calendar time of a moment given in seconds since 1970 (local time zone).
[[nodiscard]] LocalTime LocalTimeOf(int64_t seconds_since_epoch);

// Replaces the process's clock for the lifetime of the object.
class ScopedClockOverride {
 public:
  explicit ScopedClockOverride(Clock* clock);
  ~ScopedClockOverride();
  ScopedClockOverride(const ScopedClockOverride&) = delete;
  ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;

 private:
  Clock* previous_;
};

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_CLOCK_H_
