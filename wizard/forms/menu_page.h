// MenuFull: the menu of a complete configuration, with the tabs Backup, Restore,
// Schedule, ID/Password and Advanced. Load() reads config.txt into the wizard's state
// (credentials, servers, notify choice, log level, restore list) and shows it: the summary, the
// restore list, the ID, the results button and the current schedule.
//
// The menu ends with accept() when the user chose a backup task (run existing, or create
// a new configuration: new configuration chosen says which) or when a restore or cleanup
// job was started (restore started, with running_texts() for the notice). `Cancel`,
// `RestoreCancel` and the close box end with reject(), which ends the program.
#ifndef NVX_WIZARD_FORMS_MENU_PAGE_H_
#define NVX_WIZARD_FORMS_MENU_PAGE_H_

#include <set>

#include "wizard/core/component_update.h"
#include "wizard/forms/login_check.h"
#include "wizard/forms/page.h"
#include "wizard/forms/running_page.h"
#include "wizard/forms/server_fields.h"
#include "wizard/forms/wizard_context.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QWidget;

namespace nvx::wizard {

class ScheduleControls;

class MenuPage : public Page {
  Q_OBJECT

 public:
  explicit MenuPage(WizardContext& context, QWidget* parent = nullptr);

  // Reads config.txt, the logs folder and BackupSchedule.txt and fills the tabs; once,
  // before the page is shown.
  void Load();

  // The notice to show after the job the menu started.
  const RunningTexts& running_texts() const { return running_texts_; }

 private:
  QWidget* BuildBackupTab();
  QWidget* BuildRestoreTab();
  QWidget* BuildScheduleTab();
  QWidget* BuildAccountTab();
  QWidget* BuildAdvancedTab();

  void BackupContinueClicked();
  // The Results page of `results_type` ("Backup", "Restore").
  void ShowResults(const QString& results_type);
  void RestoreSelectionChanged();
  void BeginRestoreClicked();
  void RestoreTestClicked();
  // The Schedule tab's text and choice: the crontab line in force, else BackupSchedule.txt.
  void ShowScheduleInForce();
  void ChangeIdClicked();
  void ChangeIdChecked(LoginVerdict verdict);
  void CleanupClicked();
  void DownloadConfigClicked();
  void LogLevelClicked();
  // Writes the desktop notification wish into config.txt at once.
  void NotifyEveryRunClicked(bool every_run);
  void UpdateSdkClicked();
  void GetDebugCodeClicked();
  // Replaces the components of `set` and tells how it went.
  void RunComponentUpdate(ComponentSet set);

  WizardContext& context_;
  // Backup tab.
  QCheckBox* run_existing_;
  QCheckBox* new_config_;
  QPlainTextEdit* backup_list_;
  QPushButton* display_results_;
  QLabel* last_backup_;
  QLabel* backup_warning_;
  // Restore tab.
  QListWidget* restore_list_;
  QPushButton* restore_results_;
  QLabel* last_restore_test_;
  QPushButton* restore_test_results_;
  // Schedule tab.
  QLabel* current_schedule_;
  ScheduleControls* schedule_controls_;
  // ID/Password tab.
  QLineEdit* change_id_;
  QLineEdit* change_password_;
  QCheckBox* change_notify_;
  QLabel* change_notify_note_;
  ServerFields* change_servers_;
  LoginCheckPanel* change_check_;
  // Advanced tab.
  QLabel* download_status_;
  QCheckBox* notify_every_run_;

  RunningTexts running_texts_;
  std::set<int> selected_rows_;  // the restore list's selection as last seen
  bool choosing_ = false;        // a destination choice is running
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_MENU_PAGE_H_
