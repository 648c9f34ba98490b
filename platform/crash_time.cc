#include "platform/crash_time.h"

#include <time.h>

namespace nvx::platform {
namespace {

// Offsets change at most a few times a year and never twice within this step.
constexpr int64_t kScanStepSeconds = 6 * 3600;

int64_t UtcOffsetAt(int64_t seconds) {
  time_t moment = static_cast<time_t>(seconds);
  tm parts{};
  if (::localtime_r(&moment, &parts) == nullptr) return 0;
  return parts.tm_gmtoff;
}

// The first second in (earlier, later] whose offset differs from that of `earlier`;
// the caller knows that `later` differs.
int64_t FirstSecondOfChange(int64_t earlier, int64_t later) {
  const int64_t offset = UtcOffsetAt(earlier);
  while (later - earlier > 1) {
    int64_t middle = earlier + (later - earlier) / 2;
    if (UtcOffsetAt(middle) == offset) {
      earlier = middle;
    } else {
      later = middle;
    }
  }
  return later;
}

int64_t FloorDivide(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
  return quotient;
}

}  // namespace

void SignalSafeLocalTime::Prepare(int64_t start, int64_t horizon) {
  start_offset_ = UtcOffsetAt(start);
  change_count_ = 0;
  int64_t offset = start_offset_;
  for (int64_t at = start; at < start + horizon && change_count_ < kMaxOffsetChanges;) {
    int64_t next = at + kScanStepSeconds;
    int64_t next_offset = UtcOffsetAt(next);
    if (next_offset != offset) {
      int64_t from = FirstSecondOfChange(at, next);
      offset = UtcOffsetAt(from);
      changes_[change_count_++] = {from, offset};
      // Re-scan from the change: a second change inside the same step is then found too.
      at = from;
      continue;
    }
    at = next;
  }
}

int64_t SignalSafeLocalTime::OffsetAt(int64_t seconds) const {
  int64_t offset = start_offset_;
  for (int i = 0; i < change_count_ && changes_[i].from <= seconds; ++i) {
    offset = changes_[i].offset;
  }
  return offset;
}

LocalTime SignalSafeLocalTime::At(int64_t seconds) const {
  return CalendarOf(seconds + OffsetAt(seconds));
}

LocalTime CalendarOf(int64_t seconds) {
  const int64_t days = FloorDivide(seconds, 86400);
  const int64_t second_of_day = seconds - days * 86400;
  // Days to civil date in the proleptic Gregorian calendar, counting eras of 400 years
  // from 0000-03-01 so that the leap day falls at the end of each counted year.
  const int64_t shifted = days + 719468;
  const int64_t era = FloorDivide(shifted, 146097);
  const int64_t day_of_era = shifted - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;  // 0 is March
  LocalTime local;
  local.day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  local.month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  local.year = static_cast<int>(year_of_era + era * 400 + (local.month <= 2 ? 1 : 0));
  // 1970-01-01 was a Thursday.
  local.day_of_week = static_cast<int>(days + 4 - FloorDivide(days + 4, 7) * 7);
  local.hour = static_cast<int>(second_of_day / 3600);
  local.minute = static_cast<int>(second_of_day % 3600 / 60);
  local.second = static_cast<int>(second_of_day % 60);
  return local;
}

}  // namespace nvx::platform
