// Favorites: whether to back up the Favorites folder. Load() sets page skipped when no
// file lies directly in the folder. `Continue` writes the Favorites section; `Cancel` and
// the close box end the program.
#ifndef NVX_WIZARD_FORMS_FAVORITES_PAGE_H_
#define NVX_WIZARD_FORMS_FAVORITES_PAGE_H_

#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

namespace nvx::wizard {

class FavoritesPage : public Page {
  Q_OBJECT

 public:
  explicit FavoritesPage(WizardContext& context, QWidget* parent = nullptr);

  // Looks at the Favorites folder and sizes it; once, before the page is shown.
  void Load();

 private:
  void ContinueClicked();

  WizardContext& context_;
  double bytes_ = 0;
  QCheckBox* include_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_FAVORITES_PAGE_H_
