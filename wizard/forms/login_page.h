// The Login page: the Norrvault ID and password, checked by the outside login check. An
// accepted login opens config.txt (created or truncated) and writes its header; the page
// then ends with accept(). `Cancel` and the close box end the program.
#ifndef NVX_WIZARD_FORMS_LOGIN_PAGE_H_
#define NVX_WIZARD_FORMS_LOGIN_PAGE_H_

#include "wizard/forms/page.h"
#include "wizard/forms/wizard_context.h"

class QLineEdit;

namespace nvx::wizard {

class LoginPage : public Page {
  Q_OBJECT

 public:
  explicit LoginPage(WizardContext& context, QWidget* parent = nullptr);

 private:
  void LoginClicked();

  WizardContext& context_;
  QLineEdit* id_;
  QLineEdit* password_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_LOGIN_PAGE_H_
