// The schedule in both places: the `scheduletask` page at the end of a new configuration
// and the menu's Schedule tab. Each case drives the real wizard and checks what a user and
// NVXscheduledBackup see: BackupSchedule.txt on disk, the program started (or not), the
// messages, whether the page stays, and the current-schedule text of the next menu.
#include <filesystem>

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QTabWidget>

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

  bool Shown(const char* name) {
    // Hidden by the page itself, not by a tab that is not on top.
    return !start_up_->current_page()->findChild<QWidget*>(name)->isHidden();
  }

  const wizard::WizardState fresh_state_;
};

struct SetCase {
  Place place;
  bool daily;
  bool weekly;
  const char* day;
  const char* time;
  std::string file;
  const char* message;
  const char* menu_text;  // the next menu's CurrentSchedule
};

TEST_F(ScheduleTest, SettingAScheduleWritesTheFileStartsTheSchedulerAndShowsIt) {
  const SetCase cases[] = {
      {Place::kSchedulePage, true, false, "Monday", "Midnight", ScheduleFile("all", "0000"),
       "Scheduled Backup Task Created", "Backups currently scheduled for every day at midnight"},
      {Place::kSchedulePage, false, true, "Sunday", "Noon", ScheduleFile("sun", "1200"),
       "Scheduled Backup Task Created", "Backups currently scheduled for every Sunday at noon"},
      {Place::kMenu, false, true, "Sunday", "Noon", ScheduleFile("sun", "1200"),
       "Backup schedule set", "Backups currently scheduled for every Sunday at noon"},
      {Place::kMenu, true, false, "Friday", "3:00 p.m.", ScheduleFile("all", "1500"),
       "Backup schedule set", "Backups currently scheduled for every day at 3:00 p.m."},
      {Place::kMenu, false, true, "Wednesday", "11:00 a.m.", ScheduleFile("wed", "1100"),
       "Backup schedule set", "Backups currently scheduled for every Wednesday at 11:00 a.m."},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(std::string(NameOf(c.place)) + " " + c.day + " " + c.time);
    // An earlier schedule is replaced whole.
    WriteFileText(AppFile("BackupSchedule.txt"), ScheduleFile("none", "0000") + "junk\r\n");
    Reach(c.place);
    desktop_.ClearRecord();
    if (c.weekly) SetChecked("CheckWeekly", true);
    if (c.daily) SetChecked("CheckDaily", true);
    Choose("DayOfWeek", c.day);
    Choose("DailyTime", c.time);
    Click(c.place == Place::kMenu ? "Apply_Schedule" : "Continue");

    EXPECT_EQ(ReadApp("BackupSchedule.txt"), c.file);
    EXPECT_EQ(desktop_.messages(), QStringList{c.message});
    ASSERT_EQ(desktop_.started().size(), 1u);
    const wizard::ProgramStart& start = desktop_.started()[0];
    EXPECT_EQ(start.program, QString::fromStdString(AppFile("NVXscheduledBackup")));
    EXPECT_TRUE(start.arguments.isEmpty());
    EXPECT_EQ(start.working_folder, state_.app_folder);
    EXPECT_FALSE(start.in_terminal);
    if (c.place == Place::kSchedulePage) {
      EXPECT_TRUE(start_up_->ended());  // the program ends after this page
    } else {
      ExpectPage("MenuFull");
      EXPECT_EQ(CurrentSchedule(), "");
    }
    OpenMenu();
    EXPECT_EQ(CurrentSchedule(), c.menu_text);
    EXPECT_FALSE(Shown("DayOfWeek"));  // the menu does not preselect the schedule
  }
}

TEST_F(ScheduleTest, NoScheduleOverwritesWithNoneAndDoesNotStartTheScheduler) {
  const struct {
    Place place;
    const char* button;
    QStringList messages;
  } cases[] = {
      {Place::kSchedulePage, "Cancel", {}},
      {Place::kMenu, "NoSchedule", {"Backup schedule set to 'None'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(NameOf(c.place));
    WriteFileText(AppFile("BackupSchedule.txt"), ScheduleFile("sun", "1200"));
    Reach(c.place);
    if (c.place == Place::kMenu) {
      EXPECT_EQ(CurrentSchedule(), "Backups currently scheduled for every Sunday at noon");
    }
    desktop_.ClearRecord();
    SetChecked("CheckDaily", true);  // a choice on screen does not matter
    Click(c.button);
    EXPECT_EQ(ReadApp("BackupSchedule.txt"), ScheduleFile("none", "0000"));
    EXPECT_TRUE(desktop_.started().empty());
    EXPECT_EQ(desktop_.messages(), c.messages);
    if (c.place == Place::kSchedulePage) {
      EXPECT_TRUE(start_up_->ended());
    } else {
      ExpectPage("MenuFull");
      EXPECT_EQ(CurrentSchedule(), "");
    }
    OpenMenu();
    EXPECT_EQ(CurrentSchedule(), "No Backups currently scheduled");
  }
}

TEST_F(ScheduleTest, NeitherBoxCheckedLeavesTheFileAndThePageAsTheyWere) {
  const struct {
    Place place;
    const char* button;
    const char* message;
  } cases[] = {
      {Place::kSchedulePage, "Continue", "No selection made, Backup job will not be scheduled"},
      {Place::kMenu, "Apply_Schedule", "No selection made, Backup schedule unchanged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(NameOf(c.place));
    const std::string before = ScheduleFile("tue", "0300");
    WriteFileText(AppFile("BackupSchedule.txt"), before);
    Reach(c.place);
    desktop_.ClearRecord();
    // Checked and cleared again: neither box is checked.
    SetChecked("CheckWeekly", true);
    SetChecked("CheckWeekly", false);
    Click(c.button);
    EXPECT_EQ(desktop_.messages(), QStringList{c.message});
    EXPECT_EQ(ReadApp("BackupSchedule.txt"), before);
    EXPECT_TRUE(desktop_.started().empty());
    EXPECT_FALSE(start_up_->ended());
    ExpectPage(NameOf(c.place));
    if (c.place == Place::kMenu) {
      EXPECT_EQ(CurrentSchedule(), "Backups currently scheduled for every Tuesday at 3:00 a.m.");
    }
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
    auto* days = page->findChild<QComboBox*>("DayOfWeek");
    auto* times = page->findChild<QComboBox*>("DailyTime");
    ASSERT_EQ(days->count(), 7);
    EXPECT_EQ(days->itemText(0), "Monday");
    EXPECT_EQ(days->itemText(6), "Sunday");
    ASSERT_EQ(times->count(), 24);
    EXPECT_EQ(times->itemText(0), "1:00 a.m.");
    EXPECT_EQ(times->itemText(11), "Noon");
    EXPECT_EQ(times->itemText(23), "Midnight");
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

}  // namespace
}  // namespace nvx::test
