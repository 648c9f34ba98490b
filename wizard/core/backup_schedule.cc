#include "wizard/core/backup_schedule.h"

#include <QDir>
#include <QFile>
#include <array>

#include "wizard/core/job_file.h"

namespace nvx::wizard {
namespace {

struct DayRow {
  const char* text;    // the `DayOfWeek` entry
  const char* code;    // written after "RunOnDay "
  const char* phrase;  // in the current-schedule text
};
constexpr std::array<DayRow, 7> kDays = {{
    {"Monday", "mon", "every Monday "},
    {"Tuesday", "tue", "every Tuesday "},
    {"Wednesday", "wed", "every Wednesday "},
    {"Thursday", "thu", "every Thursday "},
    {"Friday", "fri", "every Friday "},
    {"Saturday", "sat", "every Saturday "},
    {"Sunday", "sun", "every Sunday "},
}};

// The hour as "1:00 a.m." ... "11:00 p.m."; 0 and 12 are named apart.
QString ClockText(int hour) {
  const int shown = hour % 12 == 0 ? 12 : hour % 12;
  return QString::number(shown) + (hour < 12 ? ":00 a.m." : ":00 p.m.");
}

QString TimeCode(int hour) {
  return QStringLiteral("%1").arg(hour, 2, 10, QChar('0')) + "00";
}

// The value after a keyword line's keyword, upper-cased, from the file's lines.
QString ValueOf(const QStringList& lines, const QString& keyword) {
  QString value;
  for (const QString& line : lines) {
    if (line.toUpper().startsWith(keyword.toUpper())) value = line.mid(keyword.size()).toUpper();
  }
  return value;
}

}  // namespace

QStringList DayOfWeekChoices() {
  QStringList choices;
  for (const DayRow& row : kDays) choices << row.text;
  return choices;
}

QStringList DailyTimeChoices() {
  QStringList choices;
  for (int hour = 1; hour <= 23; ++hour) choices << (hour == 12 ? "Noon" : ClockText(hour));
  choices << "Midnight";
  return choices;
}

QString DayCodeOf(const QString& day_text) {
  for (const DayRow& row : kDays) {
    if (day_text == row.text) return row.code;
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
  if (checks.daily) return QStringLiteral("all");
  if (checks.weekly) return DayCodeOf(day_text);
  return std::nullopt;
}

QStringList ScheduleFileLines(const QString& day, const QString& time) {
  return {"#Norrvault Backup Schedule", " ", "RunOnDay " + day, "RunAtTime " + time};
}

bool WriteScheduleFile(const QString& folder, const QString& day, const QString& time,
                       QString* error) {
  const QString path = QDir(folder).filePath(kScheduleFileName);
  return ReplaceFile(path, path + ".new", ScheduleFileLines(day, time), error);
}

std::optional<QString> CurrentScheduleText(const QString& folder) {
  bool found = false;
  const QStringList lines = ReadLines(QDir(folder).filePath(kScheduleFileName), &found);
  if (!found) return std::nullopt;
  const QString day = ValueOf(lines, "RunOnDay ");
  const QString time = ValueOf(lines, "RunAtTime ");
  if (day == "NONE") return QStringLiteral("No Backups currently scheduled");

  QString day_phrase;
  if (day == "ALL") day_phrase = "every day ";
  for (const DayRow& row : kDays) {
    if (day == QString(row.code).toUpper()) day_phrase = row.phrase;
  }
  QString time_phrase;
  if (time == "0000") {
    time_phrase = "midnight";
  } else if (time == "1200") {
    time_phrase = "noon";
  } else {
    for (int hour = 1; hour <= 23; ++hour) {
      if (time == TimeCode(hour)) time_phrase = ClockText(hour);
    }
  }
  return "Backups currently scheduled for " + day_phrase + "at " + time_phrase;
}

}  // namespace nvx::wizard
