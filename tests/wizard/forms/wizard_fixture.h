// Drives the real wizard offscreen: an install folder with the program files the
// installation check looks for, special folders and a Wine drive C in a temporary folder,
// a recording desktop that answers for the user, a login check that returns scripted
// results, and the start-up procedure. Pages and controls are found by their names.
#ifndef NVX_TESTS_WIZARD_FORMS_WIZARD_FIXTURE_H_
#define NVX_TESTS_WIZARD_FORMS_WIZARD_FIXTURE_H_

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "wizard/core/login_library.h"
#include "wizard/core/wizard_state.h"
#include "wizard/desktop/recording_desktop.h"
#include "wizard/forms/start_up.h"

namespace nvx::test {

// The one QApplication of a test program (offscreen), made on first use.
void EnsureApplication();

class WizardTest : public ::testing::Test {
 protected:
  WizardTest();
  ~WizardTest() override;

  // Makes and starts the start-up procedure on the state as set up so far.
  void StartWizard();
  // The page on screen; fails the test when it is not `name`.
  wizard::Page* ExpectPage(const QString& name);
  // Clicks the button `name` of the current page, and waits for a login check it started.
  void Click(const QString& name);
  void WaitForLoginChecks();
  void Type(const QString& name, const QString& text);
  void SetChecked(const QString& name, bool checked);
  // Closes the current page with its window's close box.
  void CloseBox();
  // Splash, then Login with the given credentials (accepted), leaving the next page on
  // screen.
  void PassSplashAndLogin(const QString& id = "alice", const QString& password = "secret");

  // Runs `answer` on the modal dialog `name` as soon as it is shown; the dialog must have
  // been shown (and answered) by the time the next call to Click returns.
  void WhenDialogShows(const QString& name, std::function<void(QDialog*)> answer);

  // A file of `bytes` bytes at `path` (folders made as needed).
  static void MakeFile(const std::string& path, size_t bytes);
  std::string AppFile(const std::string& name) const { return app_.File(name); }
  std::string ReadApp(const std::string& name) const { return ReadFileText(app_.File(name)); }

  TempDir app_;   // AppFolder: NVXbackup, libnvxapi.so, Logs, the job files
  TempDir home_;  // special folders and the Wine drive C
  wizard::WizardState state_;
  wizard::RecordingDesktop desktop_;
  // Results the login check returns, in order; nothing means "cannot be loaded".
  std::deque<std::optional<int>> login_results_;
  std::vector<wizard::LoginRequest> login_calls_;
  std::mutex login_mutex_;
  std::unique_ptr<wizard::StartUp> start_up_;
};

}  // namespace nvx::test

#endif  // NVX_TESTS_WIZARD_FORMS_WIZARD_FIXTURE_H_
