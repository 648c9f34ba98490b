// The schedule choice that the `scheduletask` page and the menu's Schedule tab share: the
// question, the check boxes `CheckDaily` and `CheckWeekly`, `DayOfWeekLabel` with the list
// `DayOfWeek` (hidden until "once a week" is checked) and `DailyTimeLabel` with the list
// `DailyTime`, with the rules that keep the boxes apart, and `WeeklyRestoreTest`, which
// asks for the restore test once a week as well (off until chosen). Also `ExecuteTimer`, which both
// places run after writing BackupSchedule.txt (a schedule or "none"): it starts
// NVXscheduledBackup, which brings the crontab line in agreement with the file.
// GUI thread only.
#ifndef NVX_WIZARD_FORMS_SCHEDULE_CONTROLS_H_
#define NVX_WIZARD_FORMS_SCHEDULE_CONTROLS_H_

#include <optional>

#include <QString>
#include <QWidget>

#include "wizard/core/backup_schedule.h"
#include "wizard/forms/wizard_context.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace nvx::wizard {

inline constexpr char kSchedulerProgramName[] = "NVXscheduledBackup";
inline constexpr char kScheduleQuestion[] =
    "Do you want to schedule Norrvault Backup to run each day or once a week?";

class ScheduleControls : public QWidget {
  Q_OBJECT

 public:
  // Fills both lists; the day list and its label start hidden.
  explicit ScheduleControls(QWidget* parent = nullptr);

  // The day to write ("all" or a short day), or none when neither box is checked.
  std::optional<QString> ChosenDay() const;
  // The time code of the chosen `DailyTime` entry ("0000" ... "2300").
  QString ChosenTime() const;
  // `WeeklyRestoreTest` is checked.
  bool RestoreTestChosen() const;
  // Shows `schedule` on the boxes and lists: every day, once a week on its day, or
  // neither for "none"; the time list at its hour; the restore test's box.
  void ShowSchedule(const jobfiles::Schedule& schedule);

 private:
  void DailyToggled(bool checked);
  void WeeklyToggled(bool checked);
  // Shows `checks` on the boxes and the day list without running the rules again.
  void Show(const ScheduleChecks& checks);
  ScheduleChecks Checks() const;

  QCheckBox* daily_;
  QCheckBox* weekly_;
  QLabel* day_label_;
  QComboBox* day_;
  QComboBox* time_;
  QCheckBox* restore_test_;
};

// Writes BackupSchedule.txt for `day` and `time` with the controls' choice of the restore
// test, after restoretest-config.txt from config.txt for the weekly line to run. A restore
// test that cannot be prepared is left out of the file, and the user is told why. False
// with *error when BackupSchedule.txt could not be written.
[[nodiscard]] bool WriteChosenSchedule(WizardContext& context, const ScheduleControls& controls,
                                       const QString& day, const QString& time, QString* error);

// Starts NVXscheduledBackup from AppFolder without arguments and without waiting; it
// picks up the new BackupSchedule.txt. It runs without a window, its output appended to
// Logs/NVXscheduledBackup.out. False when it could not be started.
bool ExecuteTimer(WizardContext& context);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_SCHEDULE_CONTROLS_H_
