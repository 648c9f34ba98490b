// MenuFull's ID/Password, and Advanced tabs: the credential change, the cleanup job, the
// configuration download and the log level.
#include <QEvent>
#include <QFormLayout>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "wizard/core/cleanup_job.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/download_job.h"
#include "wizard/core/run_watch.h"
#include "wizard/forms/log_level_page.h"
#include "wizard/forms/menu_page.h"

namespace nvx::wizard {
namespace {

// Selects the whole text of a line edit whenever it is entered.
class SelectAllOnFocus : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) {
      auto* edit = static_cast<QLineEdit*>(watched);
      // After the focus event, or the mouse press that caused it would unselect.
      QTimer::singleShot(0, edit, &QLineEdit::selectAll);
    }
    return false;
  }
};

}  // namespace

QWidget* MenuPage::BuildAccountTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName("AccountTab");
  QLabel* title = MakeHeading("ChangeIDLabel1", "Update your Norrvault ID and Password");
  QLabel* id_prompt = MakeLabel("ChangeID_prompt", "Login ID", false);
  auto* id = change_id_ = new QLineEdit(tab);
  id->setObjectName("ChangeNVX_ID");
  QLabel* password_prompt = MakeLabel("ChangePassword_Prompt", "Password (Not Displayed)", false);
  // The stored password is never shown; a change needs it typed again.
  auto* password = change_password_ = new QLineEdit(tab);
  password->setObjectName("ChangeNVX_pass");
  password->setEchoMode(QLineEdit::Password);
  password->setPlaceholderText("(hidden)");
  auto* select_all = new SelectAllOnFocus(tab);
  id->installEventFilter(select_all);
  password->installEventFilter(select_all);
  QCheckBox* notify = change_notify_ =
      MakeCheck("ChangeNotify", "Send Results Email After Each Backup (Recommended)");
  QPushButton* apply = MakeButton("ChangeID", "Apply");
  change_notify_note_ = MakeLabel("ChangeNotifyNote", kNoEmailAddressNote);
  change_notify_note_->setWordWrap(true);
  change_notify_note_->hide();

  auto* fields = new QFormLayout;
  fields->addRow(id_prompt, id);
  fields->addRow(password_prompt, password);
  change_servers_ = new ServerFields(context_, tab, fields);
  change_check_ = new LoginCheckPanel(context_, tab);
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(title);
  layout->addLayout(fields);
  layout->addWidget(notify);
  layout->addWidget(change_notify_note_);
  layout->addLayout(ButtonRow({apply}));
  layout->addWidget(change_check_);
  layout->addStretch(1);
  connect(apply, &QPushButton::clicked, this, &MenuPage::ChangeIdClicked);
  connect(change_check_, &LoginCheckPanel::Finished, this, &MenuPage::ChangeIdChecked);
  return tab;
}

QWidget* MenuPage::BuildAdvancedTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName("AdvancedTab");
  QPushButton* cleanup = MakeButton("Cleanup", "Cleanup...");
  QPushButton* download = MakeButton("DownloadConfig", "Download Configuration");
  QPushButton* update = MakeButton("UpdateSDK", "Update NVX components");
  QPushButton* debug = MakeButton("GetDebugCode", "Install Debug Support");
  QPushButton* log_level = MakeButton("LogLevel", "Set Log Level");
  QLabel* status = download_status_ = MakeLabel("DownloadStatus", {});
  QCheckBox* every_run = notify_every_run_ = MakeCheck(
      "NotifyEveryRun", "Show a desktop notification after every run, not only when one fails");

  auto* layout = new QVBoxLayout(tab);
  for (QPushButton* button : {cleanup, download, update, debug, log_level}) {
    auto* row = new QHBoxLayout;
    row->addWidget(button);
    row->addStretch(1);
    button->setMinimumWidth(220);
    layout->addLayout(row);
  }
  layout->addWidget(every_run);
  layout->addWidget(status);
  layout->addStretch(1);
  connect(every_run, &QCheckBox::clicked, this, &MenuPage::NotifyEveryRunClicked);
  connect(cleanup, &QPushButton::clicked, this, &MenuPage::CleanupClicked);
  connect(download, &QPushButton::clicked, this, &MenuPage::DownloadConfigClicked);
  connect(update, &QPushButton::clicked, this, &MenuPage::UpdateSdkClicked);
  connect(debug, &QPushButton::clicked, this, &MenuPage::GetDebugCodeClicked);
  connect(log_level, &QPushButton::clicked, this, &MenuPage::LogLevelClicked);
  return tab;
}

void MenuPage::ChangeIdClicked() {
  if (change_check_->running()) return;
  if (!LoginFieldsFilled(context_, change_id_->text(), change_password_->text())) return;
  if (!change_servers_->Usable()) return;
  change_check_->Start(
      LoginRequestFor(change_id_->text(), change_password_->text(), change_servers_->choice()));
}

void MenuPage::ChangeIdChecked(LoginVerdict verdict) {
  if (verdict == LoginVerdict::kUnconfirmed &&
      !SaveUncheckedLogin(context_, change_check_->reason())) {
    return;
  }
  if (verdict != LoginVerdict::kAccepted && verdict != LoginVerdict::kUnconfirmed) return;
  const QString id = change_id_->text();
  const QString password = change_password_->text();
  const bool notify = change_notify_->isChecked();
  const ServerChoice server = change_servers_->choice();
  // Server lines the user did not change stay as written, in whatever form they have.
  std::optional<ServerChoice> new_server;
  if (server != context_.state.server) new_server = server;
  QString error;
  if (!RewriteIdPassword(context_.state.app_folder, id, password, notify, new_server, &error)) {
    context_.desktop.Tell("Could not write config.txt: " + error);
    return;
  }
  context_.state.login_id = id;
  context_.state.password = password;
  context_.state.server = server;
  context_.state.notify_user = notify;
  context_.desktop.Tell(kIdPasswordSetMessage);
}

void MenuPage::CleanupClicked() {
  if (context_.desktop.Ask(kMessageTitle, CleanupQuestion(), Buttons::kOkCancel) != Answer::kOk) {
    return;
  }
  QString error;
  if (!PrepareCleanup(context_.state.app_folder, &error)) {
    context_.desktop.Tell("Could not prepare the cleanup: " + error);
    return;
  }
  const std::optional<JobLaunch> launch = StartJobRunner(context_, {"-f", kCleanupConfigName});
  if (!launch) return;
  running_texts_ = CleanupRunningTexts(*launch);
  context_.state.restore_started = true;
  accept();
}

void MenuPage::DownloadConfigClicked() {
  if (context_.desktop.Ask(kMessageTitle, DownloadQuestion(), Buttons::kOkCancel) != Answer::kOk) {
    return;
  }
  QString error;
  if (!PrepareMenuDownload(context_.state.app_folder, &error)) {
    context_.desktop.Tell("Could not prepare the configuration download: " + error);
    return;
  }
  const std::optional<JobLaunch> launch = StartJobRunner(context_, {"-f", kDownloadConfigName});
  if (!launch) return;
  // The menu stays open; the notice goes into its status line.
  download_status_->setText(DownloadRunningText(launch->in_window));
}

void MenuPage::NotifyEveryRunClicked(bool every_run) {
  QString error;
  if (!RewriteDesktopNotify(context_.state.app_folder, every_run, &error)) {
    notify_every_run_->setChecked(!every_run);
    context_.desktop.Tell("Could not write config.txt: " + error);
    return;
  }
  context_.state.notify_every_run = every_run;
}

void MenuPage::LogLevelClicked() {
  LogLevelPage page(context_, this);
  page.exec();
}

}  // namespace nvx::wizard
