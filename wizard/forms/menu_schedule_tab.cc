// MenuFull's Schedule tab: the schedule choice shared with the `scheduletask` page, the
// current schedule (`CurrentSchedule`, read from BackupSchedule.txt by MenuPage::Load),
// `Apply_Schedule` "Apply" and `NoSchedule` "No Scheduled Backups". The menu stays open
// after either button.
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

void ApplySchedule(WizardContext& context, const ScheduleControls& controls, QLabel* current) {
  const std::optional<QString> day = controls.ChosenDay();
  if (!day) {
    context.desktop.Tell(kNoSelectionUnchanged);
    return;
  }
  QString error;
  if (!WriteScheduleFile(context.state.app_folder, *day, controls.ChosenTime(), &error)) {
    context.desktop.Tell("Could not write " + kScheduleFileName + ": " + error);
    return;
  }
  current->clear();
  if (!ExecuteTimer(context)) {
    context.desktop.Tell("Could not start " +
                         AppFile(context.state.app_folder, kSchedulerProgramName));
    return;
  }
  context.desktop.Tell(kScheduleSet);
}

void RemoveSchedule(WizardContext& context, QLabel* current) {
  QString error;
  if (!WriteScheduleFile(context.state.app_folder, kNoScheduleDay, kNoScheduleTime, &error)) {
    context.desktop.Tell("Could not write " + kScheduleFileName + ": " + error);
    return;
  }
  current->clear();
  context.desktop.Tell(kScheduleSetToNone);
}

}  // namespace

QWidget* MenuPage::BuildScheduleTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName("ScheduleTab");
  auto* controls = new ScheduleControls(tab);
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
          [this, current] { RemoveSchedule(context_, current); });
  return tab;
}

}  // namespace nvx::wizard
