#include "wizard/core/backup_schedule.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <array>

#include "jobfiles/backup_schedule_file.h"
#include "wizard/core/job_file.h"

namespace nvx::wizard {
namespace {

// The `DayOfWeek` entries, in the order of the file's weekday codes (jobfiles::kWeekdays).
constexpr std::array<const char*, 7> kDayTexts = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                  "Friday", "Saturday", "Sunday"};
static_assert(kDayTexts.size() == jobfiles::kWeekdays.size());

QString FromView(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The hour as "1:00 a.m." ... "11:00 p.m."; 0 and 12 are named apart.
QString ClockText(int hour) {
  const int shown = hour % 12 == 0 ? 12 : hour % 12;
  return QString::number(shown) + (hour < 12 ? ":00 a.m." : ":00 p.m.");
}

QString TimeCode(int hour) {
  return QString::fromStdString(jobfiles::TimeCode(hour));
}

}  // namespace

QStringList DayOfWeekChoices() {
  QStringList choices;
  for (const char* text : kDayTexts) choices << text;
  return choices;
}

QStringList DailyTimeChoices() {
  QStringList choices;
  for (int hour = 1; hour <= 23; ++hour) choices << (hour == 12 ? "Noon" : ClockText(hour));
  choices << "Midnight";
  return choices;
}

QString DayCodeOf(const QString& day_text) {
  for (size_t day = 0; day < kDayTexts.size(); ++day) {
    if (day_text == kDayTexts[day]) return FromView(jobfiles::kWeekdays[day]);
  }
  return {};
}

QString TimeCodeOf(const QString& time_text) {
  if (time_text == "Noon") return TimeCode(12);
  if (time_text == "Midnight") return TimeCode(0);
  for (int hour = 1; hour <= 23; ++hour) {
    if (hour != 12 && time_text == ClockText(hour)) return TimeCode(hour);
  }
  return {};
}

ScheduleChecks AfterDailyToggled(ScheduleChecks checks, bool checked) {
  checks.daily = checked;
  if (checked) checks = AfterWeeklyToggled(checks, false);
  return checks;
}

ScheduleChecks AfterWeeklyToggled(ScheduleChecks checks, bool checked) {
  checks.weekly = checked;
  checks.day_shown = checked;
  if (checked) checks.daily = false;
  return checks;
}

std::optional<QString> ChosenDay(const ScheduleChecks& checks, const QString& day_text) {
  if (checks.daily) return FromView(jobfiles::kEveryDay);
  if (checks.weekly) return DayCodeOf(day_text);
  return std::nullopt;
}

QStringList ScheduleFileLines(const QString& day, const QString& time, bool restore_test) {
  QStringList lines;
  for (const std::string& line :
       jobfiles::ScheduleFileLines(day.toStdString(), time.toStdString(), restore_test)) {
    lines << QString::fromStdString(line);
  }
  return lines;
}

bool WriteScheduleFile(const QString& folder, const QString& day, const QString& time,
                       QString* error, bool restore_test) {
  const QString path = QDir(folder).filePath(kScheduleFileName);
  return ReplaceFile(path, path + ".new", ScheduleFileLines(day, time, restore_test), error);
}

std::optional<jobfiles::Schedule> ReadScheduleFile(const QString& folder) {
  QFile file(QDir(folder).filePath(kScheduleFileName));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray text = file.read(jobfiles::kMaxScheduleFileBytes + 1);
  if (text.size() > static_cast<qsizetype>(jobfiles::kMaxScheduleFileBytes)) return std::nullopt;
  // A file that NVXscheduledBackup refuses schedules nothing.
  std::string reason;
  return jobfiles::ParseSchedule(text.toStdString(), &reason);
}

int SchedulePeriodDays(const std::optional<jobfiles::Schedule>& schedule) {
  return schedule && schedule->day == jobfiles::kEveryDay ? 1 : 7;
}

std::optional<QString> CurrentScheduleText(const QString& folder) {
  const std::optional<jobfiles::Schedule> schedule = ReadScheduleFile(folder);
  if (!schedule) return std::nullopt;
  return ScheduleText(*schedule);
}

QString ScheduleText(const jobfiles::Schedule& schedule) {
  if (schedule.none()) return QStringLiteral("No Backups currently scheduled");

  QString day_phrase = "every day ";
  for (size_t day = 0; day < kDayTexts.size(); ++day) {
    if (schedule.day == jobfiles::kWeekdays[day])
      day_phrase = "every " + QString(kDayTexts[day]) + " ";
  }
  QString time_phrase;
  if (schedule.hour == 0) {
    time_phrase = "midnight";
  } else if (schedule.hour == 12) {
    time_phrase = "noon";
  } else {
    time_phrase = ClockText(schedule.hour);
  }
  return "Backups currently scheduled for " + day_phrase + "at " + time_phrase;
}

QString CrontabProgramName() {
  const QString named = qEnvironmentVariable("NVX_CRONTAB");
  return named.isEmpty() ? QString("crontab") : named;
}

std::optional<jobfiles::Schedule> ReadScheduleInForce(const QString& crontab_program) {
  QProcess crontab;
  crontab.start(crontab_program, {"-l"});
  if (!crontab.waitForFinished(kCrontabReadMillis) ||
      crontab.exitStatus() != QProcess::NormalExit) {
    crontab.kill();
    crontab.waitForFinished(kCrontabReadMillis);
    return std::nullopt;
  }
  const QByteArray table = crontab.readAllStandardOutput();
  if (table.size() > kCrontabTableMax) return std::nullopt;
  if (crontab.exitCode() != 0) {
    // A user without a table has no line; any other failure leaves the question open.
    if (!crontab.readAllStandardError().startsWith("no crontab for")) return std::nullopt;
    return jobfiles::Schedule{std::string(jobfiles::kNoScheduleDay), 0};
  }
  return jobfiles::ScheduleInCrontab(std::string_view(table.constData(), table.size()));
}

}  // namespace nvx::wizard
