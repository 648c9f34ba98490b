// Local time without the C library's time-zone code: calendar arithmetic and the offsets
// learnt ahead, compared with the C library's own conversion.
#include <chrono>
#include <cstdint>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/crash_time.h"
#include "tests/support/scoped_time_zone.h"

namespace nvx::platform {
namespace {

void ExpectSameTime(const LocalTime& actual, const LocalTime& expected, int64_t seconds) {
  EXPECT_EQ(actual.year, expected.year) << seconds;
  EXPECT_EQ(actual.month, expected.month) << seconds;
  EXPECT_EQ(actual.day, expected.day) << seconds;
  EXPECT_EQ(actual.day_of_week, expected.day_of_week) << seconds;
  EXPECT_EQ(actual.hour, expected.hour) << seconds;
  EXPECT_EQ(actual.minute, expected.minute) << seconds;
  EXPECT_EQ(actual.second, expected.second) << seconds;
}

TEST(CrashTimeTest, CalendarMatchesTheStandardCalendar) {
  using namespace std::chrono;
  // From 1900 to 2300 in uneven steps, across leap days and century years.
  for (int64_t seconds = -2208988800; seconds < 10413792000; seconds += 86400 * 13 + 3607) {
    const sys_seconds moment{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss<std::chrono::seconds> time{moment - day};
    LocalTime expected;
    expected.year = static_cast<int>(date.year());
    expected.month = static_cast<int>(static_cast<unsigned>(date.month()));
    expected.day = static_cast<int>(static_cast<unsigned>(date.day()));
    expected.day_of_week = static_cast<int>(weekday(day).c_encoding());
    expected.hour = static_cast<int>(time.hours().count());
    expected.minute = static_cast<int>(time.minutes().count());
    expected.second = static_cast<int>(time.seconds().count());
    ExpectSameTime(CalendarOf(seconds), expected, seconds);
    if (HasFailure()) return;
  }
}

TEST(CrashTimeTest, KnownDates) {
  const struct {
    int64_t seconds;
    int year, month, day, day_of_week, hour, minute, second;
  } cases[] = {
      {0, 1970, 1, 1, 4, 0, 0, 0},           {-1, 1969, 12, 31, 3, 23, 59, 59},
      {951782400, 2000, 2, 29, 2, 0, 0, 0},  {4107542400, 2100, 3, 1, 1, 0, 0, 0},
      {1078495629, 2004, 3, 5, 5, 14, 7, 9},
  };
  for (const auto& c : cases) {
    LocalTime expected;
    expected.year = c.year;
    expected.month = c.month;
    expected.day = c.day;
    expected.day_of_week = c.day_of_week;
    expected.hour = c.hour;
    expected.minute = c.minute;
    expected.second = c.second;
    ExpectSameTime(CalendarOf(c.seconds), expected, c.seconds);
  }
}

// Over the weeks after preparing, the learnt offsets give exactly the C library's local
// time, through changes of daylight saving time in both directions.
TEST(CrashTimeTest, LearntOffsetsFollowTheTimeZone) {
  const struct {
    const char* zone;
    int64_t start;
  } cases[] = {
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1709251200},      // 2024-03-01, summer time begins
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1726358400},      // 2024-09-15, summer time ends
      {"ACST-9:30ACDT,M10.1.0,M4.1.0/3", 1709251200},  // half-hour zone, summer time ends
      {"NVX-05:30", 1709251200},                       // no daylight saving time
      {"UTC0", 1709251200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.zone);
    test::ScopedTimeZone zone(c.zone);
    SignalSafeLocalTime local;
    local.Prepare(c.start);
    for (int64_t t = c.start; t < c.start + SignalSafeLocalTime::kDefaultHorizonSeconds;
         t += 3600 + 17) {
      ExpectSameTime(local.At(t), LocalTimeOf(t), t);
      if (HasFailure()) return;
    }
  }
}

TEST(CrashTimeTest, ChangeOfOffsetFallsOnTheExactSecond) {
  test::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  SignalSafeLocalTime local;
  local.Prepare(1709251200);
  const int64_t change = 1711846800;  // 2024-03-31 01:00:00 UTC
  EXPECT_EQ(local.OffsetAt(change - 1), 3600);
  EXPECT_EQ(local.OffsetAt(change), 7200);
  const LocalTime before = local.At(change - 1);
  const LocalTime after = local.At(change);
  EXPECT_EQ(before.hour * 3600 + before.minute * 60 + before.second, 1 * 3600 + 59 * 60 + 59);
  EXPECT_EQ(after.hour * 3600 + after.minute * 60 + after.second, 3 * 3600);
}

}  // namespace
}  // namespace nvx::platform
