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

std::optional<QString> LoginNotCheckedReason(int result) {
  switch (result) {
    case kLoginServiceNotReached:
      return QString(
          "The Norrvault service could not be reached, so your ID and password "
          "could not be checked.");
    case kLoginNotConfirmed:
      return QString(
          "The Norrvault service gave no clear answer, so your ID and password "
          "could not be checked.");
    default:
      return std::nullopt;
  }
}

bool LoginLibrary::Load(const QString& app_folder, QString* reason) {
  if (test_login_.load()) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  if (test_login_.load()) return true;
  std::string why;
  if (library_.Open(AppFile(app_folder, kLoginLibraryName).toStdString(), &why)) {
    test_login_ = reinterpret_cast<TestLoginFunction>(library_.Symbol("TestLogin", &why));
  }
  if (!test_login_.load() && reason) *reason = QString::fromStdString(why);
  return test_login_.load() != nullptr;
}

int LoginLibrary::TestLogin(const QString& login_id, const QString& password) const {
  const TestLoginFunction test_login = test_login_.load();
  if (!test_login) return -1;
  return test_login(login_id.toUtf8().constData(), password.toUtf8().constData());
}

}  // namespace nvx::wizard
