#include "wizard/forms/login_check.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "wizard/core/login_library.h"

namespace nvx::wizard {
namespace {

// How often the page looks for the thread's answer.
constexpr int kLoginPollMillis = 20;

std::atomic<int> g_checks_in_flight{0};

}  // namespace

// What the check's thread hands back; shared, so that an abandoned check writes into a
// mailbox nobody reads any more rather than into a page that is gone.
struct LoginCheckPanel::Mailbox {
  std::mutex mutex;
  bool done = false;
  std::optional<int> result;
  QString reason;
};

QString LoginNotCheckedQuestion(const QString& reason) {
  return reason + "\r\n\r\nSave the ID and password without checking them? They will be " +
         "checked when the next backup runs, which fails if they are wrong.";
}

int LoginChecksInFlight() {
  return g_checks_in_flight.load();
}

bool SaveUncheckedLogin(WizardContext& context, const QString& reason) {
  return context.desktop.Ask(kLoginNotCheckedTitle, LoginNotCheckedQuestion(reason),
                             Buttons::kYesNo) == Answer::kYes;
}

LoginCheckPanel::LoginCheckPanel(WizardContext& context, QWidget* parent)
    : QWidget(parent), context_(context) {
  setObjectName("LoginCheck");
  text_ = new QLabel("Checking your ID and password with the Norrvault service...", this);
  text_->setObjectName("CheckStatus");
  bar_ = new QProgressBar(this);
  bar_->setObjectName("CheckProgress");
  bar_->setRange(0, 0);
  bar_->setTextVisible(false);
  cancel_ = new QPushButton("Cancel", this);
  cancel_->setObjectName("CancelCheck");
  cancel_->setAutoDefault(false);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(text_, 1);
  layout->addWidget(bar_);
  layout->addWidget(cancel_);
  poll_ = new QTimer(this);
  poll_->setInterval(kLoginPollMillis);
  connect(poll_, &QTimer::timeout, this, &LoginCheckPanel::Poll);
  connect(cancel_, &QPushButton::clicked, this, &LoginCheckPanel::Cancel);
  hide();
}

LoginCheckPanel::~LoginCheckPanel() {
  if (running()) context_.desktop.BusyPointer(false);
}

void LoginCheckPanel::Start(const LoginRequest& request) {
  if (running()) End(LoginVerdict::kCancelled, {});
  auto mailbox = std::make_shared<Mailbox>();
  mailbox_ = mailbox;
  reason_.clear();
  started_ms_ = QDateTime::currentMSecsSinceEpoch();
  context_.desktop.BusyPointer(true);
  show();
  poll_->start();
  ++g_checks_in_flight;
  // The check may outlast the page (an abandoned check waits for the service's own time
  // limits): it holds its own copy of the check and of the texts.
  std::thread([login = context_.login, request, mailbox] {
    QString reason;
    const std::optional<int> result = login(request, &reason);
    {
      std::lock_guard<std::mutex> lock(mailbox->mutex);
      mailbox->done = true;
      mailbox->result = result;
      mailbox->reason = reason;
    }
    --g_checks_in_flight;
  }).detach();
}

void LoginCheckPanel::Poll() {
  bool done = false;
  std::optional<int> result;
  QString unavailable;
  {
    std::lock_guard<std::mutex> lock(mailbox_->mutex);
    done = mailbox_->done;
    result = mailbox_->result;
    unavailable = mailbox_->reason;
  }
  if (!done) {
    if (QDateTime::currentMSecsSinceEpoch() - started_ms_ < context_.state.login_timeout_millis) {
      return;
    }
    reason_ = QString(
                  "The Norrvault service did not answer within %1 seconds, so your ID and "
                  "password could not be checked.")
                  .arg((context_.state.login_timeout_millis + 999) / 1000);
    return End(LoginVerdict::kUnconfirmed, {});
  }
  if (!result) return End(LoginVerdict::kRefused, kLoginUnavailablePrefix + unavailable);
  if (std::optional<QString> reason = LoginNotCheckedReason(*result)) {
    reason_ = *reason;
    return End(LoginVerdict::kUnconfirmed, {});
  }
  const QString refusal = LoginRefusalMessage(*result);
  End(refusal.isEmpty() ? LoginVerdict::kAccepted : LoginVerdict::kRefused, refusal);
}

void LoginCheckPanel::Cancel() {
  if (running()) End(LoginVerdict::kCancelled, {});
}

void LoginCheckPanel::End(LoginVerdict verdict, const QString& message) {
  // Everything of the check is put away before a message box runs its own event loop.
  poll_->stop();
  mailbox_.reset();
  hide();
  context_.desktop.BusyPointer(false);
  if (!message.isEmpty()) context_.desktop.Tell(message);
  emit Finished(verdict);
}

}  // namespace nvx::wizard
