#include "wizard/forms/start_up.h"

#include "wizard/core/config_rewrites.h"
#include "wizard/core/menu_config.h"
#include "wizard/core/run_watch.h"
#include "wizard/core/update_check.h"
#include "wizard/core/web_host.h"
#include "wizard/core/wizard_environment.h"
#include "wizard/forms/choose_type_page.h"
#include "wizard/forms/desktop_page.h"
#include "wizard/forms/favorites_page.h"
#include "wizard/forms/file_dialog_page.h"
#include "wizard/forms/login_page.h"
#include "wizard/forms/menu_page.h"
#include "wizard/forms/my_documents_page.h"
#include "wizard/forms/new_version_page.h"
#include "wizard/forms/outlook_page.h"
#include "wizard/forms/running_page.h"
#include "wizard/forms/schedule_task_page.h"
#include "wizard/forms/splash_page.h"

namespace nvx::wizard {
namespace {

inline constexpr char kNothingSelectedMessage[] =
    "No files or folders were selected for Backup. Backup will not be run";
inline constexpr char kConfigurationKeptMessage[] =
    "No files or folders were selected for Backup. Your previous backup configuration is "
    "kept unchanged";

// Exit codes of the wizard.
constexpr int kExitNormal = 0;
constexpr int kExitNotInstalled = 1;

}  // namespace

StartUp::StartUp(WizardState& state, Desktop& desktop, LoginCheck login, const QString& drive_c)
    : state_(state),
      config_(state),
      context_{state, desktop, config_, std::move(login)},
      drive_c_(drive_c) {}

StartUp::~StartUp() {
  delete current_.data();
}

void StartUp::Start() {
  // A web host is always named in the program; without one (tests of other pages) there
  // is nothing to ask.
  if (!state_.web_host.isEmpty() && CheckForNewerVersion(state_.web_host)) {
    QString setup_page = WebUrl(state_.web_host, kUpdatePagePath);
    ShowPage(new NewVersionPage(context_.desktop, setup_page), [this](int result) {
      // OK opened the setup page: the program ends so that the setup can replace it.
      if (result == QDialog::Accepted) return End(kExitNormal);
      AfterUpdateCheck();
    });
    return;
  }
  AfterUpdateCheck();
}

void StartUp::AfterUpdateCheck() {
  const QString& folder = state_.app_folder;
  EnsureLogsFolder(folder);
  if (!InstallationComplete(folder)) {
    context_.desktop.Tell(kNotInstalledMessage);
    End(kExitNotInstalled);
    return;
  }
  FallBackToConfigOld(folder);
  StartupScan scan = ScanConfigForStartup(AppFile(folder, kConfigName));
  state_.send_log_present = scan.send_log_present;
  state_.configuration_complete = scan.complete;
  // A configuration written before the secure connection was offered keeps its servers.
  if (scan.exists) state_.server = scan.server;
  if (scan.exists && !scan.send_log_present) {
    QString error;
    if (!UpgradeConfig(folder, &error)) {
      context_.desktop.Tell("Could not upgrade config.txt: " + error);
    }
  }
  if (state_.configuration_complete) {
    ShowMenu();
  } else {
    NewConfiguration();
  }
}

void StartUp::ShowPage(Page* page, std::function<void(int result)> next) {
  current_ = page;
  connect(page, &QDialog::finished, this, [this, page, next](int result) {
    if (current_ == page) current_ = nullptr;
    page->deleteLater();
    next(result);
  });
  page->show();
}

void StartUp::ShowLastPage(Page* page) {
  ShowPage(page, [this](int) { End(kExitNormal); });
}

void StartUp::End(int exit_code) {
  if (ended_) return;
  ended_ = true;
  // A new configuration the user left before its end never replaces config.txt.
  config_.Abandon();
  exit_code_ = exit_code;
  emit Ended(exit_code);
}

void StartUp::ShowMenu() {
  auto* menu = new MenuPage(context_);
  menu->Load();
  ShowPage(menu, [this, menu](int result) {
    if (result != QDialog::Accepted) return End(kExitNormal);
    if (state_.restore_started) return ShowLastPage(Running(menu->running_texts(), false));
    if (state_.new_configuration_chosen) return NewConfiguration();
    // A job that could not be started is not announced as started.
    const std::optional<JobLaunch> launch = StartJobRunner(context_, {});
    if (!launch) return End(kExitNormal);
    ShowLastPage(Running(RunningBackupTexts(false, *launch), true));
  });
}

void StartUp::NewConfiguration() {
  ShowPage(new SplashPage, [this](int result) {
    if (result != QDialog::Accepted) return End(kExitNormal);
    // Results e-mails are wished by default, unless the account has no address for them.
    state_.notify_user = !AccountHasNoEmailAddress(state_.app_folder);
    ShowPage(new LoginPage(context_), [this](int login_result) {
      if (login_result != QDialog::Accepted) return End(kExitNormal);
      AfterLogin();
    });
  });
}

void StartUp::AfterLogin() {
  if (state_.new_configuration_chosen) return MyDocumentsStep();
  auto* choose = new ChooseTypePage(context_);
  ShowPage(choose, [this, choose](int result) {
    if (result == ChooseTypePage::kRestoreChosen) {
      return ShowLastPage(Running(DownloadRunningTexts(true, choose->launch()), false));
    }
    if (result != QDialog::Accepted) return End(kExitNormal);
    MyDocumentsStep();
  });
}

void StartUp::ShowUnlessSkipped(Page* page, std::function<void()> next) {
  if (state_.page_skipped) {
    delete page;
    return next();
  }
  ShowPage(page, [this, next](int result) {
    if (result != QDialog::Accepted) return End(kExitNormal);
    next();
  });
}

// The pages that scan folders show the busy pointer while they load.
void StartUp::MyDocumentsStep() {
  context_.desktop.BusyPointer(true);
  state_.page_skipped = false;
  auto* page = new MyDocumentsPage(context_);
  page->Load();
  context_.desktop.BusyPointer(false);
  ShowUnlessSkipped(page, [this] { FavoritesStep(); });
}

void StartUp::FavoritesStep() {
  context_.desktop.BusyPointer(true);
  auto* page = new FavoritesPage(context_);
  page->Load();
  context_.desktop.BusyPointer(false);
  ShowUnlessSkipped(page, [this] { DesktopStep(); });
}

void StartUp::DesktopStep() {
  context_.desktop.BusyPointer(true);
  auto* page = new DesktopPage(context_);
  page->Load();
  context_.desktop.BusyPointer(false);
  ShowUnlessSkipped(page, [this] { OutlookStep(); });
}

void StartUp::OutlookStep() {
  context_.desktop.BusyPointer(true);
  auto* page = new OutlookPage(context_, drive_c_);
  page->Load();
  context_.desktop.BusyPointer(false);
  ShowUnlessSkipped(page, [this] { FileDialogStep(); });
}

void StartUp::FileDialogStep() {
  ShowPage(new FileDialogPage(context_), [this](int result) {
    if (result != QDialog::Accepted) return End(kExitNormal);
    Finish();
  });
}

void StartUp::Finish() {
  if (!config_.WriteTailAndClose()) {
    context_.desktop.Tell("Could not write config.txt: " + config_.LastError());
    return End(kExitNormal);
  }
  // A configuration that selects nothing does not replace one that backs something up.
  if (!state_.something_selected && state_.configuration_complete) {
    context_.desktop.Tell(kConfigurationKeptMessage);
    return End(kExitNormal);
  }
  QString error;
  if (!config_.Commit(&error)) {
    context_.desktop.Tell("Could not write config.txt: " + error);
    return End(kExitNormal);
  }
  if (!state_.something_selected) {
    context_.desktop.Tell(kNothingSelectedMessage);
    return End(kExitNormal);
  }
  // The schedule page follows whether or not the backup runs now; a job that could not
  // be started is not announced as started.
  if (!state_.backup_now) return ScheduleStep();
  const std::optional<JobLaunch> launch = StartJobRunner(context_, {});
  if (!launch) return ScheduleStep();
  ShowPage(Running(RunningBackupTexts(!state_.configuration_complete, *launch), true),
           [this](int) { ScheduleStep(); });
}

RunningPage* StartUp::Running(const RunningTexts& texts, bool backup) {
  auto* page = new RunningPage(texts, state_.app_folder, backup);
  page->Load();
  return page;
}

void StartUp::ScheduleStep() {
  ShowLastPage(new ScheduleTaskPage(context_));
}

}  // namespace nvx::wizard
