#include "jobfiles/backup_schedule_file.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "platform/text_format.h"

namespace nvx::jobfiles {
namespace {

constexpr std::string_view kHeading = "#Norrvault Backup Schedule";
constexpr std::string_view kDayKeyword = "RunOnDay ";
constexpr std::string_view kTimeKeyword = "RunAtTime ";

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsKnownDay(std::string_view day) {
  return day == kEveryDay || day == kNoScheduleDay ||
         std::find(kWeekdays.begin(), kWeekdays.end(), day) != kWeekdays.end();
}

// "0000" ... "2300": the hour, or none.
std::optional<int> HourOf(std::string_view time) {
  if (time.size() != 4 || time.substr(2) != "00") return std::nullopt;
  if (time[0] < '0' || time[0] > '2' || time[1] < '0' || time[1] > '9') return std::nullopt;
  const int hour = (time[0] - '0') * 10 + (time[1] - '0');
  if (hour > 23) return std::nullopt;
  return hour;
}

std::nullopt_t Refuse(std::string* reason, std::string text) {
  *reason = std::move(text);
  return std::nullopt;
}

}  // namespace

std::string TimeCode(int hour) {
  return std::string{static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10)} + "00";
}

std::vector<std::string> ScheduleFileLines(std::string_view day, std::string_view time,
                                           bool restore_test) {
  std::vector<std::string> lines = {std::string(kHeading), " ",
                                    std::string(kDayKeyword) + std::string(day),
                                    std::string(kTimeKeyword) + std::string(time)};
  if (restore_test) lines.emplace_back(kRestoreTestLine);
  return lines;
}

std::optional<Schedule> ParseSchedule(std::string_view text, std::string* reason) {
  std::optional<std::string> day;
  std::optional<int> hour;
  bool restore_test = false;
  size_t line_number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string where = "line " + std::to_string(line_number) + ": ";

    if (LowerCase(TrimBlanks(line)) == LowerCase(kRestoreTestLine)) {
      restore_test = true;
    } else if (StartsWithIgnoreCase(line, kDayKeyword)) {
      if (day) return Refuse(reason, where + "a second RunOnDay");
      const std::string value = LowerCase(TrimBlanks(line.substr(kDayKeyword.size())));
      if (!IsKnownDay(value)) return Refuse(reason, where + "unknown day '" + value + "'");
      day = value;
    } else if (StartsWithIgnoreCase(line, kTimeKeyword)) {
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
  return Schedule{*day, *hour, restore_test};
}

namespace {

// Takes the first line of `table` off it: the line without its end and trailing blanks.
std::string_view TakeLine(std::string_view& table) {
  const size_t end = std::min(table.find('\n'), table.size());
  std::string_view line = table.substr(0, end);
  table.remove_prefix(std::min(end + 1, table.size()));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
    line.remove_suffix(1);
  }
  return line;
}

// The schedule of the first backup line, leaving restore_test unset.
std::optional<Schedule> BackupLineSchedule(std::string_view table) {
  while (!table.empty()) {
    std::string_view line = TakeLine(table);
    if (!line.ends_with(kCrontabMarker)) continue;
    // "0 HOUR * * DAY cd ...": the fields are separated by single blanks.
    std::array<std::string_view, 5> fields{};
    for (std::string_view& field : fields) {
      const size_t blank = line.find(' ');
      if (blank == std::string_view::npos) return std::nullopt;
      field = line.substr(0, blank);
      line.remove_prefix(blank + 1);
    }
    int hour = -1;
    const auto [rest, error] =
        std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), hour);
    if (error != std::errc() || rest != fields[1].data() + fields[1].size() || hour < 0 ||
        hour > 23 || fields[0] != "0" || fields[2] != "*" || fields[3] != "*") {
      return std::nullopt;
    }
    if (fields[4] == "*") return Schedule{std::string(kEveryDay), hour};
    for (std::string_view day : kWeekdays) {
      if (fields[4] == day) return Schedule{std::string(day), hour};
    }
    return std::nullopt;
  }
  return Schedule{std::string(kNoScheduleDay), 0};
}

bool HasLineMarked(std::string_view table, std::string_view marker) {
  while (!table.empty()) {
    const std::string_view line = TakeLine(table);
    if (line.ends_with(marker)) return true;
  }
  return false;
}

}  // namespace

std::optional<Schedule> ScheduleInCrontab(std::string_view table) {
  std::optional<Schedule> schedule = BackupLineSchedule(table);
  if (schedule && !schedule->none()) {
    schedule->restore_test = HasLineMarked(table, kRestoreTestCrontabMarker);
  }
  return schedule;
}

Schedule RestoreTestTime(const Schedule& schedule) {
  size_t day = kWeekdays.size() - 1;  // Sunday
  for (size_t weekday = 0; weekday < kWeekdays.size(); ++weekday) {
    if (schedule.day == kWeekdays[weekday]) day = weekday;
  }
  int hour = schedule.hour + 12;
  if (hour >= 24) {
    hour -= 24;
    day = (day + 1) % kWeekdays.size();
  }
  return Schedule{std::string(kWeekdays[day]), hour, true};
}

}  // namespace nvx::jobfiles
