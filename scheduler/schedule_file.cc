#include "scheduler/schedule_file.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace nvx::scheduler {
namespace {

constexpr std::string_view kDayKeyword = "RunOnDay ";
constexpr std::string_view kTimeKeyword = "RunAtTime ";
constexpr std::array<std::string_view, 9> kDays = {"all", "mon", "tue", "wed", "thu",
                                                   "fri", "sat", "sun", "none"};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

bool StartsWithKeyword(std::string_view line, std::string_view keyword) {
  return line.size() >= keyword.size() &&
         LowerCase(line.substr(0, keyword.size())) == LowerCase(keyword);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// "0000" ... "2300": the hour, or none.
std::optional<int> HourOf(std::string_view time) {
  if (time.size() != 4 || time.substr(2) != "00") return std::nullopt;
  if (time[0] < '0' || time[0] > '2' || time[1] < '0' || time[1] > '9') return std::nullopt;
  const int hour = (time[0] - '0') * 10 + (time[1] - '0');
  if (hour > 23) return std::nullopt;
  return hour;
}

bool Refuse(std::string* reason, std::string text) {
  *reason = std::move(text);
  return false;
}

}  // namespace

bool ParseSchedule(std::string_view text, Schedule* schedule, std::string* reason) {
  std::optional<std::string> day;
  std::optional<int> hour;
  size_t line_number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = "line " + std::to_string(line_number) + ": ";

    if (StartsWithKeyword(line, kDayKeyword)) {
      if (day) return Refuse(reason, where + "a second RunOnDay");
      const std::string value = LowerCase(TrimBlanks(line.substr(kDayKeyword.size())));
      if (std::find(kDays.begin(), kDays.end(), value) == kDays.end()) {
        return Refuse(reason, where + "unknown day '" + value + "'");
      }
      day = value;
    } else if (StartsWithKeyword(line, kTimeKeyword)) {
      if (hour) return Refuse(reason, where + "a second RunAtTime");
      const std::string_view value = TrimBlanks(line.substr(kTimeKeyword.size()));
      hour = HourOf(value);
      if (!hour) {
        return Refuse(reason,
                      where + "time '" + std::string(value) + "' is not a whole hour 0000-2300");
      }
    } else if (!TrimBlanks(line).empty() && line.front() != '#') {
      return Refuse(reason, where + "neither RunOnDay nor RunAtTime");
    }
  }
  if (!day) return Refuse(reason, "no RunOnDay line");
  if (!hour) return Refuse(reason, "no RunAtTime line");
  schedule->day = *day;
  schedule->hour = *hour;
  return true;
}

}  // namespace nvx::scheduler
