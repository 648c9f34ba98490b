#include "wizard/forms/schedule_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "wizard/core/config_rewrites.h"
#include "wizard/core/restore_test_job.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {
namespace {

template <typename T>
T* Named(T* widget, const QString& name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

ScheduleControls::ScheduleControls(QWidget* parent) : QWidget(parent) {
  setObjectName("ScheduleControls");
  auto* question = Named(new QLabel(kScheduleQuestion, this), "ScheduleQuestion");
  question->setWordWrap(true);
  daily_ = Named(new QCheckBox("Run Norrvault Backup every day", this), "CheckDaily");
  weekly_ = Named(new QCheckBox("Run Norrvault Backup once a week", this), "CheckWeekly");
  day_label_ = Named(new QLabel("Run on what day?", this), "DayOfWeekLabel");
  day_ = Named(new QComboBox(this), "DayOfWeek");
  day_->addItems(DayOfWeekChoices());
  auto* time_label = Named(new QLabel("Run at what time?", this), "DailyTimeLabel");
  time_ = Named(new QComboBox(this), "DailyTime");
  time_->addItems(DailyTimeChoices());
  restore_test_ =
      Named(new QCheckBox("Also test a restore once a week", this), "WeeklyRestoreTest");
  day_label_->hide();
  day_->hide();

  auto* lists = new QGridLayout;
  lists->addWidget(day_label_, 0, 0);
  lists->addWidget(day_, 0, 1);
  lists->addWidget(time_label, 1, 0);
  lists->addWidget(time_, 1, 1);
  lists->setColumnStretch(2, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(question);
  layout->addWidget(daily_);
  layout->addWidget(weekly_);
  layout->addLayout(lists);
  layout->addWidget(restore_test_);

  connect(daily_, &QCheckBox::toggled, this, &ScheduleControls::DailyToggled);
  connect(weekly_, &QCheckBox::toggled, this, &ScheduleControls::WeeklyToggled);
}

std::optional<QString> ScheduleControls::ChosenDay() const {
  return wizard::ChosenDay(Checks(), day_->currentText());
}

QString ScheduleControls::ChosenTime() const {
  return TimeCodeOf(time_->currentText());
}

bool ScheduleControls::RestoreTestChosen() const {
  return restore_test_->isChecked();
}

void ScheduleControls::ShowSchedule(const jobfiles::Schedule& schedule) {
  restore_test_->setChecked(!schedule.none() && schedule.restore_test);
  const bool weekly = !schedule.none() && schedule.day != jobfiles::kEveryDay;
  Show({!schedule.none() && !weekly, weekly, weekly});
  for (int i = 0; weekly && i < day_->count(); ++i) {
    if (DayCodeOf(day_->itemText(i)).toStdString() == schedule.day) day_->setCurrentIndex(i);
  }
  const QString time = QString::fromStdString(jobfiles::TimeCode(schedule.hour));
  for (int i = 0; !schedule.none() && i < time_->count(); ++i) {
    if (TimeCodeOf(time_->itemText(i)) == time) time_->setCurrentIndex(i);
  }
}

void ScheduleControls::DailyToggled(bool checked) {
  Show(AfterDailyToggled(Checks(), checked));
}

void ScheduleControls::WeeklyToggled(bool checked) {
  Show(AfterWeeklyToggled(Checks(), checked));
}

void ScheduleControls::Show(const ScheduleChecks& checks) {
  const QSignalBlocker block_daily(daily_);
  const QSignalBlocker block_weekly(weekly_);
  daily_->setChecked(checks.daily);
  weekly_->setChecked(checks.weekly);
  day_label_->setVisible(checks.day_shown);
  day_->setVisible(checks.day_shown);
}

ScheduleChecks ScheduleControls::Checks() const {
  return {daily_->isChecked(), weekly_->isChecked(), !day_->isHidden()};
}

bool WriteChosenSchedule(WizardContext& context, const ScheduleControls& controls,
                         const QString& day, const QString& time, QString* error) {
  const QString& folder = context.state.app_folder;
  bool restore_test = controls.RestoreTestChosen() && day != kNoScheduleDay;
  QString test_error;
  // Without its job file the weekly line would start NVXbackup to no purpose.
  if (restore_test && !PrepareRestoreTest(folder, &test_error)) {
    context.desktop.Tell("The weekly restore test is not scheduled: " + test_error);
    restore_test = false;
  }
  return WriteScheduleFile(folder, day, time, error, restore_test);
}

bool ExecuteTimer(WizardContext& context) {
  const QString& folder = context.state.app_folder;
  ProgramStart start;
  start.program = AppFile(folder, kSchedulerProgramName);
  start.working_folder = folder;
  start.output_file = LogsFolder(folder) + "/NVXscheduledBackup.out";
  start.in_terminal = false;
  return context.desktop.StartProgram(start).started;
}

}  // namespace nvx::wizard
