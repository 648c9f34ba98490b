// A clock for tests: time stands still until a test or a sleep moves it. Sleeping
// advances the clock at once instead of waiting. Install it with
// platform::ScopedClockOverride. Safe to use from several threads.
#ifndef NVX_TESTS_SUPPORT_FAKE_CLOCK_H_
#define NVX_TESTS_SUPPORT_FAKE_CLOCK_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace nvx::test {

class FakeClock final : public platform::Clock {
 public:
  // Starts at 2004-03-05 14:07:09 local time.
  FakeClock();

  int64_t NowSeconds() override;
  int64_t MonotonicMillis() override;
  void SleepMillis(int64_t milliseconds) override;
  platform::LocalTime LocalNow() override;

  void SetLocalTime(const platform::LocalTime& time);
  void SetNowSeconds(int64_t seconds);
  void AdvanceMillis(int64_t milliseconds);
  // Makes every MonotonicMillis read move the clock on by `milliseconds` first, so that
  // a time-out measured with this clock runs out after a few reads (a silent peer times
  // out at once instead of after minutes). 0 (the default) keeps time still.
  void SetAdvancePerRead(int64_t milliseconds);
  // Every sleep asked for so far, in order.
  std::vector<int64_t> Sleeps();

 private:
  std::mutex mutex_;
  int64_t now_millis_;
  int64_t advance_per_read_ = 0;
  platform::LocalTime local_;
  std::vector<int64_t> sleeps_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_SUPPORT_FAKE_CLOCK_H_
