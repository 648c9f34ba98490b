// scheduletask: the last page of a new configuration, where the user may have the backup
// run every day or once a week. `Continue` "Schedule Recurring Backup" writes
// BackupSchedule.txt and starts NVXscheduledBackup, then ends with accept(); with neither
// box checked it only says so and the page stays. `Cancel` "Do Not Schedule" writes the
// schedule "none" (NVXscheduledBackup is not started) and ends with reject(), as does the
// close box. The program ends after this page whatever was chosen. GUI thread only.
#ifndef NVX_WIZARD_FORMS_SCHEDULE_TASK_PAGE_H_
#define NVX_WIZARD_FORMS_SCHEDULE_TASK_PAGE_H_

#include "wizard/forms/page.h"
#include "wizard/forms/schedule_controls.h"
#include "wizard/forms/wizard_context.h"

namespace nvx::wizard {

inline constexpr char kNoSelectionNotScheduled[] =
    "No selection made, Backup job will not be scheduled";
inline constexpr char kScheduleCreated[] = "Scheduled Backup Task Created";
inline constexpr char kCouldNotSchedule[] = "Error occurred. Could not Schedule Job";

class ScheduleTaskPage : public Page {
  Q_OBJECT

 public:
  explicit ScheduleTaskPage(WizardContext& context, QWidget* parent = nullptr);

 private:
  void ContinueClicked();
  void DoNotScheduleClicked();

  WizardContext& context_;
  ScheduleControls* controls_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_SCHEDULE_TASK_PAGE_H_
