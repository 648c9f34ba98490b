// The user's crontab as text, and the lines of it that NVXscheduledBackup owns. The
// backup's line ends with the marker "#NVXscheduledBackup"; it changes to the folder of
// the programs and starts NVXbackup there with its output appended to Logs/NVXbackup.out.
// The weekly restore test has a line of the same form with its own marker, which starts
// NVXbackup with restoretest-config.txt. Every other byte of the table is kept. Plain functions of
// text; any thread.
#ifndef NVX_SCHEDULER_CRONTAB_TABLE_H_
#define NVX_SCHEDULER_CRONTAB_TABLE_H_

#include <optional>
#include <string>
#include <string_view>

#include "jobfiles/backup_schedule_file.h"

namespace nvx::scheduler {

using jobfiles::Schedule;

using jobfiles::kCrontabMarker;
using jobfiles::kRestoreTestCrontabMarker;

// `folder` quoted for the shell that cron starts: in single quotes, with every "%"
// escaped for cron, which would otherwise end the command there. False when the folder
// cannot stand in a crontab line at all (a line end in its name).
[[nodiscard]] bool QuoteFolderForCron(std::string_view folder, std::string* quoted);

// The marked line (without its line end) that starts the backup in the folder whose
// quoted form is `quoted_folder` at the schedule's hour and day. `schedule` is not none.
std::string ScheduledLine(const Schedule& schedule, std::string_view quoted_folder);

// The line with kRestoreTestCrontabMarker that starts the restore test in that folder
// once a week, at jobfiles::RestoreTestTime of the backups' schedule (not none).
std::string RestoreTestLine(const Schedule& schedule, std::string_view quoted_folder);

// True for a line (without its line end) that ends with `marker`: by default one that
// NVXscheduledBackup wrote for the backup.
bool IsMarkedLine(std::string_view line, std::string_view marker = kCrontabMarker);

// The table with exactly one line marked with `marker`, `line`, in place of the first
// such line of `table` or else at its end; with no such line when `line` is none. Other
// lines keep their bytes and order; a last line without a line end gains one, as crontab
// demands.
std::string UpdatedTable(std::string_view table, const std::optional<std::string>& line,
                         std::string_view marker = kCrontabMarker);

}  // namespace nvx::scheduler

#endif  // NVX_SCHEDULER_CRONTAB_TABLE_H_
