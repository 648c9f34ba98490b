// The Login page: the Norrvault ID and password and the servers to reach (see
// server_fields.h), checked by the outside login check on a thread of its own (the page
// shows it running and can cancel it). An accepted login, or
// one the service could not check that the user chose to keep, starts the new
// configuration and writes its header; the page then ends with accept(). `Cancel` and the
// close box end the program.
#ifndef NVX_WIZARD_FORMS_LOGIN_PAGE_H_
#define NVX_WIZARD_FORMS_LOGIN_PAGE_H_

#include "wizard/forms/login_check.h"
#include "wizard/forms/page.h"
#include "wizard/forms/server_fields.h"
#include "wizard/forms/wizard_context.h"

class QLineEdit;

namespace nvx::wizard {

class LoginPage : public Page {
  Q_OBJECT

 public:
  explicit LoginPage(WizardContext& context, QWidget* parent = nullptr);

 private:
  void LoginClicked();
  void CheckFinished(LoginVerdict verdict);
  // The fields and the forward button take input only while no check runs.
  void SetEditable(bool editable);

  WizardContext& context_;
  QLineEdit* id_;
  QLineEdit* password_;
  ServerFields* servers_;
  QPushButton* login_;
  LoginCheckPanel* check_;
  QString checked_id_;
  QString checked_password_;
  ServerChoice checked_server_;
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_LOGIN_PAGE_H_
