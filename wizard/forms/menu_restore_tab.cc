// MenuFull's Restore tab: the restore list, the destination choice and the restore job;
// the restore test (`TestRestore`), its last outcome (`LastRestoreTest`) and its results.
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include "wizard/core/config_rewrites.h"
#include "wizard/core/restore_job.h"
#include "wizard/core/restore_test_job.h"
#include "wizard/core/run_watch.h"
#include "wizard/forms/menu_page.h"

namespace nvx::wizard {
namespace {

// The advice under the restore list; the web address is the service's own site.
const char kRestoreAdvice[] =
    "Selecting a FOLDER restores all the files in it and in its subfolders, except files "
    "whose copy on this computer is newer than the one in your Norrvault account.\n"
    "To restore only one or two files, the web interface of your account at "
    "https://www.norrvault.example/ may be more convenient.";

const char kRestoreTestQuestion[] =
    "A restore test restores 5 files chosen at random from your backup into a temporary "
    "folder, checks each against your Norrvault account and this computer, and removes "
    "them again. Your own files are not touched.\r\n\r\nStart the restore test?";

}  // namespace

QWidget* MenuPage::BuildRestoreTab() {
  auto* tab = new QWidget(this);
  tab->setObjectName("RestoreTab");
  QLabel* title = MakeHeading("RestoreHed", "Select Items to Restore");
  auto* list = restore_list_ = new QListWidget(tab);
  list->setObjectName("RestoreList");
  list->setSelectionMode(QAbstractItemView::MultiSelection);
  QPushButton* begin = MakeButton("BeginRestore", "Restore");
  QPushButton* cancel = MakeButton("RestoreCancel", "Cancel");
  QPushButton* results = restore_results_ =
      MakeButton("RestoreResults", "Show Most Recent Restore Results");
  QLabel* advice =
      MakeLabel("RestoreAdvice", "Important Considerations When Restoring Files and Folders");
  QFont bold = advice->font();
  bold.setBold(true);
  advice->setFont(bold);
  QLabel* advice_text = MakeLabel("RestoreAdviceText", kRestoreAdvice);
  last_restore_test_ = MakeLabel("LastRestoreTest", {});
  QPushButton* test = MakeButton("TestRestore", "Test a Restore");
  QPushButton* test_results = restore_test_results_ =
      MakeButton("RestoreTestResults", "Show Most Recent Restore Test Results");

  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(title);
  layout->addWidget(list, 1);
  auto* buttons = ButtonRow({begin, cancel});
  buttons->insertWidget(0, results);
  layout->addLayout(buttons);
  auto* test_row = new QHBoxLayout;
  test_row->addWidget(last_restore_test_, 1);
  test_row->addWidget(test_results);
  test_row->addWidget(test);
  layout->addLayout(test_row);
  layout->addWidget(advice);
  layout->addWidget(advice_text);

  connect(list, &QListWidget::itemSelectionChanged, this, &MenuPage::RestoreSelectionChanged);
  connect(begin, &QPushButton::clicked, this, &MenuPage::BeginRestoreClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(results, &QPushButton::clicked, this, [this] { ShowResults(kRestoreResultsType); });
  connect(test, &QPushButton::clicked, this, &MenuPage::RestoreTestClicked);
  connect(test_results, &QPushButton::clicked, this,
          [this] { ShowResults(kRestoreTestResultsType); });
  return tab;
}

void MenuPage::RestoreSelectionChanged() {
  if (choosing_) return;
  QListWidget* list = restore_list_;
  std::set<int> now;
  for (int row = 0; row < list->count(); ++row) {
    if (list->item(row)->isSelected()) now.insert(row);
  }
  // Each entry that has just become selected gets its destination chosen.
  choosing_ = true;
  RestoreDestinationPrompts prompts;
  prompts.inform = [this](const QString& message) { context_.desktop.Tell(message); };
  prompts.ask_yes_no = [this](const QString& title, const QString& question) {
    return context_.desktop.Ask(title, question, Buttons::kYesNo) == Answer::kYes;
  };
  prompts.browse_folder = [this](const QString& title) {
    return context_.desktop.BrowseFolder(title);
  };
  std::set<int> chosen;
  for (int row : now) {
    if (selected_rows_.count(row) != 0 || row >= context_.state.restore_items.size()) {
      chosen.insert(row);
    } else if (ChooseRestoreDestination(context_.state.restore_items[row], prompts)) {
      chosen.insert(row);
    } else {
      list->item(row)->setSelected(false);
    }
  }
  choosing_ = false;
  selected_rows_ = chosen;
}

void MenuPage::BeginRestoreClicked() {
  QListWidget* list = restore_list_;
  QVector<RestoreItem> selected;
  for (int row = 0; row < list->count() && row < context_.state.restore_items.size(); ++row) {
    if (list->item(row)->isSelected()) selected.push_back(context_.state.restore_items[row]);
  }
  QString error;
  if (!WriteRestoreConfig(context_.state.app_folder, context_.state.login_id,
                          context_.state.password, context_.state.server, selected, &error)) {
    context_.desktop.Tell("Could not write " + QString(kRestoreConfigName) + ": " + error);
    return;
  }
  if (selected.isEmpty()) {
    context_.desktop.Tell(kNothingToRestoreMessage);
    return;
  }
  const std::optional<JobLaunch> launch = StartJobRunner(context_, {"-f", kRestoreConfigName});
  if (!launch) return;
  running_texts_ = RestoreRunningTexts(*launch);
  context_.state.restore_started = true;
  accept();
}

void MenuPage::RestoreTestClicked() {
  if (context_.desktop.Ask(kMessageTitle, kRestoreTestQuestion, Buttons::kOkCancel) !=
      Answer::kOk) {
    return;
  }
  QString error;
  if (!PrepareRestoreTest(context_.state.app_folder, &error)) {
    context_.desktop.Tell("Could not prepare the restore test: " + error);
    return;
  }
  const std::optional<JobLaunch> launch = StartJobRunner(context_, {"-f", kRestoreTestConfigName});
  if (!launch) return;
  running_texts_ = RestoreTestRunningTexts(*launch);
  context_.state.restore_started = true;
  accept();
}

}  // namespace nvx::wizard
