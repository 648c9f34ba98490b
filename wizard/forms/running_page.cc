#include "wizard/forms/running_page.h"

#include <QVBoxLayout>

#include "wizard/core/cleanup_job.h"
#include "wizard/core/download_job.h"

namespace nvx::wizard {

QString RunningBackupText(bool new_configuration) {
  QString text = QString("The Norrvault Backup Job has been started ") +
                 "in a separate window, which will remain open until " +
                 "the Backup Job completes. Closing the separate window will " + "stop the Backup.";
  if (new_configuration) {
    text += QString("\r\r") + "To run this Norrvault Backup Job again at " +
            "a later time, launch this program again." + "\r\r" +
            "To schedule future Backups please click 'Continue'";
  }
  return text;
}

RunningTexts RestoreRunningTexts() {
  return {"Norrvault Restore Job Started", "Norrvault Restore Job Started",
          QString("The Norrvault Restore Job has been started ") +
              "in a separate window, which will remain open until " +
              "the Restore Job completes. Closing the separate window will " + "stop the Restore."};
}

RunningTexts CleanupRunningTexts() {
  return {kCleanupCaption, kCleanupHeading, CleanupRunningText()};
}

RunningTexts DownloadRunningTexts(bool relaunch_advice) {
  return {kDownloadCaption, kDownloadHeading,
          relaunch_advice ? DownloadRunningTextWithRelaunch() : DownloadRunningText()};
}

RunningPage::RunningPage(bool new_configuration, QWidget* parent)
    : Page("Running", "Norrvault Backup Job Started", parent) {
  Build("Norrvault Backup Job Started", RunningBackupText(new_configuration), "Continue");
}

RunningPage::RunningPage(const RunningTexts& texts, QWidget* parent)
    : Page("RunningRestore", texts.caption, parent) {
  Build(texts.heading, texts.text, "Close Window");
}

void RunningPage::Build(const QString& heading, const QString& text,
                        const QString& button_caption) {
  QLabel* title = MakeHeading("Heading", heading);
  QLabel* body = MakeLabel("SubHead", ForDisplay(text));
  body->setMinimumWidth(440);
  QPushButton* ok = MakeButton("OKButton", button_caption);
  ok->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addSpacing(8);
  layout->addWidget(body);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({ok}));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace nvx::wizard
