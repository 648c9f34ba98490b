// MenuFull's construction and its Backup tab.
#include "wizard/forms/menu_page.h"

#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "wizard/core/config_rewrites.h"
#include "wizard/core/menu_config.h"
#include "wizard/core/wizard_environment.h"
#include "wizard/forms/results_page.h"

namespace nvx::wizard {

namespace {

// The backup's results report in the logs folder, found in any letter case.
constexpr char kBackupResultsName[] = "Backup Results.txt";

}  // namespace

MenuPage::MenuPage(WizardContext& context, QWidget* parent)
    : Page("MenuFull", "Norrvault Backup", parent), context_(context) {
  MenuConfig config = ReadMenuConfig(AppFile(context_.state.app_folder, kConfigName));
  ApplyMenuConfig(config, context_.state);

  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("Tabs");
  tabs->addTab(BuildBackupTab(config.summary), "Backup");
  tabs->addTab(BuildRestoreTab(), "Restore");
  tabs->addTab(BuildScheduleTab(), "Schedule");
  tabs->addTab(BuildAccountTab(), "ID/Password");
  tabs->addTab(BuildAdvancedTab(), "Advanced");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  setMinimumSize(620, 520);
}

QWidget* MenuPage::BuildBackupTab(const QString& summary) {
  auto* tab = new QWidget(this);
  tab->setObjectName("BackupTab");
  QLabel* title = MakeHeading("Label1", "Choose Backup Task");
  QLabel* version = MakeLabel("Label2", "Version 2.0");
  QCheckBox* existing =
      MakeCheck("RunExisting", "Do Backup using existing configuration shown below");
  QCheckBox* fresh =
      MakeCheck("NewConfig", "Create new configuration (existing configuration will be deleted)");
  auto* list = new QPlainTextEdit(ForDisplay(summary), tab);
  list->setObjectName("BackupList");
  list->setReadOnly(true);
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");
  QPushButton* results = MakeButton("DisplayResults", "Show Most Recent Backup Results");
  results->setEnabled(!FindInLogs(context_.state.app_folder, kBackupResultsName).isEmpty());

  auto* head = new QHBoxLayout;
  head->addWidget(title, 1);
  head->addWidget(version);
  auto* buttons = ButtonRow({next, cancel});
  buttons->insertWidget(0, results);
  auto* layout = new QVBoxLayout(tab);
  layout->addLayout(head);
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
  connect(results, &QPushButton::clicked, this, &MenuPage::ShowResults);
  return tab;
}

void MenuPage::BackupContinueClicked() {
  bool existing = Control<QCheckBox>(this, "RunExisting")->isChecked();
  bool fresh = Control<QCheckBox>(this, "NewConfig")->isChecked();
  if (!existing && !fresh) {
    context_.desktop.Tell("Please choose a Backup Task");
    return;
  }
  context_.state.new_configuration_chosen = fresh;
  accept();
}

void MenuPage::ShowResults() {
  ResultsPage results(FindInLogs(context_.state.app_folder, kBackupResultsName), this);
  results.exec();
}

}  // namespace nvx::wizard
