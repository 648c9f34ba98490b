#include "wizard/core/login_library.h"

#include "wizard/core/config_rewrites.h"
#include "wizard/core/wizard_environment.h"

namespace nvx::wizard {

LoginRequest LoginRequestFor(const QString& id, const QString& password,
                             const ServerChoice& server) {
  return LoginRequest{id, password, ServerSetting(server), server.ca_file.trimmed()};
}

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
    case kLoginCertificateUntrusted:
      return "The service's certificate is not trusted, so your ID and password were not "
             "sent. If the service uses a certificate authority of its own, name its "
             "certificate file under \"Certificate authority\"; otherwise check the server "
             "address.";
    case kLoginCertificateWrongName:
      return "The service's certificate was issued for another name, so your ID and password "
             "were not sent. Check the server address: it must be the name the service's "
             "certificate was issued for.";
    case kLoginCertificateExpired:
      return "The service's certificate has expired, so your ID and password were not sent. "
             "Check this computer's date and time; if they are right, the service's "
             "certificate must be renewed.";
    case kLoginNoTls:
      return "The service does not speak TLS, so your ID and password were not sent. Check "
             "the server address and its port.";
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
    case kLoginServersNotSupported:
      return QString(
          "The installed login check cannot reach the chosen servers (Update NVX components "
          "on the Advanced tab brings one that can), so your ID and password could not be "
          "checked.");
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
    // An older library has no TestLoginAt; its absence is no failure to load.
    std::string no_test_login_at;
    test_login_at_ =
        reinterpret_cast<TestLoginAtFunction>(library_.Symbol("TestLoginAt", &no_test_login_at));
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

int LoginLibrary::Check(const LoginRequest& request) const {
  if (const TestLoginAtFunction test_login_at = test_login_at_.load()) {
    return test_login_at(request.servers.toUtf8().constData(), request.ca_file.toUtf8().constData(),
                         request.id.toUtf8().constData(), request.password.toUtf8().constData());
  }
  if (!test_login_.load()) return -1;
  if (!request.servers.isEmpty()) return kLoginServersNotSupported;
  return TestLogin(request.id, request.password);
}

}  // namespace nvx::wizard
