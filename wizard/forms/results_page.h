// Results: the most recent results of a results type ("Backup", "Restore", ...) from the
// logs folder, never older than the last run. The run status file says how the last run
// ended: a run that ended without its report shows as failed with its exit code and the
// pending results it left; a run that never ended shows as not finished; the report of
// an earlier run is never shown as if it were the last one's. `Close` and the close box
// close only this page.
#ifndef NVX_WIZARD_FORMS_RESULTS_PAGE_H_
#define NVX_WIZARD_FORMS_RESULTS_PAGE_H_

#include "wizard/core/run_watch.h"
#include "wizard/forms/page.h"

class QPlainTextEdit;

namespace nvx::wizard {

// The results report of `results_type` in the logs folder ("" when there is none).
QString ResultsReportPath(const QString& app_folder, const QString& results_type);
// True when there is anything to show: a report or a run status.
bool ResultsAvailable(const QString& app_folder, const QString& results_type);

class ResultsPage : public Page {
  Q_OBJECT

 public:
  ResultsPage(const QString& app_folder, const QString& results_type, QWidget* parent = nullptr);

  // Reads the status, the report and its date; once, before the page is shown.
  void Load();

  void SetProcessCheck(ProcessCheck runs) { runs_ = std::move(runs); }

 private:
  QString app_folder_;
  QString results_type_;
  ProcessCheck runs_ = ProcessRuns;
  QLabel* date_;
  QLabel* outcome_;
  QPlainTextEdit* text_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_RESULTS_PAGE_H_
