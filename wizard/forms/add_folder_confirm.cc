#include "wizard/forms/add_folder_confirm.h"

#include <QVBoxLayout>

namespace nvx::wizard {

AddFolderConfirm::AddFolderConfirm(const QString& path_size_text, QWidget* parent)
    : Page("AddFolderConfirm", "Add Folder to Backup", parent) {
  QLabel* sizes = MakeLabel("PathSizeLabel", ForDisplay(path_size_text));
  sizes->setMinimumWidth(420);
  include_subfolders_ = MakeCheck("Check1", "Include Subfolders?");
  include_subfolders_->setChecked(true);
  QPushButton* ok = MakeButton("OKButton", "OK");
  ok->setDefault(true);
  QPushButton* cancel = MakeButton("CancelButton", "Cancel");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sizes);
  layout->addWidget(include_subfolders_);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({ok, cancel}));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool AddFolderConfirm::include_subfolders() const {
  return include_subfolders_->isChecked();
}

}  // namespace nvx::wizard
