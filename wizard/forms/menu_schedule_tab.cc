// MenuFull's Schedule tab: the schedule choice shared with the `scheduletask` page, the
// current schedule (`CurrentSchedule`; MenuPage::Load shows the crontab lines in force,
// or BackupSchedule.txt without an answer from the crontab, and sets the choice to it),
// `Apply_Schedule` "Apply" and `NoSchedule` "No Scheduled Backups". Both buttons write the file and
// start NVXscheduledBackup, which adds, changes or removes the crontab line; the text then shows
// the new schedule. The menu stays open.
#include <QVBoxLayout>

#include "wizard/core/backup_schedule.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/forms/menu_page.h"
#include "wizard/forms/schedule_controls.h"

namespace nvx::wizard {
namespace {

inline constexpr char kNoSelectionUnchanged[] = "No selection made, Backup schedule unchanged";
inline constexpr char kScheduleSet[] = "Backup schedule set";
inline constexpr char kScheduleSetToNone[] = "Backup schedule set to 'None'";

// After a button: the schedule just asked for, which the scheduler it starts puts in force.
void ShowScheduleAsked(WizardContext& context, QLabel* current) {
  current->setText(CurrentScheduleText(context.state.app_folder).value_or(""));
}

// Starts NVXscheduledBackup; false, with the user told, when it could not be started.
bool StartScheduler(WizardContext& context) {
  if (ExecuteTimer(context)) return true;
  context.desktop.Tell("Could not start " +
                       AppFile(context.state.app_folder, kSchedulerProgramName));
  return false;
}

void ApplySchedule(WizardContext& context, const ScheduleControls& controls, QLabel* current) {
  const std::optional<QString> day = controls.ChosenDay();
  if (!day) {
    context.desktop.Tell(kNoSelectionUnchanged);
    return;
  }
  QString error;
  if (!WriteChosenSchedule(context, controls, *day, controls.ChosenTime(), &error)) {
    context.desktop.Tell("Could not write " + kScheduleFileName + ": " + error);
    return;
  }
  ShowScheduleAsked(context, current);
  if (!StartScheduler(context)) return;
  context.desktop.Tell(kScheduleSet);
}

void RemoveSchedule(WizardContext& context, ScheduleControls& controls, QLabel* current) {
  QString error;
  if (!WriteScheduleFile(context.state.app_folder, kNoScheduleDay, kNoScheduleTime, &error)) {
    context.desktop.Tell("Could not write " + kScheduleFileName + ": " + error);
    return;
  }
  controls.ShowSchedule(jobfiles::Schedule{std::string(jobfiles::kNoScheduleDay), 0});
  ShowScheduleAsked(context, current);
  // Without the scheduler the crontab line would stay and the backups go on.
  if (!StartScheduler(context)) return;
  context.desktop.Tell(kScheduleSetToNone);
}

}  // namespace

QWidget* MenuPage::BuildScheduleTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName("ScheduleTab");
  auto* controls = schedule_controls_ = new ScheduleControls(tab);
  QLabel* current = current_schedule_ = MakeLabel("CurrentSchedule", {});
  QPushButton* apply = MakeButton("Apply_Schedule", "Apply");
  QPushButton* none = MakeButton("NoSchedule", "No Scheduled Backups");
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(current);
  layout->addWidget(controls);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({apply, none}));

  connect(apply, &QPushButton::clicked, this,
          [this, controls, current] { ApplySchedule(context_, *controls, current); });
  connect(none, &QPushButton::clicked, this,
          [this, controls, current] { RemoveSchedule(context_, *controls, current); });
  return tab;
}

}  // namespace nvx::wizard
