#include "wizard/forms/server_fields.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace nvx::wizard {

ServerFields::ServerFields(WizardContext& context, QWidget* page, QFormLayout* fields)
    : QObject(page), context_(context) {
  auto* address_prompt = new QLabel("Server address", page);
  address_prompt->setObjectName("ServerAddress_prompt");
  address_ = new QLineEdit(page);
  address_->setObjectName("ServerAddress");
  address_->setPlaceholderText("Norrvault servers");
  secure_ = new QCheckBox("Secure connection (TLS)", page);
  secure_->setObjectName("SecureConnection");
  auto* ca_prompt = new QLabel("Certificate authority", page);
  ca_prompt->setObjectName("ServerCA_prompt");
  ca_file_ = new QLineEdit(page);
  ca_file_->setObjectName("ServerCA");
  ca_file_->setPlaceholderText("optional");
  browse_ = new QPushButton("Browse...", page);
  browse_->setObjectName("ServerCABrowse");
  browse_->setAutoDefault(false);
  auto* ca_row = new QHBoxLayout;
  ca_row->addWidget(ca_file_, 1);
  ca_row->addWidget(browse_);
  fields->addRow(address_prompt, address_);
  fields->addRow(QString(), secure_);
  fields->addRow(ca_prompt, ca_row);
  connect(browse_, &QPushButton::clicked, this, &ServerFields::BrowseClicked);
}

void ServerFields::Show(const ServerChoice& choice) {
  address_->setText(choice.address);
  secure_->setChecked(choice.secure);
  ca_file_->setText(choice.ca_file);
}

ServerChoice ServerFields::choice() const {
  return ServerChoice{address_->text().trimmed(), secure_->isChecked(), ca_file_->text().trimmed()};
}

void ServerFields::SetEditable(bool editable) {
  for (QWidget* widget : {static_cast<QWidget*>(address_), static_cast<QWidget*>(secure_),
                          static_cast<QWidget*>(ca_file_), static_cast<QWidget*>(browse_)}) {
    widget->setEnabled(editable);
  }
}

bool ServerFields::Usable() const {
  if (!ServerAddressValid(address_->text())) {
    context_.desktop.Tell(kServerAddressInvalidMessage);
    return false;
  }
  if (ServerSetting(choice()).size() > kServerSettingMaxLength) {
    context_.desktop.Tell(kServerSettingTooLongMessage);
    return false;
  }
  const QString ca_file = ca_file_->text().trimmed();
  if (!ca_file.isEmpty() && !QFileInfo(ca_file).isReadable()) {
    context_.desktop.Tell("The certificate authority file cannot be read: " + ca_file);
    return false;
  }
  return true;
}

void ServerFields::BrowseClicked() {
  const QString current = ca_file_->text().trimmed();
  const QStringList files = context_.desktop.OpenFiles(
      "Certificate authority", current.isEmpty() ? QString() : QFileInfo(current).absolutePath());
  if (!files.isEmpty()) ca_file_->setText(files.first());
}

}  // namespace nvx::wizard
