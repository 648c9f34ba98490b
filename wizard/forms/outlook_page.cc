#include "wizard/forms/outlook_page.h"

#include <QGridLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "wizard/core/size_text.h"

namespace nvx::wizard {
namespace {

struct OutlookControls {
  const char* check;
  const char* caption;
  const char* more_info;
  int partner;  // the file whose check box this one clears
};

// In the order of OutlookFileIndex.
constexpr OutlookControls kControls[kOutlookFileCount] = {
    {"OutlookCheck", "Backup Outlook.pst", "OutlookMoreInfo", kOutlookBackupPst},
    {"ArchiveCheck", "Backup Archive.pst", "ArchiveMoreInfo", kArchiveBackupPst},
    {"BackupAddinCheck", "Backup Outlook Backup.pst", "BackupMoreInfo", kOutlookPst},
    {"BackupArchiveCheck", "Backup Archive Backup.pst", "BackupArchiveMoreInfo", kArchivePst},
};

}  // namespace

OutlookPage::OutlookPage(WizardContext& context, const QString& drive_c, QWidget* parent)
    : Page("Outlook", "Backup Outlook Personal Folders", parent),
      context_(context),
      drive_c_(drive_c) {
  auto* files = new QGridLayout;
  for (int index = 0; index < kOutlookFileCount; ++index) {
    QCheckBox* check = MakeCheck(kControls[index].check, kControls[index].caption);
    QLabel* size = MakeLabel(QString(kControls[index].check) + "Size", {}, false);
    QPushButton* more = MakeButton(kControls[index].more_info, "More Info");
    rows_[index] = {check, size, more};
    files->addWidget(check, index, 0);
    files->addWidget(size, index, 1);
    files->addWidget(more, index, 2);
    connect(check, &QCheckBox::toggled, this, [this, index](bool on) {
      if (on) rows_[kControls[index].partner].check->setChecked(false);
      ShowTotal();
    });
    connect(more, &QPushButton::clicked, this,
            [this, index] { context_.desktop.Tell(OutlookMoreInfoText(discovery_, index)); });
  }
  QLabel* close_outlook = close_outlook_ = MakeLabel("CloseOutlookLabel", {});
  QFont bold = close_outlook->font();
  bold.setBold(true);
  close_outlook->setFont(bold);
  QLabel* note = MakeLabel("Label2",
                           "Note: CHECKED files will be included in the Backup. If you do not "
                           "want a file backed up, UNCHECK it.");
  QLabel* total = total_ = MakeLabel("TotalSpaceLabel", {});
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "Cancel");

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(files);
  layout->addSpacing(8);
  layout->addWidget(close_outlook);
  layout->addWidget(note);
  layout->addWidget(total);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({next, cancel}));
  setMinimumWidth(480);

  connect(next, &QPushButton::clicked, this, &OutlookPage::ContinueClicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void OutlookPage::Load() {
  discovery_ = DiscoverOutlookFiles(drive_c_, context_.state.user_name);
  context_.state.page_skipped = !discovery_.found;
  if (discovery_.found) context_.state.outlook_folder = discovery_.folder;
  for (int index = 0; index < kOutlookFileCount; ++index) {
    const OutlookFile& file = discovery_.files[index];
    const FileRow& row = rows_[index];
    row.size->setText("(" + file.size_text);
    // A file that is not there is neither offered nor checked.
    bool offered = discovery_.found && file.present;
    {
      const QSignalBlocker quiet(row.check);
      row.check->setChecked(offered && (index == kOutlookPst || index == kArchivePst));
    }
    row.check->setVisible(offered);
    row.size->setVisible(offered);
    row.more_info->setVisible(offered);
  }
  if (discovery_.found) close_outlook_->setText(CloseOutlookText());
  ShowTotal();
}

double OutlookPage::SelectedBytes() const {
  double bytes = 0;
  for (int index = 0; index < kOutlookFileCount; ++index) {
    if (rows_[index].check->isChecked()) bytes += discovery_.files[index].bytes;
  }
  return bytes;
}

void OutlookPage::ShowTotal() {
  total_->setText(TotalSpaceText(context_.state.total + SelectedBytes()));
}

void OutlookPage::ContinueClicked() {
  for (int index = 0; index < kOutlookFileCount; ++index) {
    if (!rows_[index].check->isChecked()) continue;
    const OutlookFile& file = discovery_.files[index];
    if (!context_.config.WriteOutlookFile(file.listed_name, file.name_on_disk)) {
      context_.desktop.Tell("Could not write config.txt: " + context_.config.LastError());
      return;
    }
  }
  context_.state.outlook_total = SelectedBytes();
  context_.state.total += context_.state.outlook_total;
  accept();
}

}  // namespace nvx::wizard
