// The login check of the outside library libnvxapib.so, loaded from AppFolder at the first
// login. TestLogin's results: 2 login ID invalid, 3 password invalid, 4 account disabled,
// 5 password expired; -2 the service could not be reached, -3 it gave no clear answer
// (the login could not be checked); any other value is an accepted login. Load and
// TestLogin may be called from any thread; TestLogin blocks while the library asks the
// service.
#ifndef NVX_WIZARD_CORE_LOGIN_LIBRARY_H_
#define NVX_WIZARD_CORE_LOGIN_LIBRARY_H_

#include <QString>
#include <atomic>
#include <mutex>
#include <optional>

#include "platform/shared_library.h"

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
};

// The message for a refused login, or the empty text when `result` means accepted.
QString LoginRefusalMessage(int result);
// Why the login could not be checked, for -2 and -3; none for the other results.
std::optional<QString> LoginNotCheckedReason(int result);

class LoginLibrary {
 public:
  LoginLibrary() = default;
  LoginLibrary(const LoginLibrary&) = delete;
  LoginLibrary& operator=(const LoginLibrary&) = delete;

  // Loads AppFolder/libnvxapib.so and binds TestLogin. Once loaded, later calls return at
  // once; after a failure the next call tries again. False with the loader's reason in
  // *reason when it cannot.
  [[nodiscard]] bool Load(const QString& app_folder, QString* reason);

  // Calls TestLogin; -1 when the library is not loaded.
  int TestLogin(const QString& login_id, const QString& password) const;

 private:
  using TestLoginFunction = int (*)(const char*, const char*);
  std::mutex mutex_;  // guards the loading
  platform::SharedLibrary library_;
  std::atomic<TestLoginFunction> test_login_{nullptr};
};

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_LOGIN_LIBRARY_H_
