#include "wizard/forms/my_documents_page.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include "wizard/core/size_text.h"

namespace nvx::wizard {

QStringList ListNames(const QListWidget* list, bool checked) {
  QStringList names;
  for (int row = 0; row < list->count(); ++row) {
    QListWidgetItem* item = list->item(row);
    if ((item->checkState() == Qt::Checked) == checked)
      names.push_back(ListEntryName(item->text()));
  }
  return names;
}

void FillSizeList(QListWidget* list, const QVector<SubfolderEntry>& entries,
                  const std::function<bool(const QString& name)>& checked) {
  for (const SubfolderEntry& entry : entries) {
    auto* item = new QListWidgetItem(SizeListEntry(entry.name, entry.bytes), list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(checked(entry.name) ? Qt::Checked : Qt::Unchecked);
  }
}

double CheckedBytes(const QListWidget* list, const QVector<SubfolderEntry>& entries) {
  double bytes = 0;
  for (int row = 0; row < list->count() && row < entries.size(); ++row) {
    if (list->item(row)->checkState() == Qt::Checked) bytes += entries[row].bytes;
  }
  return bytes;
}

MyDocumentsPage::MyDocumentsPage(WizardContext& context, QWidget* parent)
    : Page("mydocuments", "Backup My Documents and Selected Subfolders", parent),
      context_(context) {
  QCheckBox* include = include_ = MakeCheck("Check1", "Backup My Documents Folder");
  include->setChecked(true);
  QLabel* list_caption = list_caption_ =
      MakeLabel("Label2", "Also back up selected subfolders (check to include in Backup)");
  auto* list = subfolders_ = new QListWidget(this);
  list->setObjectName("List2");
  list->setMinimumSize(460, 160);
  QLabel* note = MakeLabel("Label1",
                           "Note: CHECKED folders will be included in the Backup. If you do not "
                           "want a folder backed up, UNCHECK it.");
  QLabel* size_count = size_count_ = MakeLabel("SizeCount", {});
  QLabel* total = running_total_ = MakeLabel("RunningTotalSpace", {});
  QPushButton* recalculate = MakeButton("Recalculate", "Recalculate storage after selecting");
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");

  auto* sizes = new QHBoxLayout;
  sizes->addWidget(size_count, 1);
  sizes->addWidget(recalculate);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(next);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(include);
  layout->addWidget(list_caption);
  layout->addWidget(list, 1);
  layout->addWidget(note);
  layout->addLayout(sizes);
  layout->addWidget(total);
  layout->addLayout(buttons);

  connect(recalculate, &QPushButton::clicked, this, &MyDocumentsPage::Recalculate);
  connect(include, &QCheckBox::toggled, this, &MyDocumentsPage::Recalculate);
  connect(list, &QListWidget::itemChanged, this, [this] {
    if (!context_.state.loading) Recalculate();
  });
  connect(next, &QPushButton::clicked, this, &MyDocumentsPage::ContinueClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void MyDocumentsPage::Load() {
  context_.state.loading = true;
  scan_ = ScanMyDocuments(context_.state.my_documents_folder);
  // Folders such as "My Music" and "My Pictures" start unchecked.
  FillSizeList(subfolders_, scan_.subfolders,
               [](const QString& name) { return !name.startsWith("My "); });
  if (scan_.subfolders.isEmpty()) {
    list_caption_->hide();
    subfolders_->hide();
  }
  Recalculate();
  context_.state.loading = false;
}

double MyDocumentsPage::SelectedBytes() const {
  if (!include_->isChecked()) return 0;
  return scan_.direct_bytes + CheckedBytes(subfolders_, scan_.subfolders);
}

void MyDocumentsPage::Recalculate() {
  bool checked = include_->isChecked();
  double bytes = SelectedBytes();
  size_count_->setText(SizeCountText(bytes, checked));
  running_total_->setText(TotalSpaceText(context_.state.total + bytes));
}

void MyDocumentsPage::ContinueClicked() {
  Recalculate();
  bool included = include_->isChecked();
  QStringList unchecked = ListNames(subfolders_, false);
  if (!context_.config.WriteMyDocuments(included, unchecked)) {
    context_.desktop.Tell("Could not write config.txt: " + context_.config.LastError());
    return;
  }
  context_.state.my_documents_total = SelectedBytes();
  context_.state.total += context_.state.my_documents_total;
  accept();
}

}  // namespace nvx::wizard
