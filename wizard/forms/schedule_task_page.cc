#include "wizard/forms/schedule_task_page.h"

#include <QVBoxLayout>

#include "wizard/core/backup_schedule.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/forms/schedule_controls.h"

namespace nvx::wizard {

ScheduleTaskPage::ScheduleTaskPage(WizardContext& context, QWidget* parent)
    : Page("scheduletask", "Schedule Backup Daily or Weekly", parent), context_(context) {
  auto* controls = controls_ = new ScheduleControls(this);
  QPushButton* schedule = MakeButton("Continue", "Schedule Recurring Backup");
  schedule->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Do Not Schedule");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(controls);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({schedule, cancel}));
  setMinimumWidth(460);
  connect(schedule, &QPushButton::clicked, this, &ScheduleTaskPage::ContinueClicked);
  connect(cancel, &QPushButton::clicked, this, &ScheduleTaskPage::DoNotScheduleClicked);
}

void ScheduleTaskPage::ContinueClicked() {
  const std::optional<QString> day = controls_->ChosenDay();
  if (!day) {
    context_.desktop.Tell(kNoSelectionNotScheduled);
    return;
  }
  // Whatever fails here, the user hears one message and the page closes: the backup
  // itself is configured and can be scheduled later from the menu.
  QString error;
  const bool scheduled =
      !day->isEmpty() &&
      WriteChosenSchedule(context_, *controls_, *day, controls_->ChosenTime(), &error) &&
      ExecuteTimer(context_);
  context_.desktop.Tell(scheduled ? kScheduleCreated : kCouldNotSchedule);
  accept();
}

void ScheduleTaskPage::DoNotScheduleClicked() {
  QString error;
  // The scheduler removes a crontab line an earlier configuration left.
  if (!WriteScheduleFile(context_.state.app_folder, kNoScheduleDay, kNoScheduleTime, &error)) {
    context_.desktop.Tell("Could not write " + kScheduleFileName + ": " + error);
  } else if (!ExecuteTimer(context_)) {
    context_.desktop.Tell("Could not start " +
                          AppFile(context_.state.app_folder, kSchedulerProgramName));
  }
  reject();
}

}  // namespace nvx::wizard
