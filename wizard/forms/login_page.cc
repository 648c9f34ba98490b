#include "wizard/forms/login_page.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

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
  QPushButton* login = MakeButton("Login", "Continue");
  login->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");

  auto* fields = new QFormLayout;
  fields->addRow(id_prompt, id);
  fields->addRow(password_prompt, password);
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
  layout->addStretch(1);
  layout->addLayout(buttons);

  connect(notify, &QCheckBox::toggled, this,
          [this](bool checked) { context_.state.notify_user = checked; });
  connect(login, &QPushButton::clicked, this, &LoginPage::LoginClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void LoginPage::LoginClicked() {
  QString id = id_->text();
  QString password = password_->text();
  if (!CheckLogin(context_, id, password)) return;
  context_.state.login_id = id;
  context_.state.password = password;
  QString error;
  if (!context_.config.OpenAndWriteHeader(&error)) {
    context_.desktop.Tell("Could not write config.txt: " + error);
    return;
  }
  accept();
}

}  // namespace nvx::wizard
