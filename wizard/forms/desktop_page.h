// desktop: the files and folders on the Desktop. Load() scans the Desktop and sets page
// skipped when it holds neither files nor folders. `Continue` writes the Desktop
// sections; `Cancel` and the close box end the program.
#ifndef NVX_WIZARD_FORMS_DESKTOP_PAGE_H_
#define NVX_WIZARD_FORMS_DESKTOP_PAGE_H_

#include "wizard/core/directory_size.h"
#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

class QListWidget;

namespace nvx::wizard {

class DesktopPage : public Page {
  Q_OBJECT

 public:
  explicit DesktopPage(WizardContext& context, QWidget* parent = nullptr);

  // Scans the Desktop and fills the page; once, before the page is shown.
  void Load();

 private:
  double SelectedBytes() const;
  void Recalculate();
  void ContinueClicked();

  WizardContext& context_;
  DesktopScan scan_;
  QLabel* heading_;
  QCheckBox* files_;
  QListWidget* folders_;
  QLabel* total_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_DESKTOP_PAGE_H_
