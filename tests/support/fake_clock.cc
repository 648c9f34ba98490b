#include "tests/support/fake_clock.h"

namespace nvx::test {

FakeClock::FakeClock() : now_millis_(1078495629000) {
  local_.year = 2004;
  local_.month = 3;
  local_.day_of_week = 5;
  local_.day = 5;
  local_.hour = 14;
  local_.minute = 7;
  local_.second = 9;
}

int64_t FakeClock::NowSeconds() {
  std::lock_guard<std::mutex> lock(mutex_);
  return now_millis_ / 1000;
}

int64_t FakeClock::MonotonicMillis() {
  std::lock_guard<std::mutex> lock(mutex_);
  now_millis_ += advance_per_read_;
  return now_millis_;
}

void FakeClock::SetAdvancePerRead(int64_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  advance_per_read_ = milliseconds;
}

void FakeClock::SleepMillis(int64_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  sleeps_.push_back(milliseconds);
  now_millis_ += milliseconds;
}

platform::LocalTime FakeClock::LocalNow() {
  std::lock_guard<std::mutex> lock(mutex_);
  return local_;
}

void FakeClock::SetLocalTime(const platform::LocalTime& time) {
  std::lock_guard<std::mutex> lock(mutex_);
  local_ = time;
}

void FakeClock::SetNowSeconds(int64_t seconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  now_millis_ = seconds * 1000;
}

void FakeClock::AdvanceMillis(int64_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  now_millis_ += milliseconds;
}

std::vector<int64_t> FakeClock::Sleeps() {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

}  // namespace nvx::test
