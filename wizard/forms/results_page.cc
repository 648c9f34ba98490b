#include "wizard/forms/results_page.h"

#include <QFileInfo>
#include <QLocale>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "wizard/core/job_file.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {
namespace {

QString Caption(const QString& results_type) {
  return "Most Recent " + results_type + " Results";
}

QString Heading(const QString& results_type) {
  return "Most Recent Completed " + results_type + " Results";
}

// The lines of a file in the logs folder joined for display; empty when there is none.
QString LogsFileText(const QString& app_folder, const QString& name, bool* found) {
  const QString path = FindInLogs(app_folder, name);
  *found = false;
  if (path.isEmpty()) return {};
  return ReadLines(path, found).join("\n");
}

}  // namespace

QString ResultsReportPath(const QString& app_folder, const QString& results_type) {
  return FindInLogs(app_folder, results_type + " Results.txt");
}

bool ResultsAvailable(const QString& app_folder, const QString& results_type) {
  return !ResultsReportPath(app_folder, results_type).isEmpty() ||
         QFileInfo::exists(RunStatusPath(app_folder, results_type));
}

ResultsPage::ResultsPage(const QString& app_folder, const QString& results_type, QWidget* parent)
    : Page("Results", Caption(results_type), parent),
      app_folder_(app_folder),
      results_type_(results_type) {
  QLabel* title = MakeHeading("Label1", Heading(results_type));
  date_ = MakeLabel("DateLabel", "(No " + results_type + " date available)");
  outcome_ = MakeLabel("Outcome", {});
  auto* text = text_ = new QPlainTextEdit(this);
  text->setObjectName("Text1");
  text->setReadOnly(true);
  text->setMinimumSize(560, 300);
  QPushButton* close = MakeButton("Close", "Close");
  close->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(date_);
  layout->addWidget(outcome_);
  layout->addWidget(text, 1);
  layout->addLayout(ButtonRow({close}));
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void ResultsPage::Load() {
  const RunView view = ReadRunView(app_folder_, results_type_, 0, runs_);
  const QString report_path = ResultsReportPath(app_folder_, results_type_);
  bool found = false;
  const QString report = LogsFileText(app_folder_, results_type_ + " Results.txt", &found);
  const QString report_date =
      found ? QLocale().toString(QFileInfo(report_path).lastModified(), QLocale::ShortFormat)
            : QString();
  const bool last_run_reported = view.status && view.ended() && view.status->report &&
                                 view.state != RunView::State::kDidNotFinish;

  if (!view.status || last_run_reported) {
    // The report is the last run's own (or no run is known but the report).
    if (found) date_->setText(report_date);
    if (view.status) outcome_->setText(OutcomeText(view));
    text_->setPlainText(report);
    return;
  }
  if (view.state == RunView::State::kRunning) {
    date_->setText("A " + results_type_ + " is running now, started " +
                   MomentText(view.status->started));
    outcome_->setText(found ? "The report below is of the run before it." : QString());
    text_->setPlainText(report);
    return;
  }
  // The last run left no report: it failed or never ended. What it did write is pending.
  const bool ended = view.state != RunView::State::kDidNotFinish;
  date_->setText(MomentText(ended ? view.status->ended : view.status->started));
  outcome_->setText(OutcomeText(view));
  bool pending_found = false;
  const QString pending = LogsFileText(app_folder_, results_type_ + " Results.tmp", &pending_found);
  QString text = ended ? QString(
                             "The last %1 ended with exit code %2 before its results report "
                             "was written.")
                             .arg(results_type_)
                             .arg(view.status->exit_code)
                       : QString(
                             "The last %1, started %2, did not finish: it was stopped "
                             "before it ended.")
                             .arg(results_type_, MomentText(view.status->started));
  if (!view.status->subject.empty() && ended) {
    text += "\n" + QString::fromStdString(view.status->subject);
  }
  if (pending_found && !pending.isEmpty()) text += "\n\nWhat it had noted:\n" + pending;
  text_->setPlainText(text);
}

}  // namespace nvx::wizard
