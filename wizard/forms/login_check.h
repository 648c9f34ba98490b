// The login check as the Login page and the ID/Password tab run it: the outside check
// (TestLoginAt, or TestLogin of an older library) on a thread of its own, so that the window stays
// responsive, with a busy bar, a text and a Cancel button on the page while it runs. A service that
// does not answer within the wizard's time limit (15 s) counts as not reached; the check goes on in
// the background and its late answer is ignored. The pages never store a password that could not be
// checked without asking the user first. GUI thread.
#ifndef NVX_WIZARD_FORMS_LOGIN_CHECK_H_
#define NVX_WIZARD_FORMS_LOGIN_CHECK_H_

#include <QWidget>
#include <memory>

#include "wizard/forms/wizard_context.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace nvx::wizard {

// How a check ended.
enum class LoginVerdict {
  kAccepted,     // the service took the ID and password
  kRefused,      // refused, empty, or the check unavailable: the user has been told why
  kUnconfirmed,  // the service could not be asked; saved only if the user says so
  kCancelled,    // the user stopped waiting
};

// The texts of a check that could not be made, and the question that follows them.
inline constexpr char kLoginNotCheckedTitle[] = "Login not checked";
QString LoginNotCheckedQuestion(const QString& reason);

// How many checks are still running on their threads, abandoned ones included.
int LoginChecksInFlight();

// The panel that shows a running check: `CheckStatus`, the busy bar `CheckProgress`
// and `CancelCheck`. Hidden while no check runs.
class LoginCheckPanel : public QWidget {
  Q_OBJECT

 public:
  LoginCheckPanel(WizardContext& context, QWidget* parent);
  ~LoginCheckPanel() override;

  // Checks `request`; Finished follows (never before this returns). A check already
  // running is abandoned.
  void Start(const LoginRequest& request);
  bool running() const { return mailbox_ != nullptr; }
  // When the check could not be made (kUnconfirmed): why, for the question.
  const QString& reason() const { return reason_; }

 signals:
  void Finished(LoginVerdict verdict);

 private:
  struct Mailbox;
  void Poll();
  void Cancel();
  // Ends the check: tells `message` (when not empty), then emits Finished.
  void End(LoginVerdict verdict, const QString& message);

  WizardContext& context_;
  std::shared_ptr<Mailbox> mailbox_;
  QString reason_;
  qint64 started_ms_ = 0;
  QTimer* poll_;
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

// Asks the user whether to save an ID and password that could not be checked.
bool SaveUncheckedLogin(WizardContext& context, const QString& reason);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_FORMS_LOGIN_CHECK_H_
