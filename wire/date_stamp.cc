#include "wire/date_stamp.h"

#include <charconv>

#include "platform/file_time.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kFirstYear = 1601;
constexpr int64_t kLastYear = 30827;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct CivilDate {
  int64_t year, month, day;
};

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
  const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int64_t DaysInMonth(int64_t year, int64_t month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// One hexadecimal group of the stamp; a group past its end reads as 0.
std::optional<int64_t> HexGroup(std::string_view stamp, size_t position, size_t length) {
  if (position >= stamp.size()) return 0;
  std::string_view group = stamp.substr(position, length);
  int64_t value = 0;
  auto [end, error] = std::from_chars(group.data(), group.data() + group.size(), value, 16);
  if (error != std::errc() || end != group.data() + group.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> FormatDateStamp(int64_t utc_seconds) {
  int64_t days = utc_seconds / kSecondsPerDay;
  int64_t seconds_of_day = utc_seconds % kSecondsPerDay;
  if (seconds_of_day < 0) {
    seconds_of_day += kSecondsPerDay;
    days -= 1;
  }
  CivilDate date = CivilFromDays(days);
  if (date.year < kFirstYear || date.year > kLastYear) return std::nullopt;
  return StrFormat("%4.4X%2.2X%2.2X%2.2X%2.2X%2.2X", static_cast<unsigned>(date.year),
                   static_cast<unsigned>(date.month), static_cast<unsigned>(date.day),
                   static_cast<unsigned>(seconds_of_day / 3600),
                   static_cast<unsigned>(seconds_of_day / 60 % 60),
                   static_cast<unsigned>(seconds_of_day % 60));
}

std::optional<int64_t> ParseDateStamp(std::string_view stamp) {
  if (stamp.size() < 6) return std::nullopt;
  static constexpr size_t kGroups[][2] = {{0, 4}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 2}};
  int64_t parts[6];
  for (size_t i = 0; i < 6; ++i) {
    std::optional<int64_t> value = HexGroup(stamp, kGroups[i][0], kGroups[i][1]);
    if (!value) return std::nullopt;
    parts[i] = *value;
  }
  const auto [year, month, day, hour, minute, second] = parts;
  if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

bool IsDateStamp(std::string_view text) {
  if (text.size() != 14) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  static constexpr struct {
    size_t position;
    int64_t min, max;
  } kFields[] = {{4, 1, 12}, {6, 1, 31}, {8, 0, 23}, {10, 0, 59}, {12, 0, 60}};
  for (const auto& field : kFields) {
    std::optional<int64_t> value = HexGroup(text, field.position, 2);
    if (!value || *value < field.min || *value > field.max) return false;
  }
  return true;
}

bool ApplyDateStamp(const std::string& path, std::string_view stamp, int* error) {
  if (error != nullptr) *error = 0;
  std::optional<int64_t> seconds = ParseDateStamp(stamp);
  if (!seconds) return false;
  return platform::SetModificationTime(path, *seconds, error);
}

}  // namespace nvx
