// The updates as a user meets them, against a real nvxserver serving its web folder: the
// NewVersion offer at start-up, and the Advanced tab's "Update NVX components" and
// "Install Debug Support" buttons with their messages, status line and busy pointer.
#include <filesystem>
#include <memory>

#include <QLabel>

#include "tests/support/os_helpers.h"
#include "tests/support/server_process.h"
#include "tests/wizard/forms/wizard_fixture.h"
#include "wizard/core/component_update.h"
#include "wizard/core/config_sections.h"
#include "wizard/core/executable_format.h"

namespace nvx::test {
namespace {

// A small file that passes for a program or library of this machine.
std::string Executable(const std::string& marker) {
  return wizard::OwnExecutableHeader().toStdString() + std::string(44, '\0') + marker;
}

class UpdatesTest : public WizardTest {
 protected:
  UpdatesTest() : server_(data_.path(), data_.File("server.log")) {
    state_.web_host = QString("127.0.0.1:%1").arg(server_.port());
  }

  void Publish(const std::string& path, const std::string& bytes) {
    std::string file = data_.File("web" + path);
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());
    WriteFileText(file, bytes);
  }

  void WriteCompleteConfig() {
    wizard::WizardState state = state_;
    state.login_id = "alice";
    state.password = "[scrambled]";
    QStringList lines = wizard::HeaderLines(state);
    lines += wizard::MyDocumentsLines(state, true, {});
    lines += wizard::TailLines(state);
    WriteFileText(AppFile("config.txt"), (lines.join("\r\n") + "\r\n").toStdString());
  }

  // The menu of a complete configuration, on its Advanced tab's controls.
  void OpenMenu() {
    WriteCompleteConfig();
    StartWizard();
    ExpectPage("MenuFull");
  }

  QString DownloadStatus() {
    return start_up_->current_page()->findChild<QLabel*>("DownloadStatus")->text();
  }

  TempDir data_;
  ServerProcess server_;
};

TEST_F(UpdatesTest, ANewerVersionIsOfferedFirstAndOkOpensTheSetupPageAndEnds) {
  enum class Press { kNothing, kOk, kCancel, kCloseBox };
  struct Case {
    const char* notice;
    Press press;
    bool ends;
  };
  const Case cases[] = {
      {"versionavailable=3\r\n", Press::kOk, true},
      {"versionavailable=3\r\n", Press::kCancel, false},
      {"versionavailable=3\r\n", Press::kCloseBox, false},
      {"versionavailable=2\r\n", Press::kNothing, false},
      {"versionavailable=?\r\n", Press::kNothing, false},
  };
  const QString setup_page = "http://" + state_.web_host + "/Norrvault_Backup_Update1.html";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.notice) + " " + std::to_string(static_cast<int>(c.press)));
    Publish("/uploadmanager/backupversion.txt", c.notice);
    start_up_.reset();
    desktop_.ClearRecord();
    StartWizard();
    if (c.press != Press::kNothing) {
      wizard::Page* offer = ExpectPage("NewVersion");
      ASSERT_NE(offer, nullptr);
      EXPECT_EQ(offer->windowTitle(), "An Update To Norrvault Backup Is Available");
      EXPECT_TRUE(offer->findChild<QLabel*>("Label1")->text().startsWith(
          "A newer version of this program is available. Click 'OK'"));
      if (c.press == Press::kOk) Click("OKButton");
      if (c.press == Press::kCancel) Click("CancelButton");
      if (c.press == Press::kCloseBox) CloseBox();
    }
    EXPECT_EQ(start_up_->ended(), c.ends);
    if (c.ends) {
      EXPECT_EQ(desktop_.urls(), QStringList{setup_page});
      EXPECT_EQ(start_up_->current_page(), nullptr);
    } else {
      EXPECT_TRUE(desktop_.urls().isEmpty());
      ExpectPage("splash");
    }
  }
}

TEST_F(UpdatesTest, UpdateNvxComponentsReplacesTheComponentsAndKeepsOldCopies) {
  for (const wizard::Component& component : wizard::kComponents) {
    WriteFileText(AppFile(component.file_name),
                  Executable(std::string("old ") + component.file_name));
    Publish(std::string("/install/") + component.file_name,
            Executable(std::string("new ") + component.file_name));
  }
  OpenMenu();
  auto* update = start_up_->current_page()->findChild<QPushButton*>("UpdateSDK");
  ASSERT_NE(update, nullptr);
  EXPECT_TRUE(update->isEnabled());

  Click("UpdateSDK");

  EXPECT_EQ(desktop_.messages(), QStringList{"Program Components Updated"});
  EXPECT_EQ(DownloadStatus(), "");
  EXPECT_EQ(desktop_.busy_count(), 0);
  for (const wizard::Component& component : wizard::kComponents) {
    EXPECT_EQ(ReadApp(component.file_name), Executable(std::string("new ") + component.file_name));
    EXPECT_EQ(ReadApp(component.backup_name),
              Executable(std::string("old ") + component.file_name));
  }
  EXPECT_EQ(PermissionsOf(AppFile("NVXbackup")) & 0777, 0755u);
  ExpectPage("MenuFull");
}

TEST_F(UpdatesTest, InstallDebugSupportAsksFirstAndListsWhatItInstalled) {
  OpenMenu();
  const std::string installed = ReadApp("NVXbackup");
  auto* debug = start_up_->current_page()->findChild<QPushButton*>("GetDebugCode");
  ASSERT_NE(debug, nullptr);
  EXPECT_TRUE(debug->isEnabled());

  // Cancel: nothing is fetched.
  Publish("/pub/alice/NVXbackup", Executable("debug NVXbackup"));
  Click("GetDebugCode");
  ASSERT_EQ(desktop_.questions().size(), 1u);
  EXPECT_EQ(desktop_.questions()[0].text, wizard::DebugQuestion());
  EXPECT_EQ(ReadApp("NVXbackup"), installed);

  // OK with one debug build placed: only it is installed and listed.
  desktop_.QueueAnswer(wizard::Answer::kOk);
  Click("GetDebugCode");
  EXPECT_EQ(desktop_.messages().last(), wizard::DebugDownloadedMessage({"NVXbackup"}));
  EXPECT_EQ(ReadApp("NVXbackup"), Executable("debug NVXbackup"));
  EXPECT_EQ(ReadApp("NVXbackup.old"), installed);
  EXPECT_FALSE(PathExists(AppFile("libnvxapi.old")));

  // Placed builds taken away: nothing available, nothing changed.
  std::filesystem::remove_all(data_.File("web/pub"));
  desktop_.QueueAnswer(wizard::Answer::kOk);
  Click("GetDebugCode");
  EXPECT_EQ(desktop_.messages().last(), "No Debug Components Available");
  EXPECT_EQ(ReadApp("NVXbackup"), Executable("debug NVXbackup"));
  EXPECT_EQ(desktop_.busy_count(), 0);
}

TEST_F(UpdatesTest, AFailedReplacementTellsOfOpenFilesAndABadDownloadNamesTheFile) {
  for (const wizard::Component& component : wizard::kComponents) {
    Publish(std::string("/install/") + component.file_name,
            Executable(std::string("new ") + component.file_name));
  }
  OpenMenu();
  // A backup copy that cannot be removed stops the replacement of NVXbackup.
  MakeFile(AppFile("NVXbackup.old/keep"), 4);
  const std::string installed = ReadApp("NVXbackup");
  Click("UpdateSDK");
  EXPECT_EQ(desktop_.messages().last().toStdString(), wizard::OpenFilesMessage().toStdString());
  EXPECT_EQ(ReadApp("NVXbackup.old/keep"), "xxxx");
  EXPECT_EQ(ReadApp("NVXbackup"), installed);
  EXPECT_EQ(DownloadStatus(), "");
  EXPECT_EQ(desktop_.busy_count(), 0);

  std::filesystem::remove_all(AppFile("NVXbackup.old"));
  Publish("/install/NVXbackup", "<HTML><body>Service unavailable</body></HTML>");
  Click("UpdateSDK");
  EXPECT_TRUE(desktop_.messages().last().startsWith(
      "Could not update components: NVXbackup: the answer was a web page"))
      << desktop_.messages().last().toStdString();
  EXPECT_EQ(ReadApp("NVXbackup"), installed);
  EXPECT_FALSE(PathExists(AppFile("NVXbackup.old")));
}

}  // namespace
}  // namespace nvx::test
