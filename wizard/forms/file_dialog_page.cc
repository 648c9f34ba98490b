#include "wizard/forms/file_dialog_page.h"

#include <QDir>
#include <QFileInfo>
#include <QVBoxLayout>

#include "wizard/core/directory_size.h"
#include "wizard/core/size_text.h"
#include "wizard/forms/add_folder_confirm.h"

namespace nvx::wizard {

FileDialogPage::FileDialogPage(WizardContext& context, QWidget* parent)
    : Page("FileDialog", "Advanced: Add Other Folders & Files To Backup", parent),
      context_(context) {
  QLabel* title = MakeHeading("Label1", "Advanced Configuration");
  QLabel* folders = MakeLabel(
      "Label2",
      "To back up another folder, click \"Select Folder for Backup\" and choose it; you can "
      "then decide whether its subfolders are included. Repeat for each folder.");
  QLabel* files = MakeLabel("Label3",
                            "To back up single files, click \"Select File(s) for Backup\"; "
                            "several files of one folder can be chosen at once. When you are "
                            "finished, start the backup now or leave it for later.");
  QLabel* total = total_ = MakeLabel("TotalSpaceLabel", {});
  QPushButton* folder = MakeButton("Command1", "Select Folder for Backup");
  QPushButton* select = MakeButton("Select", "Select File(s) for Backup");
  QPushButton* now = MakeButton("continue", "Done - Backup NOW");
  now->setDefault(true);
  QPushButton* later = MakeButton("BackupLater", "Done - Backup LATER");

  auto* pickers = new QHBoxLayout;
  pickers->addWidget(folder);
  pickers->addWidget(select);
  pickers->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(folders);
  layout->addWidget(files);
  layout->addSpacing(8);
  layout->addLayout(pickers);
  layout->addSpacing(8);
  layout->addWidget(total);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({now, later}));
  setMinimumWidth(520);

  connect(folder, &QPushButton::clicked, this, &FileDialogPage::SelectFolder);
  connect(select, &QPushButton::clicked, this, &FileDialogPage::SelectFiles);
  connect(now, &QPushButton::clicked, this, [this] { Done(true); });
  connect(later, &QPushButton::clicked, this, [this] { Done(false); });
  ShowTotal();
}

void FileDialogPage::ShowTotal() {
  total_->setText(TotalSpaceText(context_.state.total));
}

void FileDialogPage::SelectFolder() {
  QString path = context_.desktop.BrowseFolder("Select Folder To Backup");
  if (path.isEmpty()) return;
  path = QDir::cleanPath(path);
  // The whole file system is not a folder one adds to a backup.
  if (path == "/") {
    context_.desktop.Tell("Can't add " + path + " to backup");
    return;
  }
  context_.desktop.BusyPointer(true);
  double without = DirectorySize(path, "*.*", false).bytes;
  double with = DirectorySize(path, "*.*", true).bytes;
  context_.desktop.BusyPointer(false);
  AddFolderConfirm confirm(PathSizeText(path, without, with), this);
  if (confirm.exec() != QDialog::Accepted) return;
  bool subfolders = confirm.include_subfolders();
  if (!context_.config.WriteOtherFolder(path, subfolders)) {
    context_.desktop.Tell("Could not write config.txt: " + context_.config.LastError());
    return;
  }
  double bytes = subfolders ? with : without;
  context_.state.other_total += bytes;
  context_.state.total += bytes;
  ShowTotal();
}

void FileDialogPage::SelectFiles() {
  QStringList files = context_.desktop.OpenFiles("Select File(s) for Backup", "/");
  for (const QString& path : files) {
    if (!context_.config.WriteIndividualFile(path)) {
      context_.desktop.Tell("Could not write config.txt: " + context_.config.LastError());
      return;
    }
    double bytes = static_cast<double>(QFileInfo(path).size());
    context_.state.other_total += bytes;
    context_.state.total += bytes;
  }
  ShowTotal();
}

void FileDialogPage::Done(bool backup_now) {
  context_.state.backup_now = backup_now;
  accept();
}

}  // namespace nvx::wizard
