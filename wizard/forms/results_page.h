// Results: the most recent backup results report from the logs folder, with its date.
// `Close` and the close box close only this page.
#ifndef NVX_WIZARD_FORMS_RESULTS_PAGE_H_
#define NVX_WIZARD_FORMS_RESULTS_PAGE_H_

#include "wizard/forms/page.h"

namespace nvx::wizard {

class ResultsPage : public Page {
  Q_OBJECT

 public:
  // `report_path` is the results file ("" when there is none).
  explicit ResultsPage(const QString& report_path, QWidget* parent = nullptr);
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_RESULTS_PAGE_H_
