#include "wizard/forms/splash_page.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

QString SplashText() {
  return QString("Welcome to the Norrvault Backup Wizard. ") + "\r\r" +
         "The wizard will help you select folders and files for backup, " +
         "including My Documents, Internet Explorer Favorites " + "and Desktop folders." + "\r\r" +
         "If you use Outlook the wizard will also " +
         "give you the option of backing up your Outlook Personal Folders, " +
         "automatically including your Inbox, Calendar, and Contacts." + "\r\r" +
         "On each screen CHECK items you want to include in the Backup, " +
         "and UNCHECK items you do not want to include in the Backup.";
}

SplashPage::SplashPage(QWidget* parent) : Page("splash", "Norrvault Backup", parent) {
  QLabel* image = MakeLabel("Image1", {}, false);
  image->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(64, 64));
  QLabel* title = MakeHeading("Label1", "Norrvault Backup Wizard");
  QLabel* version = MakeLabel("Label3", kVersionText);
  QLabel* welcome = MakeLabel("Label2", ForDisplay(SplashText()));
  welcome->setMinimumWidth(460);
  QPushButton* start = MakeButton("Continue", "Start Wizard");
  start->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");

  auto* head = new QHBoxLayout;
  head->addWidget(image);
  auto* names = new QVBoxLayout;
  names->addWidget(title);
  names->addWidget(version);
  head->addLayout(names, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(start);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(head);
  layout->addWidget(welcome);
  layout->addStretch(1);
  layout->addLayout(buttons);

  connect(start, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace nvx::wizard
