// ChooseType: backup or restore. Backup (or neither box checked) goes on with the backup
// pages; restore closes config.txt, writes the configuration download job, starts it and
// ends the page with kRestoreChosen. The close box ends the program.
#ifndef NVX_WIZARD_FORMS_CHOOSE_TYPE_PAGE_H_
#define NVX_WIZARD_FORMS_CHOOSE_TYPE_PAGE_H_

#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

namespace nvx::wizard {

class ChooseTypePage : public Page {
  Q_OBJECT

 public:
  // The result code when the configuration download was started.
  static constexpr int kRestoreChosen = 2;

  explicit ChooseTypePage(WizardContext& context, QWidget* parent = nullptr);

  // The configuration download started (after kRestoreChosen).
  const JobLaunch& launch() const { return launch_; }

 private:
  void ContinueClicked();

  WizardContext& context_;
  QCheckBox* restore_;
  JobLaunch launch_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_CHOOSE_TYPE_PAGE_H_
