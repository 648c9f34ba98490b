// BackupSchedule.txt, the schedule the wizard writes into the install folder and
// NVXscheduledBackup turns into crontab lines: a heading comment, a blank line,
// "RunOnDay " + day and "RunAtTime " + time. Day is "all", "mon" ... "sun" or "none";
// time is a whole hour "0000" ... "2300". A fifth line "#RunRestoreTest weekly" asks for
// the weekly restore test as well; it is a comment to readers that do not know it, so a
// file with it still schedules the same backups there. The one writer of its lines and
// the one reader of its text; also the reader of the crontab line that puts it in force.
// Plain functions; any thread.
#ifndef NVX_JOBFILES_BACKUP_SCHEDULE_FILE_H_
#define NVX_JOBFILES_BACKUP_SCHEDULE_FILE_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::jobfiles {

inline constexpr std::string_view kScheduleFileName = "BackupSchedule.txt";

// The days, in lower case: every day, the weekdays from Monday, and no backups.
inline constexpr std::string_view kEveryDay = "all";
inline constexpr std::string_view kNoScheduleDay = "none";
inline constexpr std::array<std::string_view, 7> kWeekdays = {"mon", "tue", "wed", "thu",
                                                              "fri", "sat", "sun"};
// The time written with the day "none".
inline constexpr std::string_view kNoScheduleTime = "0000";

// The line that asks for the weekly restore test.
inline constexpr std::string_view kRestoreTestLine = "#RunRestoreTest weekly";

// The file holds five short lines: a larger one is refused, never read in part.
inline constexpr size_t kMaxScheduleFileBytes = 4096;

struct Schedule {
  // "all", "mon" ... "sun" in lower case, or "none" for no scheduled backups.
  std::string day;
  int hour = 0;  // 0 ... 23
  // The restore test runs once a week as well (only while backups are scheduled).
  bool restore_test = false;
  bool none() const { return day == kNoScheduleDay; }
};

// The time of a whole hour as the file writes it: 7 is "0700".
std::string TimeCode(int hour);

// The lines of the file (without line ends; the wizard ends them with CR LF): four, and
// kRestoreTestLine after them when `restore_test`.
std::vector<std::string> ScheduleFileLines(std::string_view day, std::string_view time,
                                           bool restore_test = false);

// Reads the schedule from the file's text (CR LF or LF lines). None, with the reason in
// *reason, when the text is not a schedule: a missing, repeated or unknown day or time, or
// a line that is neither a comment, blank, nor one of the two. Keywords and days ignore
// letter case. restore_test is set by a kRestoreTestLine, in any letter case; other
// comments are ignored.
[[nodiscard]] std::optional<Schedule> ParseSchedule(std::string_view text, std::string* reason);

// The marker that ends the one line of the user's crontab that NVXscheduledBackup keeps:
// "0 HOUR * * DAY cd 'FOLDER' && ... #NVXscheduledBackup", DAY "*" for every day.
inline constexpr std::string_view kCrontabMarker = "#NVXscheduledBackup";
// The schedule of the first marked line of a crontab table, the schedule in force; the day
// "none" when the table has no marked line. None when the marked line does not have the
// form NVXscheduledBackup writes. restore_test is set when backups are in force and the
// table also has a line marked with kRestoreTestCrontabMarker (declared below).
[[nodiscard]] std::optional<Schedule> ScheduleInCrontab(std::string_view table);

// The marker that ends NVXscheduledBackup's second line, which starts the restore test:
// "0 HOUR * * DAY cd 'FOLDER' && ... -f restoretest-config.txt ... #NVXscheduledRestoreTest".
inline constexpr std::string_view kRestoreTestCrontabMarker = "#NVXscheduledRestoreTest";
// The job file the restore test runs from, which the wizard writes beside config.txt.
inline constexpr std::string_view kRestoreTestConfigName = "restoretest-config.txt";

// When the weekly restore test runs: twelve hours after a backup, so that the backup
// before it has had time to finish and it never meets the next one. A weekly schedule's
// backup day, or Sunday's backup of a daily schedule, counts; past midnight the test
// runs on the next day. `schedule` is not none.
Schedule RestoreTestTime(const Schedule& schedule);

}  // namespace nvx::jobfiles

#endif  // NVX_JOBFILES_BACKUP_SCHEDULE_FILE_H_
