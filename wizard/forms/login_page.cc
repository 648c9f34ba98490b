#include "wizard/forms/login_page.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "wizard/core/run_watch.h"

namespace nvx::wizard {

LoginPage::LoginPage(WizardContext& context, QWidget* parent)
    : Page("Login", "Enter Norrvault ID and Password", parent), context_(context) {
  QLabel* title = MakeHeading("Label1", "Enter your Norrvault ID and Password");
  QLabel* id_prompt = MakeLabel("ID_prompt", "Login ID", false);
  auto* id = id_ = new QLineEdit(this);
  id->setObjectName("NVX_ID");
  QLabel* password_prompt = MakeLabel("Password_prompt", "Password", false);
  auto* password = password_ = new QLineEdit(this);
  password->setObjectName("NVX_password");
  password->setEchoMode(QLineEdit::Password);
  QCheckBox* notify = MakeCheck("Notify", "Send Results Email After Each Backup (Recommended)");
  notify->setChecked(context_.state.notify_user);
  QPushButton* login = login_ = MakeButton("Login", "Continue");
  login->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");

  auto* fields = new QFormLayout;
  fields->addRow(id_prompt, id);
  fields->addRow(password_prompt, password);
  servers_ = new ServerFields(context_, this, fields);
  servers_->Show(context_.state.server);
  id->setMinimumWidth(260);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(login);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addSpacing(8);
  layout->addLayout(fields);
  layout->addWidget(notify);
  if (AccountHasNoEmailAddress(context_.state.app_folder)) {
    QLabel* note = MakeLabel("NotifyNote", kNoEmailAddressNote);
    note->setWordWrap(true);
    layout->addWidget(note);
  }
  check_ = new LoginCheckPanel(context_, this);
  layout->addWidget(check_);
  layout->addStretch(1);
  layout->addLayout(buttons);

  connect(notify, &QCheckBox::toggled, this,
          [this](bool checked) { context_.state.notify_user = checked; });
  connect(login, &QPushButton::clicked, this, &LoginPage::LoginClicked);
  connect(check_, &LoginCheckPanel::Finished, this, &LoginPage::CheckFinished);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void LoginPage::LoginClicked() {
  if (check_->running()) return;
  checked_id_ = id_->text();
  checked_password_ = password_->text();
  checked_server_ = servers_->choice();
  if (!LoginFieldsFilled(context_, checked_id_, checked_password_)) return;
  if (!servers_->Usable()) return;
  SetEditable(false);
  check_->Start(LoginRequestFor(checked_id_, checked_password_, checked_server_));
}

void LoginPage::SetEditable(bool editable) {
  id_->setEnabled(editable);
  password_->setEnabled(editable);
  servers_->SetEditable(editable);
  login_->setEnabled(editable);
}

void LoginPage::CheckFinished(LoginVerdict verdict) {
  SetEditable(true);
  if (verdict == LoginVerdict::kUnconfirmed && !SaveUncheckedLogin(context_, check_->reason())) {
    return;
  }
  if (verdict != LoginVerdict::kAccepted && verdict != LoginVerdict::kUnconfirmed) return;
  context_.state.login_id = checked_id_;
  context_.state.password = checked_password_;
  context_.state.server = checked_server_;
  QString error;
  if (!context_.config.OpenAndWriteHeader(&error)) {
    context_.desktop.Tell("Could not write config.txt: " + error);
    return;
  }
  accept();
}

}  // namespace nvx::wizard
