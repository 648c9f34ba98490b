// The start-up procedure: the check for a newer version, installation check, config.old
// fallback, the upgrade of an older config.txt, then either the menu of a complete
// configuration or the pages of a new one, in order and with their skip rules, and the
// end of the program. The version check waits for the web host in a local event loop, at
// most its time-out.
//
// Pages are shown one at a time as top-level windows; the procedure goes on from each
// page's end (QDialog::finished), so it never blocks and tests can drive the current
// page by its controls' names. Ended(exit code) is emitted once, when the program is to
// end. The state, desktop and login check must outlive the object. GUI thread only.
#ifndef NVX_WIZARD_FORMS_START_UP_H_
#define NVX_WIZARD_FORMS_START_UP_H_

#include <functional>

#include <QObject>
#include <QPointer>

#include "wizard/core/config_writer.h"
#include "wizard/forms/page.h"
#include "wizard/forms/running_page.h"
#include "wizard/forms/wizard_context.h"

namespace nvx::wizard {

class StartUp : public QObject {
  Q_OBJECT

 public:
  // `state` holds the facts of this computer (AppFolder, names, special folders);
  // `drive_c` is the Wine drive C that the Outlook page searches.
  StartUp(WizardState& state, Desktop& desktop, LoginCheck login, const QString& drive_c);
  ~StartUp() override;

  // Runs the procedure from its first step up to the first page shown.
  void Start();

  // The page on screen, nullptr between pages and after the end.
  Page* current_page() const { return current_; }
  bool ended() const { return ended_; }
  int exit_code() const { return exit_code_; }

 signals:
  void Ended(int exit_code);

 private:
  // Shows `page` and calls `next` with its result when it ends.
  void ShowPage(Page* page, std::function<void(int result)> next);
  // Shows a page that ends the program when it closes.
  void ShowLastPage(Page* page);
  void End(int exit_code);

  // Everything after the update check: installation check, config.txt, the first page.
  void AfterUpdateCheck();
  void ShowMenu();
  void NewConfiguration();
  void AfterLogin();
  void MyDocumentsStep();
  void FavoritesStep();
  void DesktopStep();
  void OutlookStep();
  void FileDialogStep();
  void Finish();
  void ScheduleStep();
  // Shows a page that may have set page skipped while loading; skipped pages go straight
  // on to `next`.
  void ShowUnlessSkipped(Page* page, std::function<void()> next);
  // A Running (`backup`) or RunningRestore page of `texts`, loaded.
  RunningPage* Running(const RunningTexts& texts, bool backup);

  WizardState& state_;
  BackupConfigWriter config_;
  WizardContext context_;
  QString drive_c_;
  QPointer<Page> current_;
  bool ended_ = false;
  int exit_code_ = 0;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_START_UP_H_
