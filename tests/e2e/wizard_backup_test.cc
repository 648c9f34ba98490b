// The wizard against the real system: driven offscreen with its desktop answered by the
// test, it checks the login through libnvxapib.so against a real nvxserver, writes
// config.txt and starts NVXbackup, which the test then lets run: the run against the
// same server ends with exit code 0 and leaves the server folders of the configuration.
// The weekly schedule it sets reaches a crontab through the real NVXscheduledBackup.
#include <filesystem>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "tests/e2e/e2e_fixture.h"
#include "tests/support/os_helpers.h"
#include "wizard/core/login_library.h"
#include "wizard/desktop/recording_desktop.h"
#include "wizard/forms/start_up.h"

namespace nvx::test {
namespace {

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "e2e_wizard_backup_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

std::string InstallFolder() {
  const char* build = std::getenv("NVX_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/bin";
}

class WizardBackupTest : public EndToEndTest {
 protected:
  void Click(const char* name) {
    wizard::Page* page = start_up_->current_page();
    ASSERT_NE(page, nullptr) << desktop_.messages().join(" | ").toStdString();
    auto* button = page->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << page->objectName().toStdString() << " has no " << name;
    button->click();
  }
  void Type(const char* name, const char* text) {
    start_up_->current_page()->findChild<QLineEdit*>(name)->setText(text);
  }
  QString PageName() {
    return start_up_->current_page() ? start_up_->current_page()->objectName() : QString();
  }

  wizard::RecordingDesktop desktop_;
  std::unique_ptr<wizard::StartUp> start_up_;
};

TEST_F(WizardBackupTest, LoginConfigurationAndTheStartedBackupRunAgainstNvxserver) {
  EnsureApplication();
  // The install folder as the wizard finds it: the programs side by side.
  std::string app = temp_.File("install");
  MakeFolder(app);
  for (const char* file : {"NVXbackup", "libnvxapi.so", "libnvxapib.so", "NVXscheduledBackup"}) {
    std::filesystem::copy_file(InstallFolder() + "/" + file, app + "/" + file);
  }
  std::string documents = temp_.File("home/Documents");
  for (const std::string& folder :
       {temp_.File("home"), documents, temp_.File("home/Favorites"), temp_.File("home/Desktop")}) {
    MakeFolder(folder);
  }
  WriteFileText(documents + "/letter.txt", "Dear service,\n");
  // The login check inside this process reaches the test's server.
  std::string server = "127.0.0.1:" + std::to_string(server_->port());
  setenv("NVX_SERVER", server.c_str(), 1);
  setenv("NVX_CONNECT_PAUSE_MS", "0", 1);
  setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);

  wizard::WizardState state;
  state.app_folder = QString::fromStdString(app);
  state.os_name = "Linux";
  state.user_name = "alice";
  state.my_documents_folder = QString::fromStdString(documents + "/");
  state.favorites_folder = QString::fromStdString(temp_.File("home/Favorites/"));
  state.desktop_folder = QString::fromStdString(temp_.File("home/Desktop/"));
  wizard::LoginLibrary library;
  auto login = [&library, &state](const QString& id, const QString& password,
                                  QString* reason) -> std::optional<int> {
    if (!library.Load(state.app_folder, reason)) return std::nullopt;
    return library.TestLogin(id, password);
  };
  start_up_ = std::make_unique<wizard::StartUp>(state, desktop_, login,
                                                QString::fromStdString(temp_.File("drive_c")));
  start_up_->Start();

  ASSERT_EQ(PageName(), "splash");
  Click("Continue");
  ASSERT_EQ(PageName(), "Login");
  Type("NVX_ID", "alice");
  Type("NVX_password", "not-the-password");
  Click("Login");
  ASSERT_EQ(PageName(), "Login");
  EXPECT_EQ(desktop_.messages(), QStringList{"Password invalid, please try again"});
  Type("NVX_password", "wonderland");
  Click("Login");
  ASSERT_EQ(PageName(), "ChooseType") << desktop_.messages().join(" | ").toStdString();
  Click("Continue");
  ASSERT_EQ(PageName(), "mydocuments");
  Click("Continue");
  ASSERT_EQ(PageName(), "FileDialog");
  Click("continue");
  ASSERT_EQ(PageName(), "Running") << desktop_.messages().join(" | ").toStdString();
  Click("OKButton");
  // The last page: a weekly backup on Sundays at noon.
  ASSERT_EQ(PageName(), "scheduletask");
  start_up_->current_page()->findChild<QCheckBox*>("CheckWeekly")->setChecked(true);
  start_up_->current_page()->findChild<QComboBox*>("DayOfWeek")->setCurrentText("Sunday");
  start_up_->current_page()->findChild<QComboBox*>("DailyTime")->setCurrentText("Noon");
  Click("Continue");
  EXPECT_TRUE(start_up_->ended());

  std::string config = ReadFileText(app + "/config.txt");
  EXPECT_NE(config.find("NVXuser alice\r\n"), std::string::npos);
  EXPECT_NE(config.find("#END config file for backup\r\n"), std::string::npos);
  ASSERT_EQ(desktop_.started().size(), 2u);
  const wizard::ProgramStart& start = desktop_.started()[0];
  EXPECT_EQ(start.program.toStdString(), app + "/NVXbackup");
  EXPECT_TRUE(start.arguments.isEmpty());

  // Let the started job run for real, as the desktop would have started it.
  ChildProcess::Options options;
  options.working_directory = start.working_folder.toStdString();
  options.env = {"XDG_RUNTIME_DIR=" + runtime_, "NVX_SERVER=" + server, "NVX_CONNECT_PAUSE_MS=0"};
  RunResult run = RunProgram(start.program.toStdString(), options, std::chrono::seconds(120));
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  // The password was scrambled into config.txt by the run; the server has the folders.
  EXPECT_EQ(ReadFileText(app + "/config.txt").find("NVXPwEncrypt wonderland"), std::string::npos);
  EXPECT_FALSE(FolderId("alice", "My Documents").empty())
      << ::testing::PrintToString(Folders("alice"));
  EXPECT_FALSE(FolderId("alice", "Configuration and Logs").empty());

  // The scheduler the wizard started turns BackupSchedule.txt into the crontab line that
  // runs NVXbackup from the install folder (a stand-in crontab keeps the table in a file).
  const wizard::ProgramStart& timer = desktop_.started()[1];
  EXPECT_EQ(timer.program.toStdString(), app + "/NVXscheduledBackup");
  std::string crontab = temp_.File("crontab");
  WriteFileText(
      crontab,
      "#!/bin/sh\ntable=\"$0.table\"\nif [ \"$1\" = -l ]; then cat \"$table\" 2>/dev/null "
      "|| { echo 'no crontab for tester' >&2; exit 1; }; else cp \"$1\" \"$table\"; fi\n");
  SetPermissions(crontab, 0700);
  ChildProcess::Options timer_options;
  timer_options.working_directory = timer.working_folder.toStdString();
  timer_options.env = {"NVX_CRONTAB=" + crontab};
  RunResult scheduled =
      RunProgram(timer.program.toStdString(), timer_options, std::chrono::seconds(60));
  EXPECT_EQ(scheduled.exit_code, 0) << scheduled.out << scheduled.err;
  std::string table = PathExists(crontab + ".table") ? ReadFileText(crontab + ".table") : "";
  EXPECT_EQ(table.rfind("0 12 * * sun cd '" + app + "' && ", 0), 0u) << table;
  EXPECT_NE(table.find("./NVXbackup"), std::string::npos) << table;
}

}  // namespace
}  // namespace nvx::test
