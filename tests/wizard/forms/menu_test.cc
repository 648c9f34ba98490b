// MenuFull on a complete configuration: run the existing backup, a new configuration,
// restore with one item, cleanup, the configuration download, the ID/Password tab and the
// log level.
#include <filesystem>

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "jobfiles/run_status_file.h"
#include "tests/support/os_helpers.h"
#include "tests/wizard/forms/wizard_fixture.h"
#include "wizard/core/config_sections.h"

namespace nvx::test {
namespace {

class MenuTest : public WizardTest {
 protected:
  // A complete config.txt as the wizard writes it: My Documents, one desktop folder,
  // then the tail.
  void WriteCompleteConfig() {
    wizard::WizardState state = state_;
    state.login_id = "alice";
    state.password = "[scrambled]";
    state.notify_user = true;
    QStringList lines = wizard::HeaderLines(state);
    lines += wizard::MyDocumentsLines(state, true, {});
    lines += wizard::DesktopLines(state, false, {"Projects"});
    lines += wizard::TailLines(state);
    WriteFileText(AppFile("config.txt"), (lines.join("\r\n") + "\r\n").toStdString());
  }

  QListWidget* RestoreList() {
    return start_up_->current_page()->findChild<QListWidget*>("RestoreList");
  }
};

TEST_F(MenuTest, RunExistingStartsTheBackupAndShowsRunning) {
  WriteCompleteConfig();
  StartWizard();
  wizard::Page* menu = ExpectPage("MenuFull");
  QString summary = menu->findChild<QPlainTextEdit*>("BackupList")->toPlainText();
  EXPECT_TRUE(summary.startsWith("Backup Configuration for user alice")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("The My Documents folder is included in the backup,"));
  EXPECT_FALSE(menu->findChild<QPushButton*>("DisplayResults")->isEnabled());
  EXPECT_EQ(menu->findChild<QLineEdit*>("ChangeNVX_ID")->text(), "alice");
  EXPECT_TRUE(menu->findChild<QCheckBox*>("ChangeNotify")->isChecked());

  Click("Continue");
  EXPECT_EQ(desktop_.messages(), QStringList{"Please choose a Backup Task"});
  SetChecked("NewConfig", true);
  SetChecked("RunExisting", true);
  EXPECT_FALSE(menu->findChild<QCheckBox*>("NewConfig")->isChecked());
  Click("Continue");

  wizard::Page* running = ExpectPage("Running");
  EXPECT_FALSE(running->findChild<QLabel*>("SubHead")->text().contains("schedule"));
  ASSERT_EQ(desktop_.started().size(), 1u);
  EXPECT_TRUE(desktop_.started()[0].arguments.isEmpty());
  Click("OKButton");
  EXPECT_TRUE(start_up_->ended());
}

TEST_F(MenuTest, AJobThatCannotStartIsNotAnnouncedAsStarted) {
  WriteCompleteConfig();
  desktop_.FailProgramStarts();
  StartWizard();
  SetChecked("RunExisting", true);
  Click("Continue");
  EXPECT_TRUE(start_up_->ended());
  EXPECT_EQ(start_up_->current_page(), nullptr);
  EXPECT_EQ(desktop_.messages(),
            QStringList{"Could not start " + QString::fromStdString(AppFile("NVXbackup"))});
}

// A new configuration replaces config.txt only when it is finished and selects something:
// leaving it on the way, or finishing with nothing selected, keeps config.txt and the
// schedule byte for byte.
TEST_F(MenuTest, NewConfigurationSkipsChooseTypeAndReplacesConfigOnlyWhenFinished) {
  // The close box after the login is the start-up tests' case.
  enum class Leave { kCancel, kNothingSelected, kFinish };
  for (const Leave leave : {Leave::kCancel, Leave::kNothingSelected, Leave::kFinish}) {
    SCOPED_TRACE(static_cast<int>(leave));
    WriteCompleteConfig();
    WriteFileText(AppFile("BackupSchedule.txt"), "3\r\n22\r\n");
    const std::string config_before = ReadApp("config.txt");
    desktop_.ClearRecord();
    StartWizard();
    SetChecked("NewConfig", true);
    Click("Continue");
    PassSplashAndLogin("bob", "pw");
    ExpectPage("mydocuments");
    EXPECT_EQ(ReadApp("config.txt"), config_before);
    if (leave == Leave::kCancel) Click("Cancel");
    if (leave == Leave::kNothingSelected || leave == Leave::kFinish) {
      SetChecked("Check1", leave == Leave::kFinish);
      Click("Continue");
      ExpectPage("FileDialog");
      Click("BackupLater");
    }
    if (leave == Leave::kFinish) {
      ExpectPage("scheduletask");
      EXPECT_NE(ReadApp("config.txt").find("NVXuser bob\r\n"), std::string::npos);
      EXPECT_NE(ReadApp("config.txt").find("#END"), std::string::npos);
      Click("Cancel");
    } else {
      EXPECT_TRUE(start_up_->ended());
      EXPECT_EQ(ReadApp("config.txt"), config_before);
      EXPECT_TRUE(desktop_.started().empty());
    }
    if (leave == Leave::kNothingSelected) {
      EXPECT_EQ(desktop_.messages().back(),
                "No files or folders were selected for Backup. Your previous backup "
                "configuration is kept unchanged");
    }
    EXPECT_FALSE(PathExists(AppFile("config.new")));
    if (leave != Leave::kFinish) {
      EXPECT_EQ(ReadApp("BackupSchedule.txt"), "3\r\n22\r\n");
    }
  }
}

TEST_F(MenuTest, RestoreOneItemWritesTheJobAndEnds) {
  WriteCompleteConfig();
  StartWizard();
  ExpectPage("MenuFull");
  ASSERT_EQ(RestoreList()->count(), 2);
  EXPECT_EQ(RestoreList()->item(0)->text(), "FOLDER: My Documents");
  EXPECT_EQ(RestoreList()->item(1)->text(), "FOLDER: Projects (Location: Desktop)");

  Click("BeginRestore");
  EXPECT_EQ(desktop_.messages(), QStringList{"No Items Selected for Restore"});
  EXPECT_TRUE(desktop_.started().empty());

  // The desktop folder does not exist here: no question, the browser; cancelling it
  // leaves the entry unselected.
  desktop_.ClearRecord();
  RestoreList()->item(1)->setSelected(true);
  EXPECT_FALSE(RestoreList()->item(1)->isSelected());
  EXPECT_EQ(desktop_.messages().back(),
            "Original location not found & no folder selected; item will not be restored. ");

  // My Documents exists: keep the original location.
  desktop_.ClearRecord();
  desktop_.QueueAnswer(wizard::Answer::kYes);
  RestoreList()->item(0)->setSelected(true);
  EXPECT_TRUE(RestoreList()->item(0)->isSelected());
  ASSERT_EQ(desktop_.questions().size(), 2u) << desktop_.messages().join("|").toStdString();
  EXPECT_EQ(desktop_.questions()[0].text,
            "You have selected a FOLDER to restore. This will restore ALL files and "
            "subfolders.");
  EXPECT_EQ(desktop_.questions()[1].title, "Chose original location or Browse for new location");
  Click("BeginRestore");

  wizard::Page* notice = ExpectPage("RunningRestore");
  EXPECT_EQ(notice->windowTitle(), "Norrvault Restore Job Started");
  ASSERT_EQ(desktop_.started().size(), 1u);
  EXPECT_EQ(desktop_.started()[0].arguments, QStringList({"-f", "restore-config.txt"}));
  std::string job = ReadApp("restore-config.txt");
  EXPECT_EQ(PermissionsOf(AppFile("restore-config.txt")) & 0777, 0600u);
  EXPECT_NE(job.find("NVXPwEncrypt [scrambled]\r\n"), std::string::npos);
  EXPECT_NE(job.find("LocalPath " + home_.File("Documents/")), std::string::npos) << job;
  EXPECT_EQ(job.find("Projects"), std::string::npos);
  EXPECT_NE(job.find("#END config file for restore"), std::string::npos);
  Click("OKButton");
  EXPECT_TRUE(start_up_->ended());
}

TEST_F(MenuTest, CleanupAsksFirstThenStartsTheCleanupJob) {
  WriteCompleteConfig();
  MakeFile(AppFile("Logs/20260101120000.log"), 10);
  StartWizard();
  Click("Cleanup");  // the question is answered Cancel
  ExpectPage("MenuFull");
  EXPECT_FALSE(PathExists(AppFile("cleanup-config.txt")));
  EXPECT_TRUE(PathExists(AppFile("Logs/20260101120000.log")));

  desktop_.QueueAnswer(wizard::Answer::kOk);
  Click("Cleanup");
  wizard::Page* notice = ExpectPage("RunningRestore");
  EXPECT_EQ(notice->windowTitle(), "Norrvault Cleanup Job Started");
  EXPECT_EQ(notice->findChild<QLabel*>("Heading")->text(), "Norrvault Backup Cleanup running");
  EXPECT_EQ(desktop_.started().back().arguments, QStringList({"-f", "cleanup-config.txt"}));
  EXPECT_FALSE(PathExists(AppFile("Logs/20260101120000.log")));
  std::string job = ReadApp("cleanup-config.txt");
  EXPECT_NE(job.find("CleanNVX"), std::string::npos);
  EXPECT_EQ(job.find("SendToNVX"), std::string::npos);
  EXPECT_NE(job.find("#END Cleanup-configuration"), std::string::npos);
  CloseBox();
  EXPECT_TRUE(start_up_->ended());
}

// The restore test: asked first, then started on its own job file; the Restore tab tells
// how the last one ended.
TEST_F(MenuTest, RestoreTestAsksFirstStartsItsJobAndShowsTheLastOne) {
  WriteCompleteConfig();
  const int64_t now = QDateTime::currentSecsSinceEpoch();
  const struct {
    int exit_code;  // -1: no restore test yet
    const char* ending;
  } cases[] = {{-1, "none yet"}, {0, ", passed"}, {10, ", failed: Failed (exit code 10)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.exit_code);
    std::filesystem::remove(AppFile("Logs/RestoreTest.status"));
    if (c.exit_code >= 0) {
      jobfiles::RunStatus status;
      status.state = jobfiles::RunState::kFinished;
      status.started = now - 60;
      status.ended = now - 30;
      status.exit_code = c.exit_code;
      status.report = true;
      std::filesystem::create_directories(AppFile("Logs"));
      ASSERT_TRUE(jobfiles::WriteRunStatusFile(AppFile("Logs/RestoreTest.status"), status));
    }
    StartWizard();
    const QString line = ExpectPage("MenuFull")->findChild<QLabel*>("LastRestoreTest")->text();
    EXPECT_TRUE(line.startsWith("Last restore test: ") && line.contains(c.ending))
        << line.toStdString();
  }
  Click("TestRestore");  // the question is answered Cancel
  ExpectPage("MenuFull");
  EXPECT_FALSE(PathExists(AppFile("restoretest-config.txt")));
  desktop_.QueueAnswer(wizard::Answer::kOk);
  Click("TestRestore");
  EXPECT_EQ(ExpectPage("RunningRestore")->windowTitle(), "Norrvault Restore Test Started");
  EXPECT_EQ(desktop_.started().back().arguments, QStringList({"-f", "restoretest-config.txt"}));
  CloseBox();
}

// The last backup's results e-mail was refused for want of an address: the results boxes
// of the ID/Password tab and of a new configuration's Login page are unticked, and say why.
TEST_F(MenuTest, AnAccountWithoutAnAddressUnticksTheResultsEmailAndSaysWhy) {
  WriteCompleteConfig();
  jobfiles::RunStatus status;
  status.state = jobfiles::RunState::kFinished;
  status.report = true;
  status.email = "Error - No E-mail Address";
  std::filesystem::create_directories(AppFile("Logs"));
  ASSERT_TRUE(jobfiles::WriteRunStatusFile(AppFile("Logs/Backup.status"), status));
  StartWizard();
  wizard::Page* menu = ExpectPage("MenuFull");
  EXPECT_FALSE(menu->findChild<QCheckBox*>("ChangeNotify")->isChecked());
  EXPECT_FALSE(menu->findChild<QLabel*>("ChangeNotifyNote")->isHidden());
  EXPECT_TRUE(menu->findChild<QLabel*>("ChangeNotifyNote")->text().contains("no e-mail address"));
  SetChecked("NewConfig", true);
  Click("Continue");
  Click("Continue");  // splash
  wizard::Page* login = ExpectPage("Login");
  EXPECT_FALSE(login->findChild<QCheckBox*>("Notify")->isChecked());
  EXPECT_NE(login->findChild<QLabel*>("NotifyNote"), nullptr);
}

TEST_F(MenuTest, DownloadFromTheMenuKeepsTheMenuOpen) {
  WriteCompleteConfig();
  WriteFileText(AppFile("config.old"), "older\r\n");
  StartWizard();
  desktop_.QueueAnswer(wizard::Answer::kOk);
  Click("DownloadConfig");
  wizard::Page* menu = ExpectPage("MenuFull");
  EXPECT_EQ(desktop_.started().back().arguments, QStringList({"-f", "download-config.txt"}));
  EXPECT_FALSE(menu->findChild<QLabel*>("DownloadStatus")->text().isEmpty());
  EXPECT_NE(ReadApp("config.old").find("#END config file for backup"), std::string::npos);
  EXPECT_FALSE(PathExists(AppFile("config.txt")));
}

TEST_F(MenuTest, IdPasswordTabChecksTheLoginAndRewritesTheConfiguration) {
  state_.server = wizard::kPlainDefaultServers;  // a configuration without NVXServer
  WriteCompleteConfig();
  StartWizard();
  EXPECT_FALSE(start_up_->current_page()->findChild<QCheckBox*>("SecureConnection")->isChecked());
  Type("ChangeNVX_ID", "carol");
  Click("ChangeID");  // no password typed
  EXPECT_EQ(desktop_.messages().back(), "Please enter an ID and Password");
  login_results_ = {3, 1};
  Type("ChangeNVX_pass", "new-pw");
  Click("ChangeID");
  EXPECT_EQ(desktop_.messages().back(), "Password invalid, please try again");
  EXPECT_NE(ReadApp("config.txt").find("NVXuser alice"), std::string::npos);
  EXPECT_EQ(login_calls_.back().servers, "");  // the default servers, plain, as before
  SetChecked("ChangeNotify", false);
  SetChecked("SecureConnection", true);
  Type("ServerAddress", "nas.example:8443");
  Click("ChangeID");
  EXPECT_EQ(desktop_.messages().back(), "ID, Password, and Results Email Option set");
  EXPECT_EQ(login_calls_.back().servers, "https://nas.example:8443");
  std::string config = ReadApp("config.txt");
  EXPECT_NE(config.find("NVXuser carol\r\n"), std::string::npos);
  EXPECT_NE(config.find("NVXPwEncrypt new-pw\r\nNVXServer https://nas.example:8443\r\n"),
            std::string::npos);
  EXPECT_EQ(config.find("NotifyUser Y"), std::string::npos);
  EXPECT_EQ(PermissionsOf(AppFile("config.txt")) & 0777, 0600u);
  EXPECT_FALSE(PathExists(AppFile("config.tmp")));
}

TEST_F(MenuTest, LogLevelIsShownAndRewritten) {
  WriteCompleteConfig();
  StartWizard();
  WhenDialogShows("LogLevelfrm", [](QDialog* dialog) {
    EXPECT_EQ(dialog->findChild<QLabel*>("CurrentLevel")->text(),
              "Current level is: Activity (recommended default)");
    dialog->findChild<QRadioButton*>("ErrorsOnly")->setChecked(true);
    dialog->findChild<QPushButton*>("Apply")->click();
  });
  Click("LogLevel");
  EXPECT_NE(ReadApp("config.txt").find("LogLevel ErrorOnly\r\n"), std::string::npos);
  EXPECT_EQ(state_.log_level, wizard::LogLevelChoice::kErrorOnly);

  // The desktop notification of every run, not only of failures: written as asked and
  // shown by the next menu.
  EXPECT_FALSE(start_up_->current_page()->findChild<QCheckBox*>("NotifyEveryRun")->isChecked());
  start_up_->current_page()->findChild<QCheckBox*>("NotifyEveryRun")->click();
  EXPECT_NE(ReadApp("config.txt").find("/Logs\r\nDesktopNotify Always\r\n"), std::string::npos);
  StartWizard();
  EXPECT_TRUE(start_up_->current_page()->findChild<QCheckBox*>("NotifyEveryRun")->isChecked());
  start_up_->current_page()->findChild<QCheckBox*>("NotifyEveryRun")->click();
  EXPECT_NE(ReadApp("config.txt").find("/Logs\r\nDesktopNotify Failures\r\n"), std::string::npos);
  EXPECT_EQ(ReadApp("config.txt").find("DesktopNotify Always"), std::string::npos);
}

TEST_F(MenuTest, ResultsShowTheBackupReportFoundInAnyLetterCase) {
  WriteCompleteConfig();
  MakeFolder(AppFile("logs"));
  WriteFileText(AppFile("logs/backup results.txt"), "Online Backup Results: No Errors\r\n");
  StartWizard();
  wizard::Page* menu = ExpectPage("MenuFull");
  ASSERT_TRUE(menu->findChild<QPushButton*>("DisplayResults")->isEnabled());
  QString shown;
  WhenDialogShows("Results", [&shown](QDialog* dialog) {
    shown = dialog->findChild<QPlainTextEdit*>("Text1")->toPlainText();
    dialog->findChild<QPushButton*>("Close")->click();
  });
  Click("DisplayResults");
  EXPECT_EQ(shown, "Online Backup Results: No Errors");
  ExpectPage("MenuFull");
}

// The run status decides what the results and the menu's last-backup line say: a run that
// ended without its report is a failure with its exit code, and the report of an earlier
// run is not shown as the last one's. No success for longer than the schedule's period
// and a day is warned about.
TEST_F(MenuTest, ResultsAndTheLastBackupLineFollowTheLastRun) {
  constexpr int64_t kDay = 24 * 60 * 60;
  const int64_t now = QDateTime::currentSecsSinceEpoch();
  struct Case {
    const char* label;
    const char* schedule_day;  // BackupSchedule.txt's day, or none for no file
    int exit_code;
    bool report;
    const char* subject;
    int64_t last_success_age;  // seconds before now
    const char* outcome;
    const char* last_backup_end;  // how the menu's line ends
    bool warned;
  };
  const Case cases[] = {
      {"a clean run", nullptr, 0, true, "Online Backup Results for alice: No Errors", 3600,
       "No Errors", ", No Errors", false},
      {"a run that lost the service", "all", 10, false, "System error: connection lost", 3 * kDay,
       "Failed (exit code 10): no results report, connection lost",
       ", Failed (exit code 10): no results report, connection lost", true},
      {"a weekly schedule allows eight days", "sun", 10, false, "System error: x", 7 * kDay,
       "Failed (exit code 10): no results report, x",
       ", Failed (exit code 10): no results report, x", false},
      {"no schedule allows eight days", "none", 4, true, "User Password Invalid", 9 * kDay,
       "Failed (exit code 4): User Password Invalid",
       ", Failed (exit code 4): User Password Invalid", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteCompleteConfig();
    std::filesystem::create_directories(AppFile("Logs"));
    WriteFileText(AppFile("Logs/Backup Results.txt"), "An older report\r\n");
    WriteFileText(AppFile("Logs/Backup Results.tmp"), "Pending note\r\n");
    std::filesystem::remove(AppFile("BackupSchedule.txt"));
    if (c.schedule_day != nullptr) {
      WriteFileText(AppFile("BackupSchedule.txt"),
                    std::string("RunOnDay ") + c.schedule_day + "\r\nRunAtTime 0100\r\n");
    }
    jobfiles::RunStatus status;
    status.state = jobfiles::RunState::kFinished;
    status.started = now - 60;
    status.ended = now - 30;
    status.exit_code = c.exit_code;
    status.report = c.report;
    status.subject = c.subject;
    status.last_success = now - c.last_success_age;
    ASSERT_TRUE(jobfiles::WriteRunStatusFile(AppFile("Logs/Backup.status"), status));

    StartWizard();
    wizard::Page* menu = ExpectPage("MenuFull");
    const QString line = menu->findChild<QLabel*>("LastBackup")->text();
    EXPECT_TRUE(line.startsWith("Last backup: ") && line.endsWith(c.last_backup_end))
        << line.toStdString();
    EXPECT_EQ(!menu->findChild<QLabel*>("BackupWarning")->isHidden(), c.warned);
    QString outcome;
    QString text;
    WhenDialogShows("Results", [&](QDialog* dialog) {
      outcome = dialog->findChild<QLabel*>("Outcome")->text();
      text = dialog->findChild<QPlainTextEdit*>("Text1")->toPlainText();
      dialog->findChild<QPushButton*>("Close")->click();
    });
    Click("DisplayResults");
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(text.contains("An older report"), c.report) << text.toStdString();
    EXPECT_EQ(text.contains("Pending note"), !c.report) << text.toStdString();
  }
}
}  // namespace
}  // namespace nvx::test
