// The backup schedule as the wizard keeps it: BackupSchedule.txt in the install folder
// (its lines and its reading are jobfiles/backup_schedule_file.h; the wizard ends the
// lines with CR LF), the choices of the day and time lists with their codes, the
// check-box rules of both schedule places, and the menu's text of the current schedule.
// The forms only collect the choices and show the texts. Plain functions; GUI thread.
#ifndef NVX_WIZARD_CORE_BACKUP_SCHEDULE_H_
#define NVX_WIZARD_CORE_BACKUP_SCHEDULE_H_

#include <QString>
#include <QStringList>
#include <optional>

#include "jobfiles/backup_schedule_file.h"

namespace nvx::wizard {

inline const QString kScheduleFileName = QString::fromLatin1(jobfiles::kScheduleFileName);
inline const QString kNoScheduleDay = QString::fromLatin1(jobfiles::kNoScheduleDay);
inline const QString kNoScheduleTime = QString::fromLatin1(jobfiles::kNoScheduleTime);

// The `DayOfWeek` list, "Monday" ... "Sunday", and the `DailyTime` list, "1:00 a.m." ...
// "11:00 a.m.", "Noon", "1:00 p.m." ... "11:00 p.m.", "Midnight", in their order.
QStringList DayOfWeekChoices();
QStringList DailyTimeChoices();
// The short day ("mon" ... "sun") of a `DayOfWeek` text, and the time code ("0000" ...
// "2300") of a `DailyTime` text; empty for a text that is not in the list.
QString DayCodeOf(const QString& day_text);
QString TimeCodeOf(const QString& time_text);

// The two check boxes and whether `DayOfWeek` with its label is shown.
struct ScheduleChecks {
  bool daily = false;
  bool weekly = false;
  bool day_shown = false;
};
// Checking "every day" clears "once a week"; checking "once a week" shows the day and
// clears "every day"; clearing it hides the day.
ScheduleChecks AfterDailyToggled(ScheduleChecks checks, bool checked);
ScheduleChecks AfterWeeklyToggled(ScheduleChecks checks, bool checked);

// The day to write for the checks and the chosen day text: "all", a short day, or none
// when neither box is checked (the forms then show their "No selection made" message).
std::optional<QString> ChosenDay(const ScheduleChecks& checks, const QString& day_text);

// The lines of the schedule file (without line ends); with `restore_test`, the line that
// asks NVXscheduledBackup for the weekly restore test as well.
QStringList ScheduleFileLines(const QString& day, const QString& time, bool restore_test = false);
// Writes BackupSchedule.txt whole in `folder` by way of a new file and a rename. False
// with the reason in *error; the old file is then unchanged.
[[nodiscard]] bool WriteScheduleFile(const QString& folder, const QString& day, const QString& time,
                                     QString* error, bool restore_test = false);

// The schedule file in `folder`; none when it does not exist or is no schedule that
// NVXscheduledBackup would take.
std::optional<jobfiles::Schedule> ReadScheduleFile(const QString& folder);

// The menu's `CurrentSchedule` text of a schedule: "No Backups currently scheduled" for
// the day "none", else "Backups currently scheduled for " + day phrase + "at " + time
// phrase.
QString ScheduleText(const jobfiles::Schedule& schedule);
// The same for the schedule file in `folder`; none when ReadScheduleFile gives none.
std::optional<QString> CurrentScheduleText(const QString& folder);

// The crontab program asked for the schedule in force: NVX_CRONTAB when set and not
// empty (a stand-in), else "crontab".
QString CrontabProgramName();
// The schedule in force: that of the marked line of `crontab_program -l`, the day "none"
// without one. None when the program cannot be run within kCrontabReadMillis, its table
// is larger than kCrontabTableMax, or the marked line is not one NVXscheduledBackup
// writes; the wizard then goes by BackupSchedule.txt. Blocks while the program runs.
std::optional<jobfiles::Schedule> ReadScheduleInForce(const QString& crontab_program);
inline constexpr int kCrontabReadMillis = 5000;
inline constexpr qint64 kCrontabTableMax = 1024 * 1024;

// Days between two scheduled backups: 1 every day, 7 once a week or without a schedule.
int SchedulePeriodDays(const std::optional<jobfiles::Schedule>& schedule);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_BACKUP_SCHEDULE_H_
