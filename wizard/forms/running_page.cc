#include "wizard/forms/running_page.h"

#include "wizard/core/restore_test_job.h"

#include <QGridLayout>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "wizard/core/cleanup_job.h"
#include "wizard/core/download_job.h"
#include "wizard/forms/results_page.h"

namespace nvx::wizard {

RunningTexts RunningBackupTexts(bool new_configuration, const JobLaunch& launch) {
  QString text = JobStartedText("Backup Job", "the Backup", launch.in_window);
  if (new_configuration) {
    text += QString("\r\r") + "To run this Norrvault Backup Job again at " +
            "a later time, launch this program again." + "\r\r" +
            "To schedule future Backups please click 'Continue'";
  }
  return {"Norrvault Backup Job Started", "Norrvault Backup Job Started", text, kBackupResultsType,
          launch};
}

RunningTexts RestoreRunningTexts(const JobLaunch& launch) {
  return {"Norrvault Restore Job Started", "Norrvault Restore Job Started",
          JobStartedText("Restore Job", "the Restore", launch.in_window), kRestoreResultsType,
          launch};
}

RunningTexts CleanupRunningTexts(const JobLaunch& launch) {
  return {kCleanupCaption, kCleanupHeading, CleanupRunningText(launch.in_window),
          kCleanupResultsType, launch};
}

RunningTexts RestoreTestRunningTexts(const JobLaunch& launch) {
  return {"Norrvault Restore Test Started", "Norrvault Restore Test running",
          JobStartedText("Restore Test", "the Restore Test", launch.in_window),
          kRestoreTestResultsType, launch};
}

RunningTexts DownloadRunningTexts(bool relaunch_advice, const JobLaunch& launch) {
  return {kDownloadCaption, kDownloadHeading,
          relaunch_advice ? DownloadRunningTextWithRelaunch(launch.in_window)
                          : DownloadRunningText(launch.in_window),
          kDownloadResultsType, launch};
}

RunningPage::RunningPage(const RunningTexts& texts, const QString& app_folder, bool backup,
                         QWidget* parent)
    : Page(backup ? "Running" : "RunningRestore", texts.caption, parent),
      texts_(texts),
      app_folder_(app_folder) {
  QLabel* title = MakeHeading("Heading", texts.heading);
  QLabel* body = MakeLabel("SubHead", ForDisplay(texts.text));
  body->setMinimumWidth(480);
  state_ = MakeLabel("RunState", {});
  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar");
  bar_->setRange(0, 0);
  files_ = MakeLabel("FilesLabel", {}, false);
  bytes_ = MakeLabel("BytesLabel", {}, false);
  rate_ = MakeLabel("RateLabel", {}, false);
  time_left_ = MakeLabel("TimeLeftLabel", {}, false);
  current_file_ = MakeLabel("CurrentFile", {}, false);
  current_file_->setTextFormat(Qt::PlainText);
  current_file_->setMaximumWidth(560);
  results_ = MakeButton("ShowResults", "Show Results");
  results_->setEnabled(false);
  QPushButton* ok = MakeButton("OKButton", backup ? "Continue" : "Close Window");
  ok->setDefault(true);

  auto* figures = new QGridLayout;
  figures->addWidget(files_, 0, 0);
  figures->addWidget(bytes_, 0, 1);
  figures->addWidget(rate_, 1, 0);
  figures->addWidget(time_left_, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addSpacing(8);
  layout->addWidget(body);
  layout->addSpacing(8);
  layout->addWidget(state_);
  layout->addWidget(bar_);
  layout->addLayout(figures);
  layout->addWidget(current_file_);
  layout->addStretch(1);
  auto* buttons = ButtonRow({ok});
  buttons->insertWidget(0, results_);
  layout->addLayout(buttons);

  timer_ = new QTimer(this);
  timer_->setInterval(kRunningRefreshMillis);
  connect(timer_, &QTimer::timeout, this, &RunningPage::Refresh);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(results_, &QPushButton::clicked, this, &RunningPage::ShowResults);
}

void RunningPage::Load() {
  Refresh();
  if (!view_.ended()) timer_->start();
}

void RunningPage::Refresh() {
  view_ = ReadRunView(app_folder_, texts_.results_type, texts_.launch.launched_at, runs_);
  state_->setText(view_.state_text);
  if (view_.fraction >= 0) {
    bar_->setRange(0, 1000);
    bar_->setValue(static_cast<int>(view_.fraction * 1000));
  } else if (view_.ended()) {
    bar_->setRange(0, 1000);
    bar_->setValue(0);
  } else {
    bar_->setRange(0, 0);  // busy: the run is on, its share unknown
  }
  files_->setText(view_.files_text);
  bytes_->setText(view_.bytes_text);
  rate_->setText(view_.rate_text);
  time_left_->setText(view_.time_left_text);
  current_file_->setText(
      view_.current_file.isEmpty()
          ? QString()
          : current_file_->fontMetrics().elidedText(view_.current_file, Qt::ElideMiddle, 560));
  results_->setEnabled(view_.ended());
  if (view_.ended()) timer_->stop();
}

void RunningPage::ShowResults() {
  ResultsPage results(app_folder_, texts_.results_type, this);
  results.Load();
  results.exec();
}

}  // namespace nvx::wizard
