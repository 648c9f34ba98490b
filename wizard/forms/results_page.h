// Results: the most recent backup results report from the logs folder, with its date.
// `Close` and the close box close only this page.
#ifndef NVX_WIZARD_FORMS_RESULTS_PAGE_H_
#define NVX_WIZARD_FORMS_RESULTS_PAGE_H_

#include "wizard/forms/page.h"

class QPlainTextEdit;

namespace nvx::wizard {

class ResultsPage : public Page {
  Q_OBJECT

 public:
  // `report_path` is the results file ("" when there is none).
  explicit ResultsPage(const QString& report_path, QWidget* parent = nullptr);

  // Reads the report and its date; once, before the page is shown.
  void Load();

 private:
  QString report_path_;
  QLabel* date_;
  QPlainTextEdit* text_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_RESULTS_PAGE_H_
