// The splash page: the wizard's name, version and welcome text. `Continue` goes on,
// `Cancel` and the close box end the program.
#ifndef NVX_WIZARD_FORMS_SPLASH_PAGE_H_
#define NVX_WIZARD_FORMS_SPLASH_PAGE_H_

#include "wizard/forms/page.h"

namespace nvx::wizard {

// The welcome text, lines joined by carriage returns.
QString SplashText();

class SplashPage : public Page {
  Q_OBJECT

 public:
  explicit SplashPage(QWidget* parent = nullptr);
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_SPLASH_PAGE_H_
