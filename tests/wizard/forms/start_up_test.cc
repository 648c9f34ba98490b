// The start-up procedure end to end through the real pages: the new-configuration path
// from splash to the end with the files it leaves, nothing selected, a page closed after
// Login, the installation check, config.old, ChooseType's restore and skipped pages.
#include <filesystem>

#include <QDir>
#include <QLabel>
#include <QListWidget>

#include "tests/support/os_helpers.h"
#include "tests/wizard/forms/wizard_fixture.h"
#include "wizard/forms/add_folder_confirm.h"

namespace nvx::test {
namespace {

// The lines of a job file (CR LF), without their ends.
QStringList Lines(const std::string& text) {
  QStringList lines = QString::fromStdString(text).split("\r\n");
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();
  return lines;
}

// The lines of `lines` that begin with "#", in order.
QStringList Comments(const QStringList& lines) {
  QStringList comments;
  for (const QString& line : lines) {
    if (line.startsWith('#')) comments.push_back(line);
  }
  return comments;
}

class StartUpTest : public WizardTest {};

TEST_F(StartUpTest, NewConfigurationFromSplashToRunningLeavesACompleteConfig) {
  MakeFile(home_.File("Documents/letter.txt"), 1000);
  MakeFile(home_.File("Documents/Work/plan.txt"), 2000);
  MakeFile(home_.File("Documents/My Music/song.mp3"), 3000);
  MakeFile(home_.File("Favorites/site.url"), 10);
  MakeFile(home_.File("Desktop/note.txt"), 10);
  MakeFile(home_.File("Desktop/Projects/a.txt"), 10);
  MakeFile(home_.File("Desktop/Photos/b.jpg"), 10);
  std::string outlook =
      home_.File("drive_c/Documents and Settings/alice/Application Data/Microsoft/Outlook/");
  MakeFile(outlook + "outlook.pst", 4096);
  MakeFile(outlook + "archive.pst", 4096);
  MakeFile(home_.File("other/x.dat"), 100);
  MakeFile(home_.File("files/one.doc"), 5);
  MakeFile(home_.File("files/two.doc"), 5);
  MakeFile(AppFile("config.txt"), 50);  // incomplete: no #END line

  StartWizard();
  PassSplashAndLogin();
  EXPECT_EQ(login_calls_.size(), 1u);
  // A config.txt without NVXServer keeps the default servers plain: none named.
  EXPECT_EQ(login_calls_.back().servers, "");
  ExpectPage("ChooseType");
  Click("Continue");  // neither box: a backup

  wizard::Page* page = ExpectPage("mydocuments");
  auto* list = page->findChild<QListWidget*>("List2");
  ASSERT_EQ(list->count(), 2);
  // "My " folders start unchecked; the others checked.
  EXPECT_TRUE(list->item(0)->text().startsWith("My Music      ("));
  EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
  Click("Continue");

  ExpectPage("Favorites");
  Click("Continue");
  page = ExpectPage("desktop");
  EXPECT_EQ(page->findChild<QLabel*>("Heading")->text(),
            "The Wizard found 1 file and 2 folders on the Desktop");
  page->findChild<QListWidget*>("List2")->item(1)->setCheckState(Qt::Checked);  // Projects
  Click("Continue");

  page = ExpectPage("Outlook");
  EXPECT_TRUE(page->findChild<QCheckBox*>("ArchiveCheck")->isVisibleTo(page));
  EXPECT_FALSE(page->findChild<QCheckBox*>("BackupAddinCheck")->isVisibleTo(page));
  SetChecked("OutlookCheck", true);
  SetChecked("ArchiveCheck", true);
  Click("Continue");

  ExpectPage("FileDialog");
  desktop_.QueueFolder(QString::fromStdString(home_.File("other")));
  WhenDialogShows("AddFolderConfirm", [](QDialog* dialog) {
    dialog->findChild<QCheckBox*>("Check1")->setChecked(false);
    dialog->findChild<QPushButton*>("OKButton")->click();
  });
  Click("Command1");
  desktop_.QueueFiles({QString::fromStdString(home_.File("files/one.doc")),
                       QString::fromStdString(home_.File("files/two.doc"))});
  Click("Select");
  Click("continue");

  ExpectPage("Running");
  // The job runner was started once, without arguments, from AppFolder.
  ASSERT_EQ(desktop_.started().size(), 1u);
  EXPECT_EQ(desktop_.started()[0].program, QString::fromStdString(AppFile("NVXbackup")));
  EXPECT_TRUE(desktop_.started()[0].arguments.isEmpty());
  EXPECT_EQ(desktop_.started()[0].working_folder, state_.app_folder);
  Click("OKButton");
  // The schedule page comes last; the program ends when it closes.
  ExpectPage("scheduletask");
  Click("Cancel");
  EXPECT_TRUE(start_up_->ended());
  EXPECT_EQ(desktop_.busy_count(), 0);
  EXPECT_FALSE(desktop_.busy_shown());

  QStringList lines = Lines(ReadApp("config.txt"));
  EXPECT_EQ(PermissionsOf(AppFile("config.txt")) & 0777, 0600u);
  EXPECT_TRUE(lines.contains("NVXuser alice"));
  EXPECT_TRUE(lines.contains("NVXPwEncrypt secret"));
  EXPECT_TRUE(lines.filter("NVXServer").isEmpty());
  EXPECT_TRUE(lines.contains("SkipFolder My Music"));
  EXPECT_FALSE(lines.contains("SkipFolder Work"));
  EXPECT_TRUE(lines.contains("IncludeSubfolders N"));  // the other folder, without subfolders
  QStringList expected_comments = {
      "#config file for backup",
      "#Operating System found to be Linux 6.1",
      "#Logged in user found to be alice",
      "#Specify the Login ID",
      "#Specify the password",
      "#Turn on Progress, logging, set ResultsType ",
      "#My Documents included in backup",
      "#Favorites included in backup",
      "#Desktop FILES included in backup",
      "#Desktop folder Projects",
      "#Outlook file: outlook.pst",
      "#Outlook file: archive.pst",
      "#Other folder: " + QString::fromStdString(home_.File("other")),
      "#Individual File: " + QString::fromStdString(home_.File("files/one.doc")),
      "#Individual File: " + QString::fromStdString(home_.File("files/two.doc")),
      "#Configuration and associated files included in backup",
      "#Upload This log, keep 2 total",
      "#END config file for backup",
  };
  EXPECT_EQ(Comments(lines), expected_comments) << ReadApp("config.txt");
  // One verify block per server folder.
  EXPECT_EQ(lines.count("VerifyPath \\Backup\\Desktop"), 1);
  EXPECT_EQ(lines.count("VerifyPath \\Backup\\Outlook"), 1);
  EXPECT_EQ(lines.count("VerifyPath \\Backup\\Other Folders"), 1);
  EXPECT_EQ(lines.count("NotifyUser Y"), lines.count("SendToNVX"));
}

TEST_F(StartUpTest, NothingSelectedEndsWithTheMessageAndNoJob) {
  StartWizard();
  PassSplashAndLogin();
  Click("Continue");  // ChooseType
  ExpectPage("mydocuments");
  SetChecked("Check1", false);
  Click("Continue");
  // Favorites and the desktop are empty, there is no Outlook: straight to FileDialog.
  ExpectPage("FileDialog");
  Click("BackupLater");
  EXPECT_TRUE(start_up_->ended());
  EXPECT_EQ(desktop_.messages().back(),
            "No files or folders were selected for Backup. Backup will not be run");
  EXPECT_TRUE(desktop_.started().empty());
  QStringList lines = Lines(ReadApp("config.txt"));
  ASSERT_GE(lines.size(), 2);
  EXPECT_EQ(lines.mid(lines.size() - 2), QStringList({" ", "#Nothing selected for backup"}));
  EXPECT_FALSE(ReadApp("config.txt").find("#END") != std::string::npos);
}

TEST_F(StartUpTest, ClosingAPageAfterLoginLeavesConfigAsItWas) {
  MakeFile(home_.File("Favorites/site.url"), 10);
  MakeFile(AppFile("config.txt"), 50);  // incomplete: no #END line
  StartWizard();
  const std::string config_before = ReadApp("config.txt");
  PassSplashAndLogin();
  Click("Continue");
  ExpectPage("mydocuments");
  SetChecked("Check1", false);
  Click("Continue");
  ExpectPage("Favorites");
  QStringList comments = Comments(Lines(ReadApp("config.new")));
  EXPECT_EQ(comments.back(), "#My Documents not included in backup");
  CloseBox();
  EXPECT_TRUE(start_up_->ended());
  EXPECT_EQ(start_up_->current_page(), nullptr);
  EXPECT_EQ(ReadApp("config.txt"), config_before);
  EXPECT_FALSE(PathExists(AppFile("config.new")));
  // The next start takes the new-configuration path again.
  desktop_.ClearRecord();
  StartWizard();
  ExpectPage("splash");
}

TEST_F(StartUpTest, CancelAndCloseBoxEndTheProgramOnEveryPage) {
  // How far to go before leaving: the number of forward steps after the start.
  const char* pages[] = {"splash", "Login", "ChooseType", "mydocuments", "FileDialog"};
  for (int steps = 0; steps < 5; ++steps) {
    for (bool close_box : {false, true}) {
      // ChooseType and FileDialog have no Cancel button.
      bool has_cancel = steps != 2 && steps != 4;
      if (!close_box && !has_cancel) continue;
      SCOPED_TRACE(std::string(pages[steps]) + (close_box ? " close box" : " Cancel"));
      StartWizard();
      if (steps >= 1) Click("Continue");
      if (steps >= 2) {
        Type("NVX_ID", "alice");
        Type("NVX_password", "pw");
        Click("Login");
      }
      if (steps >= 3) Click("Continue");
      if (steps >= 4) {
        SetChecked("Check1", false);
        Click("Continue");
      }
      ExpectPage(pages[steps]);
      if (close_box) {
        CloseBox();
      } else {
        Click("Cancel");
      }
      EXPECT_TRUE(start_up_->ended());
      EXPECT_EQ(start_up_->current_page(), nullptr);
      EXPECT_TRUE(desktop_.started().empty());
    }
  }
}

TEST_F(StartUpTest, MissingProgramFilesEndWithTheInstallMessage) {
  for (const char* missing : {"NVXbackup", "libnvxapi.so"}) {
    SCOPED_TRACE(missing);
    std::filesystem::remove(AppFile(missing));
    desktop_.ClearRecord();
    StartWizard();
    EXPECT_TRUE(start_up_->ended());
    EXPECT_NE(start_up_->exit_code(), 0);
    EXPECT_EQ(desktop_.messages(),
              QStringList{"Norrvault Backup not completely installed. Please reinstall."});
    MakeFile(AppFile(missing), 0);
  }
  // Names are compared without regard to letter case.
  std::filesystem::rename(AppFile("NVXbackup"), AppFile("nvxBACKUP"));
  StartWizard();
  ExpectPage("splash");
  EXPECT_TRUE(QDir(state_.app_folder + "/Logs").exists());
}

TEST_F(StartUpTest, ConfigOldBecomesConfigAndAnOldConfigIsUpgraded) {
  WriteFileText(AppFile("config.old"),
                "NVXuser alice\r\nNVXPwEncrypt pw\r\nLocalPath /x\r\nNVXpath \\backup\\X\r\n"
                "SendToNVX\r\n \r\n#END config file for backup\r\n");
  StartWizard();
  ExpectPage("MenuFull");
  EXPECT_FALSE(PathExists(AppFile("config.old")));
  QStringList lines = Lines(ReadApp("config.txt"));
  EXPECT_TRUE(lines.contains("SendLog"));
  EXPECT_EQ(lines.back(), "#END Configuration File for Backup");
}

TEST_F(StartUpTest, RestoreOnChooseTypeStartsTheConfigurationDownload) {
  MakeFile(AppFile("config.txt"), 50);  // an earlier, unfinished configuration
  StartWizard();
  PassSplashAndLogin();
  ExpectPage("ChooseType");
  SetChecked("TypeBackup", true);
  SetChecked("TypeRestore", true);
  EXPECT_FALSE(start_up_->current_page()->findChild<QCheckBox*>("TypeBackup")->isChecked());
  Click("Continue");
  wizard::Page* page = ExpectPage("RunningRestore");
  EXPECT_EQ(page->windowTitle(), "Norrvault Configuration Download Started");
  EXPECT_TRUE(page->findChild<QLabel*>("SubHead")->text().endsWith(
      "Close this window and relaunch Norrvault Backup after Configuration Download is "
      "complete."));
  ASSERT_EQ(desktop_.started().size(), 1u);
  EXPECT_EQ(desktop_.started()[0].arguments, QStringList({"-f", "download-config.txt"}));
  EXPECT_TRUE(PathExists(AppFile("config.old")));
  EXPECT_FALSE(PathExists(AppFile("config.txt")));
  EXPECT_FALSE(PathExists(AppFile("config.new")));
  QStringList lines = Lines(ReadApp("download-config.txt"));
  EXPECT_TRUE(lines.contains("NVXuser alice"));
  EXPECT_TRUE(lines.contains("NVXPwEncrypt secret"));
  EXPECT_EQ(PermissionsOf(AppFile("download-config.txt")) & 0777, 0600u);
  CloseBox();
  EXPECT_TRUE(start_up_->ended());
}

}  // namespace
}  // namespace nvx::test
