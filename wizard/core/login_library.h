// The login check of the outside library libnvxapib.so, loaded from AppFolder at the first
// login. Its results: 2 login ID invalid, 3 password invalid, 4 account disabled,
// 5 password expired; -2 the service could not be reached, -3 it gave no clear answer
// (the login could not be checked); -4 the service's certificate is not trusted, -5 it
// was issued for another name, -6 it has expired, -7 the service does not speak TLS (the
// ID and password were not sent); any other value is an accepted login. TestLoginAt asks
// the servers the configuration names; a library without it (an older one) has only
// TestLogin, which asks the default servers plain. Load, TestLogin and Check may be called
// from any thread; the checks block while the library asks the service.
#ifndef NVX_WIZARD_CORE_LOGIN_LIBRARY_H_
#define NVX_WIZARD_CORE_LOGIN_LIBRARY_H_

#include <QString>
#include <atomic>
#include <mutex>
#include <optional>

#include "platform/shared_library.h"
#include "wizard/core/server_address.h"

namespace nvx::wizard {

inline constexpr char kLoginUnavailablePrefix[] = "Login check unavailable: ";
inline constexpr char kEmptyLoginMessage[] = "Please enter an ID and Password";

enum LoginResult : int {
  kLoginServiceNotReached = -2,
  kLoginNotConfirmed = -3,
  kLoginIdInvalid = 2,
  kLoginPasswordInvalid = 3,
  kLoginAccountDisabled = 4,
  kLoginPasswordExpired = 5,
  kLoginCertificateUntrusted = -4,
  kLoginCertificateWrongName = -5,
  kLoginCertificateExpired = -6,
  kLoginNoTls = -7,
  // The wizard's own: the library has no TestLoginAt, and the configuration names servers
  // that TestLogin would not ask.
  kLoginServersNotSupported = -100,
};

// What a login check asks: the ID and password, at the servers of the configuration's
// NVXServer value (empty: the default servers), trusting the authorities of `ca_file`
// (empty: the system's trust store).
struct LoginRequest {
  QString id;
  QString password;
  QString servers;
  QString ca_file;
};

// The check of `id` and `password` at the servers `server` names.
LoginRequest LoginRequestFor(const QString& id, const QString& password,
                             const ServerChoice& server);

// The message for a refused login, or the empty text when `result` means accepted. A
// certificate refusal says what the user can do about it.
QString LoginRefusalMessage(int result);
// Why the login could not be checked, for -2, -3 and kLoginServersNotSupported; none for
// the other results.
std::optional<QString> LoginNotCheckedReason(int result);

class LoginLibrary {
 public:
  LoginLibrary() = default;
  LoginLibrary(const LoginLibrary&) = delete;
  LoginLibrary& operator=(const LoginLibrary&) = delete;

  // Loads AppFolder/libnvxapib.so and binds TestLogin, and TestLoginAt when the library
  // has it. Once loaded, later calls return at once; after a failure the next call tries
  // again. False with the loader's reason in *reason when it cannot.
  [[nodiscard]] bool Load(const QString& app_folder, QString* reason);

  // Calls TestLogin; -1 when the library is not loaded.
  int TestLogin(const QString& login_id, const QString& password) const;

  // Checks `request` with TestLoginAt. A library without it checks with TestLogin when
  // the request names no servers, and gives kLoginServersNotSupported when it does (the
  // default servers are not what the user chose, and may be reached plain). -1 when the
  // library is not loaded.
  int Check(const LoginRequest& request) const;

 private:
  using TestLoginFunction = int (*)(const char*, const char*);
  using TestLoginAtFunction = int (*)(const char*, const char*, const char*, const char*);
  std::mutex mutex_;  // guards the loading
  platform::SharedLibrary library_;
  std::atomic<TestLoginFunction> test_login_{nullptr};
  std::atomic<TestLoginAtFunction> test_login_at_{nullptr};
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_LOGIN_LIBRARY_H_
