#include "wizard/forms/desktop_page.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include "wizard/core/size_text.h"
#include "wizard/forms/my_documents_page.h"

namespace nvx::wizard {

DesktopPage::DesktopPage(WizardContext& context, QWidget* parent)
    : Page("desktop", "Backup Selected Desktop Folders & Files", parent), context_(context) {
  QLabel* title = MakeHeading("Label1", "Select Desktop Folders To Backup");
  QLabel* heading = heading_ = MakeLabel("Heading", {});
  QCheckBox* files = files_ =
      MakeCheck("DoFiles", "Backup Desktop FILES (except shortcuts and programs)");
  auto* list = folders_ = new QListWidget(this);
  list->setObjectName("List2");
  list->setMinimumSize(460, 140);
  QLabel* note = MakeLabel("Label2",
                           "Note: CHECKED folders will be included in the Backup. If you do not "
                           "want a folder backed up, UNCHECK it.");
  QLabel* total = total_ = MakeLabel("TotalSpaceLabel", {}, false);
  QPushButton* recalculate = MakeButton("Recalculate", "Recalculate storage after selecting");
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");

  auto* sizes = new QHBoxLayout;
  sizes->addWidget(total, 1);
  sizes->addWidget(recalculate);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(heading);
  layout->addWidget(files);
  layout->addWidget(list, 1);
  layout->addWidget(note);
  layout->addLayout(sizes);
  layout->addLayout(ButtonRow({next, cancel}));

  connect(recalculate, &QPushButton::clicked, this, &DesktopPage::Recalculate);
  connect(files, &QCheckBox::toggled, this, &DesktopPage::Recalculate);
  connect(list, &QListWidget::itemChanged, this, [this] {
    if (!context_.state.loading) Recalculate();
  });
  connect(next, &QPushButton::clicked, this, &DesktopPage::ContinueClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void DesktopPage::Load() {
  context_.state.loading = true;
  scan_ = ScanDesktop(context_.state.desktop_folder);
  context_.state.page_skipped = scan_.Empty();
  heading_->setText(DesktopHeading(scan_.file_count, scan_.folders.size()));
  files_->setChecked(scan_.file_count > 0);
  FillSizeList(folders_, scan_.folders, [](const QString&) { return false; });
  Recalculate();
  context_.state.loading = false;
}

double DesktopPage::SelectedBytes() const {
  double bytes = CheckedBytes(folders_, scan_.folders);
  if (files_->isChecked()) bytes += scan_.file_bytes;
  return bytes;
}

void DesktopPage::Recalculate() {
  total_->setText(TotalSpaceText(context_.state.total + SelectedBytes()));
}

void DesktopPage::ContinueClicked() {
  bool files = files_->isChecked();
  QStringList folders = ListNames(folders_, true);
  if (!context_.config.WriteDesktop(files, folders)) {
    context_.desktop.Tell("Could not write config.txt: " + context_.config.LastError());
    return;
  }
  context_.state.desktop_total = SelectedBytes();
  context_.state.total += context_.state.desktop_total;
  accept();
}

}  // namespace nvx::wizard
