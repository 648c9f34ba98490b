// The schedule in both places: the `scheduletask` page at the end of a new configuration
// and the menu's Schedule tab. Each case drives the real wizard and checks what a user and
// NVXscheduledBackup see: BackupSchedule.txt on disk, the program started (or not), the
// messages, whether the page stays, and the current-schedule text of the next menu.
#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include "tests/support/os_helpers.h"
#include "tests/wizard/forms/wizard_fixture.h"
#include "wizard/core/config_sections.h"

namespace nvx::test {
namespace {

enum class Place { kSchedulePage, kMenu };

const char* NameOf(Place place) {
  return place == Place::kSchedulePage ? "scheduletask" : "MenuFull";
}

std::string ScheduleFile(const std::string& day, const std::string& time) {
  return "#Norrvault Backup Schedule\r\n \r\nRunOnDay " + day + "\r\nRunAtTime " + time + "\r\n";
}

class ScheduleTest : public WizardTest {
 protected:
  ScheduleTest() : fresh_state_(state_) {}

  // Ends the wizard on screen; the next one starts from the facts of this computer only.
  void Restart() {
    start_up_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state_ = fresh_state_;
  }

  // The new-configuration path up to `scheduletask`, through Running when the backup
  // starts now.
  void ReachSchedulePage(bool backup_now) {
    Restart();
    std::filesystem::remove(AppFile("config.txt"));
    StartWizard();
    PassSplashAndLogin();
    Click("Continue");  // ChooseType
    ExpectPage("mydocuments");
    Click("Continue");  // My Documents is included
    ExpectPage("FileDialog");
    Click(backup_now ? "continue" : "BackupLater");
    if (backup_now) {
      ExpectPage("Running");
      Click("OKButton");
    }
    ExpectPage("scheduletask");
    desktop_.ClearRecord();
  }

  // A complete config.txt, so that the wizard opens on the menu.
  void OpenMenu() {
    wizard::WizardState state = state_;
    state.login_id = "alice";
    state.password = "secret";
    QStringList lines = wizard::HeaderLines(state);
    lines += wizard::MyDocumentsLines(state, true, {});
    lines += wizard::TailLines(state);
    Restart();
    WriteFileText(AppFile("config.txt"), (lines.join("\r\n") + "\r\n").toStdString());
    StartWizard();
    ExpectPage("MenuFull");
  }

  void Reach(Place place) {
    if (place == Place::kSchedulePage) {
      ReachSchedulePage(false);
    } else {
      OpenMenu();
    }
  }

  QString CurrentSchedule() {
    return start_up_->current_page()->findChild<QLabel*>("CurrentSchedule")->text();
  }

  void Choose(const char* list, const QString& text) {
    auto* combo = start_up_->current_page()->findChild<QComboBox*>(list);
    ASSERT_NE(combo, nullptr);
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
  }

  bool Checked(const char* name) {
    return start_up_->current_page()->findChild<QCheckBox*>(name)->isChecked();
  }
  QString ListText(const char* name) {
    return start_up_->current_page()->findChild<QComboBox*>(name)->currentText();
  }

  bool Shown(const char* name) {
    // Hidden by the page itself, not by a tab that is not on top.
    return !start_up_->current_page()->findChild<QWidget*>(name)->isHidden();
  }

  wizard::WizardState fresh_state_;
};

// One button press in either place, from an earlier schedule of Tuesdays at 3:00 a.m.
struct ButtonCase {
  Place place;
  const char* check;  // the box checked first, or none
  const char* day;
  const char* time;
  const char* button;
  std::string file;       // BackupSchedule.txt afterwards
  bool starts;            // NVXscheduledBackup started
  const char* message;    // told to the user, or none
  bool stays;             // the page is still on screen
  const char* menu_text;  // CurrentSchedule of the next menu
};

const std::string kTuesday = ScheduleFile("tue", "0300");
const char kTuesdayText[] = "Backups currently scheduled for every Tuesday at 3:00 a.m.";

TEST_F(ScheduleTest, EachButtonWritesStartsTellsAndShowsWhatItShould) {
  const Place page = Place::kSchedulePage, menu = Place::kMenu;
  const ButtonCase cases[] = {
      {page, "CheckDaily", "Monday", "Midnight", "Continue", ScheduleFile("all", "0000"), true,
       "Scheduled Backup Task Created", false,
       "Backups currently scheduled for every day at midnight"},
      {page, "CheckWeekly", "Sunday", "Noon", "Continue", ScheduleFile("sun", "1200"), true,
       "Scheduled Backup Task Created", false,
       "Backups currently scheduled for every Sunday at noon"},
      {page, nullptr, "Sunday", "Noon", "Continue", kTuesday, false,
       "No selection made, Backup job will not be scheduled", true, kTuesdayText},
      {page, "CheckDaily", "Sunday", "Noon", "Cancel", ScheduleFile("none", "0000"), true, nullptr,
       false, "No Backups currently scheduled"},
      {menu, "CheckWeekly", "Sunday", "Noon", "Apply_Schedule", ScheduleFile("sun", "1200"), true,
       "Backup schedule set", true, "Backups currently scheduled for every Sunday at noon"},
      {menu, "CheckDaily", "Friday", "3:00 p.m.", "Apply_Schedule", ScheduleFile("all", "1500"),
       true, "Backup schedule set", true, "Backups currently scheduled for every day at 3:00 p.m."},
      {menu, nullptr, "Friday", "Noon", "Apply_Schedule", kTuesday, false,
       "No selection made, Backup schedule unchanged", true, kTuesdayText},
      {menu, "CheckWeekly", "Friday", "Noon", "NoSchedule", ScheduleFile("none", "0000"), true,
       "Backup schedule set to 'None'", true, "No Backups currently scheduled"},
  };
  for (const ButtonCase& c : cases) {
    SCOPED_TRACE(std::string(NameOf(c.place)) + " " + c.button + " " + (c.check ? c.check : "-") +
                 " " + c.day + " " + c.time);
    WriteFileText(AppFile("BackupSchedule.txt"), kTuesday);
    Reach(c.place);
    if (c.place == menu) {
      // The boxes and lists show the schedule the text names; the case starts from none.
      EXPECT_EQ(CurrentSchedule(), kTuesdayText);
      EXPECT_TRUE(Checked("CheckWeekly"));
      EXPECT_FALSE(Checked("CheckDaily"));
      EXPECT_TRUE(Shown("DayOfWeek"));
      EXPECT_EQ(ListText("DayOfWeek"), "Tuesday");
      EXPECT_EQ(ListText("DailyTime"), "3:00 a.m.");
      SetChecked("CheckWeekly", false);
    }
    desktop_.ClearRecord();
    if (c.check != nullptr) SetChecked(c.check, true);
    Choose("DayOfWeek", c.day);
    Choose("DailyTime", c.time);
    Click(c.button);

    EXPECT_EQ(ReadApp("BackupSchedule.txt"), c.file);
    EXPECT_EQ(desktop_.messages(), c.message ? QStringList{c.message} : QStringList{});
    ASSERT_EQ(desktop_.started().size(), c.starts ? 1u : 0u);
    if (c.starts) {
      const wizard::ProgramStart& start = desktop_.started()[0];
      EXPECT_EQ(start.program, QString::fromStdString(AppFile("NVXscheduledBackup")));
      EXPECT_TRUE(start.arguments.isEmpty());
      EXPECT_EQ(start.working_folder, state_.app_folder);
      EXPECT_FALSE(start.in_terminal);
    }
    // The program ends after the schedule page, whatever was chosen.
    EXPECT_EQ(start_up_->ended(), !c.stays);
    if (c.stays) ExpectPage(NameOf(c.place));
    // A menu that changed the schedule shows the new one.
    if (c.place == menu) {
      EXPECT_EQ(CurrentSchedule(), c.menu_text);
    }
    OpenMenu();
    EXPECT_EQ(CurrentSchedule(), c.menu_text);
  }
}

TEST_F(ScheduleTest, CheckBoxesKeepEachOtherApartAndTheDayListFollowsWeekly) {
  // Each step: the box clicked and its new state, then daily, weekly, day list shown.
  const struct {
    const char* box;
    bool checked;
    bool daily;
    bool weekly;
    bool day_shown;
  } steps[] = {
      {"CheckWeekly", true, false, true, true}, {"CheckDaily", true, true, false, false},
      {"CheckWeekly", true, false, true, true}, {"CheckWeekly", false, false, false, false},
      {"CheckDaily", true, true, false, false}, {"CheckDaily", false, false, false, false},
  };
  for (Place place : {Place::kSchedulePage, Place::kMenu}) {
    SCOPED_TRACE(NameOf(place));
    Reach(place);
    QWidget* page = start_up_->current_page();
    // Both lists are filled as the page loads.
    EXPECT_EQ(page->findChild<QComboBox*>("DayOfWeek")->count(), 7);
    EXPECT_EQ(page->findChild<QComboBox*>("DailyTime")->count(), 24);
    EXPECT_FALSE(Shown("DayOfWeek"));
    EXPECT_FALSE(Shown("DayOfWeekLabel"));
    EXPECT_TRUE(Shown("DailyTime"));
    for (const auto& step : steps) {
      SCOPED_TRACE(std::string(step.box) + (step.checked ? " on" : " off"));
      SetChecked(step.box, step.checked);
      EXPECT_EQ(page->findChild<QCheckBox*>("CheckDaily")->isChecked(), step.daily);
      EXPECT_EQ(page->findChild<QCheckBox*>("CheckWeekly")->isChecked(), step.weekly);
      EXPECT_EQ(Shown("DayOfWeek"), step.day_shown);
      EXPECT_EQ(Shown("DayOfWeekLabel"), step.day_shown);
    }
  }
}

TEST_F(ScheduleTest, FailuresAreToldAndLoseNothing) {
  // The scheduler cannot be started: the page tells one message and closes; the menu
  // names the program and stays. The file is written either way.
  ReachSchedulePage(true);
  desktop_.FailProgramStarts();
  SetChecked("CheckDaily", true);
  Click("Continue");
  EXPECT_EQ(desktop_.messages(), QStringList{"Error occurred. Could not Schedule Job"});
  EXPECT_TRUE(start_up_->ended());
  EXPECT_EQ(ReadApp("BackupSchedule.txt"), ScheduleFile("all", "0100"));

  OpenMenu();
  desktop_.ClearRecord();
  SetChecked("CheckWeekly", true);
  Click("Apply_Schedule");
  EXPECT_EQ(
      desktop_.messages(),
      QStringList{"Could not start " + QString::fromStdString(AppFile("NVXscheduledBackup"))});
  ExpectPage("MenuFull");

  // The file cannot be written (a folder stands in its way): each place says so, nothing
  // is started, and no scratch file is left behind.
  std::filesystem::remove(AppFile("BackupSchedule.txt"));
  MakeFolder(AppFile("BackupSchedule.txt"));
  desktop_.ClearRecord();
  Click("NoSchedule");
  ASSERT_EQ(desktop_.messages().size(), 1);
  EXPECT_TRUE(desktop_.messages()[0].startsWith("Could not write BackupSchedule.txt: "));
  ExpectPage("MenuFull");

  ReachSchedulePage(false);
  SetChecked("CheckDaily", true);
  Click("Continue");
  EXPECT_EQ(desktop_.messages(), QStringList{"Error occurred. Could not Schedule Job"});
  EXPECT_TRUE(desktop_.started().empty());
  EXPECT_TRUE(start_up_->ended());
  EXPECT_FALSE(PathExists(AppFile("BackupSchedule.txt.new")));
}

// The Schedule tab shows the crontab line in force, and says when BackupSchedule.txt asks
// for another schedule; without an answer from the crontab it goes by the file.
TEST_F(ScheduleTest, TheScheduleTabShowsTheCrontabLineInForce) {
  const std::string crontab = AppFile("crontab-stand-in");
  const struct {
    const char* script;  // what the stand-in does for -l
    const char* text;
    const char* weekday;  // the DayOfWeek shown, or none when neither box is checked
  } cases[] = {
      {"echo '0 22 * * wed cd /x && ./NVXbackup #NVXscheduledBackup'",
       "Backups currently scheduled for every Wednesday at 10:00 p.m.\r\n(BackupSchedule.txt "
       "asks for another schedule: choose it and press Apply)",
       "Wednesday"},
      {"echo 'no crontab for alice' >&2; exit 1",
       "No Backups currently scheduled\r\n(BackupSchedule.txt asks for another schedule: "
       "choose it and press Apply)",
       nullptr},
      {"exit 2", kTuesdayText, "Tuesday"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    WriteFileText(AppFile("BackupSchedule.txt"), kTuesday);
    WriteFileText(crontab, std::string("#!/bin/sh\n") + c.script + "\n");
    SetPermissions(crontab, 0700);
    fresh_state_.crontab_program = QString::fromStdString(crontab);
    OpenMenu();
    EXPECT_EQ(CurrentSchedule(), c.text);
    EXPECT_EQ(Checked("CheckWeekly"), c.weekday != nullptr);
    if (c.weekday != nullptr) {
      EXPECT_EQ(ListText("DayOfWeek"), c.weekday);
    }
  }
}

// The weekly restore test, chosen, goes into BackupSchedule.txt with the job file its
// crontab line runs; "none" does not keep it.
TEST_F(ScheduleTest, WeeklyRestoreTestIsAskedForWithItsJobFile) {
  OpenMenu();
  EXPECT_FALSE(Checked("WeeklyRestoreTest"));
  SetChecked("CheckWeekly", true);
  Choose("DayOfWeek", "Sunday");
  Choose("DailyTime", "Noon");
  SetChecked("WeeklyRestoreTest", true);
  Click("Apply_Schedule");
  EXPECT_EQ(ReadApp("BackupSchedule.txt"),
            ScheduleFile("sun", "1200") + "#RunRestoreTest weekly\r\n");
  EXPECT_NE(ReadApp("restoretest-config.txt").find("VerifyRestore 5"), std::string::npos);
  OpenMenu();
  EXPECT_TRUE(Checked("WeeklyRestoreTest"));
  Click("NoSchedule");
  EXPECT_EQ(ReadApp("BackupSchedule.txt"), ScheduleFile("none", "0000"));
  EXPECT_FALSE(Checked("WeeklyRestoreTest"));
}

}  // namespace
}  // namespace nvx::test
