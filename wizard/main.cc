// NorrvaultBackup: the backup wizard. Gathers the facts of this computer, then runs the
// start-up procedure with the real desktop and the login check of libnvxapib.so, which
// is loaded from AppFolder at the first login.
//   NorrvaultBackup --results TYPE
// shows only the most recent results of TYPE ("Backup", "Restore", ...): the desktop
// notification of a run opens them so.
#include <optional>

#include <QApplication>
#include <QTimer>

#include "wizard/core/backup_schedule.h"
#include "wizard/core/login_library.h"
#include "wizard/core/outlook_discovery.h"
#include "wizard/core/wizard_environment.h"
#include "wizard/desktop/qt_desktop.h"
#include "wizard/forms/results_page.h"
#include "wizard/forms/start_up.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName("Norrvault Backup");
  // Pages follow one another; the program ends when the start-up procedure says so.
  application.setQuitOnLastWindowClosed(false);

  nvx::wizard::WizardState state;
  nvx::wizard::GatherEnvironment(state);
  state.crontab_program = nvx::wizard::CrontabProgramName();
  const QStringList arguments = QApplication::arguments();
  if (const qsizetype at = arguments.indexOf("--results"); at > 0 && at + 1 < arguments.size()) {
    nvx::wizard::ResultsPage results(state.app_folder, arguments[at + 1]);
    results.Load();
    results.exec();
    return 0;
  }
  nvx::wizard::QtDesktop desktop;
  // Never unloaded: a login check the user stopped waiting for may still be inside the
  // library when the program ends. The check runs on its own thread and keeps copies.
  auto* library = new nvx::wizard::LoginLibrary;
  const QString app_folder = state.app_folder;
  auto login = [library, app_folder](const nvx::wizard::LoginRequest& request,
                                     QString* reason) -> std::optional<int> {
    if (!library->Load(app_folder, reason)) return std::nullopt;
    return library->Check(request);
  };
  nvx::wizard::StartUp start_up(state, desktop, login, nvx::wizard::WineDriveC());
  QObject::connect(&start_up, &nvx::wizard::StartUp::Ended, &application,
                   [](int exit_code) { QCoreApplication::exit(exit_code); });
  QTimer::singleShot(0, &start_up, &nvx::wizard::StartUp::Start);
  return application.exec();
}
