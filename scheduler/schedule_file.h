// The schedule the wizard leaves in BackupSchedule.txt: lines "RunOnDay " + day and
// "RunAtTime " + time (CR LF or LF), beside a heading comment and a blank line. Day is
// "all", "mon" ... "sun" or "none"; time is a whole hour "0000" ... "2300". Plain
// functions of text; any thread.
#ifndef NVX_SCHEDULER_SCHEDULE_FILE_H_
#define NVX_SCHEDULER_SCHEDULE_FILE_H_

#include <string>
#include <string_view>

namespace nvx::scheduler {

struct Schedule {
  // "all", "mon" ... "sun" in lower case, or "none" for no scheduled backups.
  std::string day;
  int hour = 0;  // 0 ... 23
  bool none() const { return day == "none"; }
};

// Reads the schedule from the file's text. False, with the reason in *reason, when the
// text is not a schedule: a missing, repeated or unknown day or time, or a line that is
// neither a comment, blank, nor one of the two. Keywords and days ignore letter case.
bool ParseSchedule(std::string_view text, Schedule* schedule, std::string* reason);

}  // namespace nvx::scheduler

#endif  // NVX_SCHEDULER_SCHEDULE_FILE_H_
