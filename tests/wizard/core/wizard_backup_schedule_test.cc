// The schedule file and texts from the choices a user makes on either schedule place:
// what BackupSchedule.txt holds after a choice, and what the menu then shows. The
// expected file texts are this test's own copy of the format, kept apart from
// jobfiles/backup_schedule_file.h on purpose.
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/wizard/core/core_test_helpers.h"
#include "wizard/core/backup_schedule.h"

namespace nvx::wizard {
namespace {

using test::CrLfText;
using test::Q;
using test::Std;

struct ChoiceCase {
  const char* name;
  bool daily;
  bool weekly;
  const char* day_text;
  const char* time_text;
  const char* day_written;   // after "RunOnDay "
  const char* time_written;  // after "RunAtTime "
  const char* shown;         // the menu's text afterwards
};

const ChoiceCase kChoices[] = {
    {"DailyAtMidnight", true, false, "Monday", "Midnight", "all", "0000",
     "Backups currently scheduled for every day at midnight"},
    {"WeeklyOnSundayAtNoon", false, true, "Sunday", "Noon", "sun", "1200",
     "Backups currently scheduled for every Sunday at noon"},
    {"WeeklyOnMondayMorning", false, true, "Monday", "1:00 a.m.", "mon", "0100",
     "Backups currently scheduled for every Monday at 1:00 a.m."},
    {"DailyLateEvening", true, false, "Sunday", "11:00 p.m.", "all", "2300",
     "Backups currently scheduled for every day at 11:00 p.m."},
    {"WeeklyOnWednesdayAfternoon", false, true, "Wednesday", "1:00 p.m.", "wed", "1300",
     "Backups currently scheduled for every Wednesday at 1:00 p.m."},
    {"WeeklyOnSaturdayMorning", false, true, "Saturday", "11:00 a.m.", "sat", "1100",
     "Backups currently scheduled for every Saturday at 11:00 a.m."},
};

class ChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(ChoiceTest, FileHoldsTheChoiceAndTheMenuShowsIt) {
  const ChoiceCase& c = GetParam();
  test::TempDir folder;
  const std::optional<QString> day = ChosenDay({c.daily, c.weekly, c.weekly}, Q(c.day_text));
  ASSERT_TRUE(day.has_value());
  QString error;
  ASSERT_TRUE(WriteScheduleFile(Q(folder.path()), *day, TimeCodeOf(Q(c.time_text)), &error))
      << Std(error);

  EXPECT_EQ(test::ReadFileText(folder.File("BackupSchedule.txt")),
            CrLfText({"#Norrvault Backup Schedule", " ", std::string("RunOnDay ") + c.day_written,
                      std::string("RunAtTime ") + c.time_written}));
  EXPECT_EQ(Std(CurrentScheduleText(Q(folder.path())).value_or("(none)")), c.shown);
  // Nothing is left beside the file: the new file was renamed over it.
  EXPECT_EQ(test::ListFolder(folder.path()), std::vector<std::string>{"BackupSchedule.txt"});
}

INSTANTIATE_TEST_SUITE_P(Choices, ChoiceTest, ::testing::ValuesIn(kChoices),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(BackupScheduleTest, NoneOverwritesAScheduleAndNoFileShowsNothing) {
  test::TempDir folder;
  EXPECT_FALSE(CurrentScheduleText(Q(folder.path())).has_value());
  QString error;
  ASSERT_TRUE(WriteScheduleFile(Q(folder.path()), "sun", "1200", &error));
  ASSERT_TRUE(WriteScheduleFile(Q(folder.path()), kNoScheduleDay, kNoScheduleTime, &error));
  EXPECT_EQ(test::ReadFileText(folder.File("BackupSchedule.txt")),
            CrLfText({"#Norrvault Backup Schedule", " ", "RunOnDay none", "RunAtTime 0000"}));
  EXPECT_EQ(Std(*CurrentScheduleText(Q(folder.path()))), "No Backups currently scheduled");
}

TEST(BackupScheduleTest, MenuReadsKeywordsWithoutRegardToCaseAndLineEnds) {
  test::TempDir folder;
  test::WriteFileText(folder.File("BackupSchedule.txt"),
                      "# other heading\nrunonday Fri\nRUNATTIME 0700\n");
  EXPECT_EQ(Std(*CurrentScheduleText(Q(folder.path()))),
            "Backups currently scheduled for every Friday at 7:00 a.m.");
}

// The menu reads the file as NVXscheduledBackup does: a file it refuses schedules nothing,
// and the menu shows no half-filled text for it.
TEST(BackupScheduleTest, MenuShowsNothingForAFileTheSchedulerRefuses) {
  test::TempDir folder;
  for (const char* text : {"RunOnDay funday\nRunAtTime 0700\n", "RunOnDay mon\nRunAtTime 0730\n",
                           "RunOnDay mon\n", "RunOnDay mon\nRunOnDay tue\nRunAtTime 0100\n"}) {
    test::WriteFileText(folder.File("BackupSchedule.txt"), text);
    EXPECT_EQ(Std(CurrentScheduleText(Q(folder.path())).value_or("(none)")), "(none)") << text;
  }
}

TEST(BackupScheduleTest, WriteIntoAMissingFolderFailsWithAReason) {
  test::TempDir folder;
  QString error;
  EXPECT_FALSE(WriteScheduleFile(Q(folder.File("missing")), "all", "0000", &error));
  EXPECT_FALSE(error.isEmpty());
}

TEST(BackupScheduleTest, ListsHoldEveryChoiceOnceAndEachMapsToItsCode) {
  const QStringList days = DayOfWeekChoices();
  ASSERT_EQ(days.size(), 7);
  EXPECT_EQ(Std(days.first()), "Monday");
  EXPECT_EQ(Std(days.last()), "Sunday");
  const QStringList times = DailyTimeChoices();
  ASSERT_EQ(times.size(), 24);
  EXPECT_EQ(Std(times[0]), "1:00 a.m.");
  EXPECT_EQ(Std(times[10]), "11:00 a.m.");
  EXPECT_EQ(Std(times[11]), "Noon");
  EXPECT_EQ(Std(times[12]), "1:00 p.m.");
  EXPECT_EQ(Std(times[22]), "11:00 p.m.");
  EXPECT_EQ(Std(times[23]), "Midnight");
  QStringList codes;
  for (const QString& time : times) codes << TimeCodeOf(time);
  codes.removeDuplicates();
  EXPECT_EQ(codes.size(), 24) << "every time has its own code";
  EXPECT_TRUE(TimeCodeOf("25:00 p.m.").isEmpty());
  EXPECT_TRUE(DayCodeOf("Funday").isEmpty());
}

TEST(BackupScheduleTest, CheckBoxesExcludeEachOtherAndWeeklyShowsTheDay) {
  ScheduleChecks checks;
  checks = AfterWeeklyToggled(checks, true);
  EXPECT_TRUE(checks.weekly && checks.day_shown && !checks.daily);
  checks = AfterDailyToggled(checks, true);
  EXPECT_TRUE(checks.daily && !checks.weekly && !checks.day_shown);
  checks = AfterWeeklyToggled(checks, true);
  EXPECT_TRUE(!checks.daily && checks.weekly && checks.day_shown);
  checks = AfterWeeklyToggled(checks, false);
  EXPECT_TRUE(!checks.daily && !checks.weekly && !checks.day_shown);
  EXPECT_FALSE(ChosenDay(checks, "Monday").has_value()) << "neither box: nothing to write";
}

}  // namespace
}  // namespace nvx::wizard
