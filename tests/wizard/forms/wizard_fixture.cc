#include "tests/wizard/forms/wizard_fixture.h"

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <thread>

#include "tests/support/os_helpers.h"
#include "wizard/forms/login_check.h"

namespace nvx::test {

namespace {

QtMessageHandler previous_handler = nullptr;

// The offscreen platform warns about window hints it cannot follow; nothing else is hidden.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("propagateSizeHints")) return;
  if (previous_handler != nullptr) previous_handler(type, context, message);
}

}  // namespace

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "wizard_forms_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) {
    previous_handler = qInstallMessageHandler(QuietMessages);
    auto* application = new QApplication(argc, argv);
    application->setQuitOnLastWindowClosed(false);
  }
}

WizardTest::WizardTest() {
  EnsureApplication();
  MakeFile(app_.File("NVXbackup"), 0);
  MakeFile(app_.File("libnvxapi.so"), 0);
  state_.app_folder = QString::fromStdString(app_.path());
  state_.os_name = "Linux 6.1";
  state_.user_name = "alice";
  for (const char* folder : {"Documents", "Favorites", "Desktop", "drive_c"}) {
    MakeFolder(home_.File(folder));
  }
  state_.my_documents_folder = QString::fromStdString(home_.File("Documents/"));
  state_.favorites_folder = QString::fromStdString(home_.File("Favorites/"));
  state_.desktop_folder = QString::fromStdString(home_.File("Desktop/"));
}

WizardTest::~WizardTest() {
  start_up_.reset();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void WizardTest::StartWizard() {
  // Called on the check's own thread; the test reads what it recorded only after the
  // check has ended (WaitForLoginChecks).
  auto login = [this](const wizard::LoginRequest& request, QString* reason) -> std::optional<int> {
    std::lock_guard<std::mutex> lock(login_mutex_);
    login_calls_.push_back(request);
    std::optional<int> result = 1;
    if (!login_results_.empty()) {
      result = login_results_.front();
      login_results_.pop_front();
    }
    if (!result) *reason = "libnvxapib.so: cannot open shared object file";
    return result;
  };
  start_up_ = std::make_unique<wizard::StartUp>(state_, desktop_, login,
                                                QString::fromStdString(home_.File("drive_c")));
  start_up_->Start();
}

wizard::Page* WizardTest::ExpectPage(const QString& name) {
  wizard::Page* page = start_up_->current_page();
  EXPECT_NE(page, nullptr) << "no page on screen; expected " << name.toStdString()
                           << "; messages: " << desktop_.messages().join(" | ").toStdString();
  if (page == nullptr) return nullptr;
  EXPECT_EQ(page->objectName(), name) << desktop_.messages().join(" | ").toStdString();
  EXPECT_TRUE(page->isVisible());
  return page;
}

namespace {

template <typename T>
T* CurrentControl(wizard::StartUp& start_up, const QString& name) {
  wizard::Page* page = start_up.current_page();
  if (page == nullptr) throw std::runtime_error("no page on screen for " + name.toStdString());
  T* control = page->findChild<T*>(name);
  if (control == nullptr) {
    throw std::runtime_error("page " + page->objectName().toStdString() + " has no " +
                             name.toStdString());
  }
  return control;
}

}  // namespace

void WizardTest::Click(const QString& name) {
  CurrentControl<QPushButton>(*start_up_, name)->click();
  WaitForLoginChecks();
}

void WizardTest::WaitForLoginChecks() {
  // The login check runs on a thread of its own; its end is taken in by the page's
  // events. A check goes on as long as a page shows one running.
  const auto running = [] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      for (auto* panel : window->findChildren<wizard::LoginCheckPanel*>()) {
        if (panel->running()) return true;
      }
    }
    return false;
  };
  for (int i = 0; i < 1000 && running(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void WizardTest::Type(const QString& name, const QString& text) {
  CurrentControl<QLineEdit>(*start_up_, name)->setText(text);
}

void WizardTest::SetChecked(const QString& name, bool checked) {
  CurrentControl<QCheckBox>(*start_up_, name)->setChecked(checked);
}

void WizardTest::CloseBox() {
  start_up_->current_page()->close();
}

void WizardTest::PassSplashAndLogin(const QString& id, const QString& password) {
  ExpectPage("splash");
  Click("Continue");
  ExpectPage("Login");
  Type("NVX_ID", id);
  Type("NVX_password", password);
  Click("Login");
}

void WizardTest::WhenDialogShows(const QString& name, std::function<void(QDialog*)> answer) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, name, answer] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || dialog->objectName() != name) return;
    timer->stop();
    timer->deleteLater();
    answer(dialog);
  });
  timer->start();
}

void WizardTest::MakeFile(const std::string& path, size_t bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << std::string(bytes, 'x');
}

}  // namespace nvx::test
