#include "wizard/forms/choose_type_page.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "wizard/core/download_job.h"

namespace nvx::wizard {

ChooseTypePage::ChooseTypePage(WizardContext& context, QWidget* parent)
    : Page("ChooseType", "Norrvault Backup or Restore?", parent), context_(context) {
  QLabel* title = MakeHeading("Label1", "Is this a Backup or a Restore?");
  QCheckBox* backup = MakeCheck("TypeBackup", "I want to configure a backup for this computer.");
  QLabel* backup_note =
      MakeLabel("Label2", "[This will backup files from this computer to your NVX account]");
  QCheckBox* restore = restore_ =
      MakeCheck("TypeRestore", "I want to restore a previous backup to this computer");
  QLabel* restore_note =
      MakeLabel("Label3", "[This will restore files stored in your NVX account to this computer]");
  QPushButton* next = MakeButton("Continue", "Continue");
  next->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addSpacing(8);
  layout->addWidget(backup);
  layout->addWidget(backup_note);
  layout->addSpacing(8);
  layout->addWidget(restore);
  layout->addWidget(restore_note);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(next);
  layout->addLayout(buttons);
  backup_note->setIndent(24);
  restore_note->setIndent(24);

  // Checking one clears the other; both may be clear.
  connect(backup, &QCheckBox::toggled, this, [restore](bool on) {
    if (on) restore->setChecked(false);
  });
  connect(restore, &QCheckBox::toggled, this, [backup](bool on) {
    if (on) backup->setChecked(false);
  });
  connect(next, &QPushButton::clicked, this, &ChooseTypePage::ContinueClicked);
}

void ChooseTypePage::ContinueClicked() {
  if (!restore_->isChecked()) {
    accept();
    return;
  }
  // The new configuration holds only the header the Login page wrote; the download brings
  // the stored one instead, after moving config.txt aside.
  context_.config.Abandon();
  QString error;
  if (!PrepareChooseTypeDownload(context_.state.app_folder, context_.state.login_id,
                                 context_.state.password, context_.state.server, &error)) {
    context_.desktop.Tell("Could not prepare the configuration download: " + error);
    return;
  }
  // A download that could not start has been told; the notice follows either way, since
  // config.txt has been moved aside.
  launch_ = StartJobRunner(context_, {"-f", kDownloadConfigName}).value_or(JobLaunch{});
  done(kRestoreChosen);
}

}  // namespace nvx::wizard
