#include "platform/clock.h"

#include <time.h>

#include <atomic>
#include <cerrno>

namespace nvx::platform {
namespace {

class SystemClock final : public Clock {
 public:
  int64_t NowSeconds() override { return static_cast<int64_t>(::time(nullptr)); }

  int64_t MonotonicMillis() override {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  }

  void SleepMillis(int64_t milliseconds) override {
    if (milliseconds <= 0) return;
    timespec wanted{static_cast<time_t>(milliseconds / 1000),
                    static_cast<long>((milliseconds % 1000) * 1000000)};
    timespec remaining{};
    while (::nanosleep(&wanted, &remaining) != 0 && errno == EINTR) wanted = remaining;
  }

  LocalTime LocalNow() override {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    LocalTime local = LocalTimeOf(now.tv_sec);
    local.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return local;
  }
};

SystemClock& TheSystemClock() {
  static SystemClock clock;
  return clock;
}

std::atomic<Clock*> g_override{nullptr};

}  // namespace

Clock& GetClock() {
  Clock* replaced = g_override.load(std::memory_order_acquire);
  return replaced != nullptr ? *replaced : TheSystemClock();
}

LocalTime LocalTimeOf(int64_t seconds_since_epoch) {
  time_t seconds = static_cast<time_t>(seconds_since_epoch);
  tm parts{};
  ::localtime_r(&seconds, &parts);
  LocalTime local;
  local.year = parts.tm_year + 1900;
  local.month = parts.tm_mon + 1;
  local.day_of_week = parts.tm_wday;
  local.day = parts.tm_mday;
  local.hour = parts.tm_hour;
  local.minute = parts.tm_min;
  local.second = parts.tm_sec;
  return local;
}

ScopedClockOverride::ScopedClockOverride(Clock* clock)
    : previous_(g_override.exchange(clock, std::memory_order_acq_rel)) {}

ScopedClockOverride::~ScopedClockOverride() {
  g_override.store(previous_, std::memory_order_release);
}

}  // namespace nvx::platform
