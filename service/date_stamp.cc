#include "service/date_stamp.h"

#include <charconv>

#include "platform/text_format.h"

namespace nvx::service {
namespace {

// The civil date of a day count since 1970-01-01 (proleptic Gregorian calendar).
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t day_of_era = days - era * 146097;
  int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  int64_t shifted_month = (5 * day_of_year + 2) / 153;
  *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  *year = year_of_era + era * 400 + (*month <= 2 ? 1 : 0);
}

bool HexField(std::string_view text, size_t at, size_t width, int max, int min) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data() + at, text.data() + at + width, value, 16);
  return error == std::errc() && end == text.data() + at + width && value >= min && value <= max;
}

}  // namespace

std::string DateStampOf(int64_t seconds_since_epoch) {
  int64_t days = seconds_since_epoch / 86400;
  int64_t rest = seconds_since_epoch % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  int64_t year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(days, &year, &month, &day);
  if (year < 0 || year > 0xFFFF) year = 0;
  return StrFormat("%4.4X%2.2X%2.2X%2.2X%2.2X%2.2X", static_cast<unsigned>(year),
                   static_cast<unsigned>(month), static_cast<unsigned>(day),
                   static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                   static_cast<unsigned>(rest % 60));
}

bool IsDateStamp(std::string_view text) {
  if (text.size() != 14) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return HexField(text, 0, 4, 0xFFFF, 0) && HexField(text, 4, 2, 12, 1) &&
         HexField(text, 6, 2, 31, 1) && HexField(text, 8, 2, 23, 0) &&
         HexField(text, 10, 2, 59, 0) && HexField(text, 12, 2, 60, 0);
}

}  // namespace nvx::service
