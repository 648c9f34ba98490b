// MenuFull's construction and its Backup tab.
#include "wizard/forms/menu_page.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "wizard/core/backup_schedule.h"
#include "wizard/core/config_rewrites.h"
#include "wizard/core/menu_config.h"
#include "wizard/core/restore_test_job.h"
#include "wizard/core/run_watch.h"
#include "wizard/core/wizard_environment.h"
#include "wizard/forms/results_page.h"
#include "wizard/forms/schedule_controls.h"

namespace nvx::wizard {

MenuPage::MenuPage(WizardContext& context, QWidget* parent)
    : Page("MenuFull", "Norrvault Backup", parent), context_(context) {
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("Tabs");
  tabs->addTab(BuildBackupTab(), "Backup");
  tabs->addTab(BuildRestoreTab(), "Restore");
  tabs->addTab(BuildScheduleTab(), "Schedule");
  tabs->addTab(BuildAccountTab(), "ID/Password");
  tabs->addTab(BuildAdvancedTab(), "Advanced");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  setMinimumSize(620, 520);
}

void MenuPage::Load() {
  MenuConfig config = ReadMenuConfig(AppFile(context_.state.app_folder, kConfigName));
  ApplyMenuConfig(config, context_.state);
  backup_list_->setPlainText(ForDisplay(config.summary));
  const QString& folder = context_.state.app_folder;
  display_results_->setEnabled(ResultsAvailable(folder, kBackupResultsType));
  restore_results_->setEnabled(ResultsAvailable(folder, kRestoreResultsType));
  last_restore_test_->setText(LastRestoreTestText(ReadRunView(folder, kRestoreTestResultsType, 0)));
  restore_test_results_->setEnabled(ResultsAvailable(folder, kRestoreTestResultsType));
  const QFileInfo config_file(AppFile(folder, kConfigName));
  const LastBackupLine last = LastBackupText(
      ReadRunView(folder, kBackupResultsType, 0), SchedulePeriodDays(ReadScheduleFile(folder)),
      config_file.exists() ? config_file.lastModified().toSecsSinceEpoch() : 0,
      QDateTime::currentSecsSinceEpoch());
  last_backup_->setText(last.text);
  backup_warning_->setText(last.warning);
  backup_warning_->setVisible(!last.warning.isEmpty());
  for (const RestoreItem& item : context_.state.restore_items) restore_list_->addItem(item.entry);
  ShowScheduleInForce();
  change_id_->setText(context_.state.login_id);
  change_servers_->Show(context_.state.server);
  // An account without an address cannot receive the results: the box says so.
  const bool no_address = AccountHasNoEmailAddress(folder);
  change_notify_->setChecked(context_.state.notify_user && !no_address);
  change_notify_note_->setVisible(no_address);
  notify_every_run_->setChecked(context_.state.notify_every_run);
}

void MenuPage::ShowScheduleInForce() {
  // The crontab line is what runs; BackupSchedule.txt says what was asked for. Without
  // an answer from the crontab the file is all there is to go by.
  const std::optional<jobfiles::Schedule> asked = ReadScheduleFile(context_.state.app_folder);
  std::optional<jobfiles::Schedule> in_force = asked;
  if (!context_.state.crontab_program.isEmpty()) {
    if (std::optional<jobfiles::Schedule> line =
            ReadScheduleInForce(context_.state.crontab_program)) {
      in_force = line;
    }
  }
  QString text = in_force ? ScheduleText(*in_force) : QString();
  if (asked && in_force &&
      (asked->day != in_force->day ||
       (!asked->none() &&
        (asked->hour != in_force->hour || asked->restore_test != in_force->restore_test)))) {
    text += "\r\n(" + kScheduleFileName + " asks for another schedule: choose it and press Apply)";
  }
  current_schedule_->setText(text);
  if (in_force) schedule_controls_->ShowSchedule(*in_force);
}

QWidget* MenuPage::BuildBackupTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName("BackupTab");
  QLabel* title = MakeHeading("Label1", "Choose Backup Task");
  QLabel* version = MakeLabel("Label2", kVersionText);
  last_backup_ = MakeLabel("LastBackup", {});
  backup_warning_ = MakeLabel("BackupWarning", {});
  backup_warning_->setStyleSheet("color: #b00020; font-weight: bold;");
  backup_warning_->hide();
  QCheckBox* existing = run_existing_ =
      MakeCheck("RunExisting", "Do Backup using existing configuration shown below");
  QCheckBox* fresh = new_config_ = MakeCheck(
      "NewConfig", "Create new configuration (it replaces the existing one when finished)");
  auto* list = backup_list_ = new QPlainTextEdit(tab);
  list->setObjectName("BackupList");
  list->setReadOnly(true);
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");
  QPushButton* results = display_results_ =
      MakeButton("DisplayResults", "Show Most Recent Backup Results");

  auto* head = new QHBoxLayout;
  head->addWidget(title, 1);
  head->addWidget(version);
  auto* buttons = ButtonRow({next, cancel});
  buttons->insertWidget(0, results);
  auto* layout = new QVBoxLayout(tab);
  layout->addLayout(head);
  layout->addWidget(last_backup_);
  layout->addWidget(backup_warning_);
  layout->addWidget(existing);
  layout->addWidget(fresh);
  layout->addWidget(list, 1);
  layout->addLayout(buttons);

  connect(existing, &QCheckBox::toggled, this, [fresh](bool on) {
    if (on) fresh->setChecked(false);
  });
  connect(fresh, &QCheckBox::toggled, this, [existing](bool on) {
    if (on) existing->setChecked(false);
  });
  connect(next, &QPushButton::clicked, this, &MenuPage::BackupContinueClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(results, &QPushButton::clicked, this, [this] { ShowResults(kBackupResultsType); });
  return tab;
}

void MenuPage::BackupContinueClicked() {
  bool existing = run_existing_->isChecked();
  bool fresh = new_config_->isChecked();
  if (!existing && !fresh) {
    context_.desktop.Tell("Please choose a Backup Task");
    return;
  }
  context_.state.new_configuration_chosen = fresh;
  accept();
}

void MenuPage::ShowResults(const QString& results_type) {
  ResultsPage results(context_.state.app_folder, results_type, this);
  results.Load();
  results.exec();
}

}  // namespace nvx::wizard
