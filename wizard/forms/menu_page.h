// MenuFull: the menu of a complete configuration, with the tabs Backup, Restore,
// Schedule, ID/Password and Advanced. Loading reads config.txt into the wizard's state
// (credentials, notify choice, log level, restore list) and builds the summary.
//
// The menu ends with accept() when the user chose a backup task (run existing, or create
// a new configuration: new configuration chosen says which) or when a restore or cleanup
// job was started (restore started, with running_texts() for the notice). `Cancel`,
// `RestoreCancel` and the close box end with reject(), which ends the program.
#ifndef NVX_WIZARD_FORMS_MENU_PAGE_H_
#define NVX_WIZARD_FORMS_MENU_PAGE_H_

#include <set>

#include "wizard/core/component_update.h"
#include "wizard/forms/page.h"
#include "wizard/forms/running_page.h"
#include "wizard/forms/wizard_context.h"

class QListWidget;
class QWidget;

namespace nvx::wizard {

class MenuPage : public Page {
  Q_OBJECT

 public:
  explicit MenuPage(WizardContext& context, QWidget* parent = nullptr);

  // The notice to show after the job the menu started.
  const RunningTexts& running_texts() const { return running_texts_; }

 private:
  QWidget* BuildBackupTab(const QString& summary);
  QWidget* BuildRestoreTab();
  QWidget* BuildScheduleTab();
  QWidget* BuildAccountTab();
  QWidget* BuildAdvancedTab();

  void BackupContinueClicked();
  void ShowResults();
  void RestoreSelectionChanged();
  void BeginRestoreClicked();
  void ChangeIdClicked();
  void CleanupClicked();
  void DownloadConfigClicked();
  void LogLevelClicked();
  void UpdateSdkClicked();
  void GetDebugCodeClicked();
  // Replaces the components of `set` and tells how it went.
  void RunComponentUpdate(ComponentSet set);

  WizardContext& context_;
  RunningTexts running_texts_;
  std::set<int> selected_rows_;  // the restore list's selection as last seen
  bool choosing_ = false;        // a destination choice is running
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_MENU_PAGE_H_
