// NewVersion: the offer of a newer version of the whole program, shown at start-up when
// the web host's version notice announces one. `OKButton` opens the setup page in the
// desktop's browser and ends with accept() (the program then ends); `CancelButton` and
// the close box end with reject() (the wizard carries on). GUI thread.
#ifndef NVX_WIZARD_FORMS_NEW_VERSION_PAGE_H_
#define NVX_WIZARD_FORMS_NEW_VERSION_PAGE_H_

#include "wizard/desktop/desktop.h"
#include "wizard/forms/page.h"

namespace nvx::wizard {

class NewVersionPage : public Page {
  Q_OBJECT

 public:
  // `setup_page_url` is opened on OK; `desktop` must outlive the page.
  NewVersionPage(Desktop& desktop, const QString& setup_page_url, QWidget* parent = nullptr);
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_NEW_VERSION_PAGE_H_
