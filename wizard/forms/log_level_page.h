// LogLevelfrm: the log level of config.txt. `Apply` rewrites config.txt with the chosen
// level and ends with accept(); `Cancel` and the close box close only this page.
#ifndef NVX_WIZARD_FORMS_LOG_LEVEL_PAGE_H_
#define NVX_WIZARD_FORMS_LOG_LEVEL_PAGE_H_

#include <vector>

#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

class QRadioButton;

namespace nvx::wizard {

class LogLevelPage : public Page {
  Q_OBJECT

 public:
  explicit LogLevelPage(WizardContext& context, QWidget* parent = nullptr);

 private:
  void ApplyClicked();

  WizardContext& context_;
  // The options in the order of the page's table of levels.
  std::vector<QRadioButton*> options_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_LOG_LEVEL_PAGE_H_
