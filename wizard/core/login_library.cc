#include "wizard/core/login_library.h"

#include "wizard/core/config_rewrites.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

QString LoginRefusalMessage(int result) {
  switch (result) {
    case kLoginIdInvalid:
      return "Login ID invalid, please try again";
    case kLoginPasswordInvalid:
      return "Password invalid, please try again";
    case kLoginAccountDisabled:
      return "Your account is disabled, please login using a web browser to reactivate";
    case kLoginPasswordExpired:
      return "Your password has expired, please login using a web browser to change your "
             "password";
    default:
      return {};
  }
}

bool LoginLibrary::Load(const QString& app_folder, QString* reason) {
  if (test_login_) return true;
  std::string why;
  if (library_.Open(AppFile(app_folder, kLoginLibraryName).toStdString(), &why)) {
    test_login_ = reinterpret_cast<TestLoginFunction>(library_.Symbol("TestLogin", &why));
  }
  if (!test_login_ && reason) *reason = QString::fromStdString(why);
  return test_login_ != nullptr;
}

int LoginLibrary::TestLogin(const QString& login_id, const QString& password) const {
  if (!test_login_) return -1;
  return test_login_(login_id.toUtf8().constData(), password.toUtf8().constData());
}

}  // namespace nvx::wizard
