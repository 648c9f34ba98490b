// NVXscheduledBackup run as a program from a copy of it in an install folder, against a
// stand-in crontab program (NVX_CRONTAB) that keeps the user's table in a file and counts
// the tables it installs. Checks what a user sees: the table afterwards, the exit code,
// standard error, and that the line cron would run starts NVXbackup in that folder.
#include <gtest/gtest.h>

#include <cctype>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scheduler/crontab_table.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace nvx::scheduler {
namespace {

namespace fs = std::filesystem;

constexpr char kStandIn[] = R"(#!/bin/sh
# crontab as the tests see it: -l prints the table, FILE installs a copy of it.
table=$(dirname "$0")/table
if [ "$1" = "-l" ]; then
  [ -f "$(dirname "$0")/refuse-list" ] && { echo "refused" >&2; exit 1; }
  [ -f "$table" ] || { echo "no crontab for tester" >&2; exit 1; }
  cat "$table"
  exit 0
fi
[ -f "$(dirname "$0")/refuse-install" ] && { echo "refused" >&2; exit 1; }
[ -f "$1" ] || { echo "$1: not found" >&2; exit 1; }
echo x >>"$(dirname "$0")/installs"
cp "$1" "$table.new" && mv "$table.new" "$table"
)";

// The schedule file as the wizard writes it. This test's own copy of the format, kept apart
// from jobfiles/backup_schedule_file.h on purpose: a change there must not change what the
// program accepts unnoticed.
// With `restore_test`, the line that asks for the weekly restore test follows.
std::string ScheduleText(const std::string& day, const std::string& time,
                         bool restore_test = false) {
  return "#Norrvault Backup Schedule\r\n \r\nRunOnDay " + day + "\r\nRunAtTime " + time + "\r\n" +
         (restore_test ? "#RunRestoreTest weekly\r\n" : "");
}

// An install folder holding a copy of the program, and the stand-in beside it.
class ScheduledBackup {
 public:
  explicit ScheduledBackup(const std::string& folder_name = "install")
      : folder_(dir_.File(folder_name)), crontab_(dir_.File("crontab")) {
    fs::create_directories(folder_);
    fs::create_directories(crontab_);
    const char* build = std::getenv("NVX_BUILD_DIR");
    fs::copy_file(std::string(build ? build : ".") + "/bin/NVXscheduledBackup", Program());
    test::WriteFileText(crontab_ + "/crontab", kStandIn);
    fs::permissions(crontab_ + "/crontab", fs::perms::owner_all);
  }

  const std::string& folder() const { return folder_; }
  std::string Program() const { return folder_ + "/NVXscheduledBackup"; }
  std::string TablePath() const { return crontab_ + "/table"; }
  std::string Table() const {
    return fs::exists(TablePath()) ? test::ReadFileText(TablePath()) : "(no table)";
  }
  void SetTable(const std::string& text) { test::WriteFileText(TablePath(), text); }
  // "refuse-list" makes the stand-in fail `crontab -l`, "refuse-install" the install.
  void Refuse(const std::string& what) { test::WriteFileText(crontab_ + "/" + what, ""); }
  size_t Installs() const {
    const std::string path = crontab_ + "/installs";
    return fs::exists(path) ? test::ReadFileText(path).size() / 2 : 0;
  }

  test::RunResult Run(const std::string& schedule_text) {
    test::WriteFileText(folder_ + "/BackupSchedule.txt", schedule_text);
    return Run();
  }
  test::RunResult Run() {
    return test::RunProgram(Program(), {{}, {"NVX_CRONTAB=" + crontab_ + "/crontab"}, {}});
  }

 private:
  test::TempDir dir_;
  std::string folder_;
  std::string crontab_;
};

// The lines of a table marked with `marker`.
std::vector<std::string> MarkedLines(const std::string& table,
                                     std::string_view marker = kCrontabMarker) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < table.size()) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    const std::string line = table.substr(start, end - start);
    if (IsMarkedLine(line, marker)) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// What cron hands the shell from a line's command: text up to the first "%" that no
// backslash escapes, with "\%" turned into "%".
std::string CronCommand(const std::string& line) {
  size_t field_start = 0;
  for (int field = 0; field < 5; ++field) field_start = line.find(' ', field_start) + 1;
  std::string command;
  bool escaped = false;
  for (char c : line.substr(field_start)) {
    if (escaped) {
      if (c == '%')
        command.back() = '%';
      else
        command += c;
      escaped = false;
      continue;
    }
    if (c == '%') break;
    escaped = c == '\\';
    command += c;
  }
  return command;
}

TEST(ScheduledBackupTest, EachDayAndHourGivesItsCronTimes) {
  struct TimeCase {
    std::string day;
    std::string time;
    std::string cron_times;  // minute, hour, day of month, month, weekday
  };
  std::vector<TimeCase> cases = {{"mon", "0100", "0 1 * * mon"},  {"tue", "0200", "0 2 * * tue"},
                                 {"wed", "0900", "0 9 * * wed"},  {"thu", "1000", "0 10 * * thu"},
                                 {"fri", "1200", "0 12 * * fri"}, {"sat", "1900", "0 19 * * sat"},
                                 {"sun", "1200", "0 12 * * sun"}, {"SUN", "0000", "0 0 * * sun"},
                                 {"All", "0700", "0 7 * * *"}};
  for (int hour = 0; hour < 24; ++hour) {
    const std::string time = (hour < 10 ? "0" : "") + std::to_string(hour) + "00";
    cases.push_back({"all", time, "0 " + std::to_string(hour) + " * * *"});
  }
  ScheduledBackup run;
  for (const TimeCase& c : cases) {
    const test::RunResult result = run.Run(ScheduleText(c.day, c.time));
    ASSERT_EQ(result.exit_code, 0) << c.day << " " << c.time << ": " << result.err;
    const std::vector<std::string> marked = MarkedLines(run.Table());
    ASSERT_EQ(marked.size(), 1u) << run.Table();
    EXPECT_EQ(marked[0].substr(0, marked[0].find(" cd ")), c.cron_times) << c.day << " " << c.time;
    // The wizard reads the schedule in force back from the line.
    const std::optional<jobfiles::Schedule> in_force = jobfiles::ScheduleInCrontab(run.Table());
    ASSERT_TRUE(in_force.has_value()) << run.Table();
    std::string day = c.day;
    for (char& letter : day) letter = static_cast<char>(std::tolower(letter));
    EXPECT_EQ(in_force->day + " " + std::to_string(in_force->hour),
              day + " " + std::to_string(std::stoi(c.time.substr(0, 2))));
  }
  // No marked line: no schedule in force; a marked line of another form: unknown.
  EXPECT_EQ(jobfiles::ScheduleInCrontab("# a\n0 1 * * * other\n")->day, "none");
  EXPECT_FALSE(jobfiles::ScheduleInCrontab("5 1 * * mon x #NVXscheduledBackup\n"));
  EXPECT_FALSE(jobfiles::ScheduleInCrontab("0 24 * * * x #NVXscheduledBackup"));
  EXPECT_EQ(MarkedLines(run.Table())[0],
            "0 23 * * * cd '" + run.folder() +
                "' && mkdir -p Logs && ./NVXbackup >>Logs/NVXbackup.out 2>&1 #NVXscheduledBackup");
  // The restore test: twelve hours after the week's backup, Sunday's of a daily schedule.
  for (const TimeCase& c : std::vector<TimeCase>{{"tue", "0200", "0 14 * * tue"},
                                                 {"fri", "1200", "0 0 * * sat"},
                                                 {"SUN", "1300", "0 1 * * mon"},
                                                 {"all", "2300", "0 11 * * mon"}}) {
    ASSERT_EQ(run.Run(ScheduleText(c.day, c.time, true)).exit_code, 0);
    const std::vector<std::string> tests = MarkedLines(run.Table(), kRestoreTestCrontabMarker);
    ASSERT_EQ(tests.size(), 1u) << run.Table();
    EXPECT_EQ(tests[0].substr(0, tests[0].find(" cd ")), c.cron_times) << c.day << " " << c.time;
    EXPECT_TRUE(jobfiles::ScheduleInCrontab(run.Table())->restore_test);
  }
}

struct TableCase {
  const char* name;
  const char* before;  // nullptr: the user has no table
  const char* day;
  const char* after;  // "LINE" stands for the marked line of the schedule
  size_t installs;
  bool restore_test = false;  // the file asks for the weekly restore test ("TEST" its line)
};

const TableCase kTables[] = {
    {"NoTableGainsTheLine", nullptr, "mon", "LINE\n", 1},
    {"ForeignLinesKept",
     "# my jobs\nMAILTO=me@example.com\nSHELL=/bin/bash\n*/5 * * * * echo 50% > /dev/null\n\n",
     "mon",
     "# my jobs\nMAILTO=me@example.com\nSHELL=/bin/bash\n*/5 * * * * echo 50% > "
     "/dev/null\n\nLINE\n",
     1},
    {"LastLineWithoutLineEnd", "@reboot run-me", "mon", "@reboot run-me\nLINE\n", 1},
    {"OldLineReplacedInPlace", "# a\n0 3 * * * cd '/old' && ./NVXbackup #NVXscheduledBackup\n# b\n",
     "mon", "# a\nLINE\n# b\n", 1},
    {"DuplicateMarkedLinesBecomeOne",
     "0 1 * * * x #NVXscheduledBackup\n# keep\n0 2 * * * y #NVXscheduledBackup\n", "mon",
     "LINE\n# keep\n", 1},
    {"CrLfForeignLineKept", "0 4 * * * other\r\n", "mon", "0 4 * * * other\r\nLINE\n", 1},
    {"NoneRemovesTheLine", "# a\n0 1 * * * x #NVXscheduledBackup\n# b", "none", "# a\n# b\n", 1},
    {"NoneWithoutLineChangesNothing", "# a\n# b", "none", "# a\n# b", 0},
    {"NoneWithoutTableInstallsNothing", nullptr, "none", "(no table)", 0},
    {"RestoreTestLineFollowsTheBackup", "# a", "mon", "# a\nLINE\nTEST\n", 1, true},
    {"RestoreTestOffRemovesItsLine", "0 1 * * mon x #NVXscheduledRestoreTest\n", "mon", "LINE\n",
     1},
    {"NoneRemovesTheRestoreTestLine",
     "# a\n0 1 * * * x #NVXscheduledBackup\n0 13 * * mon y #NVXscheduledRestoreTest\n# b\n", "none",
     "# a\n# b\n", 1, true},
};

class TableTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableTest, OnlyTheMarkedLineChanges) {
  const TableCase& c = GetParam();
  ScheduledBackup run;
  if (c.before) run.SetTable(c.before);
  const test::RunResult result = run.Run(ScheduleText(c.day, "0900", c.restore_test));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::string expected = c.after;
  std::string quoted;
  ASSERT_TRUE(QuoteFolderForCron(run.folder(), &quoted));
  const size_t line_at = expected.find("LINE");
  if (line_at != std::string::npos) expected.replace(line_at, 4, ScheduledLine({c.day, 9}, quoted));
  const size_t test_at = expected.find("TEST");
  if (test_at != std::string::npos) {
    expected.replace(test_at, 4, RestoreTestLine({c.day, 9}, quoted));
  }
  EXPECT_EQ(run.Table(), expected);
  EXPECT_EQ(run.Installs(), c.installs);
  // The scratch table never stays behind in the install folder.
  for (const auto& entry : fs::directory_iterator(run.folder())) {
    EXPECT_EQ(entry.path().filename().string().find(".crontab"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, TableTest, ::testing::ValuesIn(kTables),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(ScheduledBackupTest, MalformedScheduleChangesNothingAndSaysWhy) {
  const std::pair<const char*, const char*> files[] = {
      {"", "no RunOnDay"},
      {"RunOnDay mon\r\n", "no RunAtTime"},
      {"RunAtTime 0100\r\n", "no RunOnDay"},
      {"RunOnDay funday\r\nRunAtTime 0100\r\n", "unknown day"},
      {"RunOnDay mon\r\nRunAtTime 2400\r\n", "not a whole hour"},
      {"RunOnDay mon\r\nRunAtTime 0130\r\n", "not a whole hour"},
      {"RunOnDay mon\r\nRunAtTime 100\r\n", "not a whole hour"},
      {"RunOnDay mon\r\nRunAtTime\r\n", "neither"},
      {"RunOnDay mon\r\nRunOnDay tue\r\nRunAtTime 0100\r\n", "second RunOnDay"},
      {"RunOnDay mon\r\nRunAtTime 0100\r\nrm -rf /\r\n", "neither"},
  };
  ScheduledBackup run;
  const std::string table = "# mine\n0 1 * * * x #NVXscheduledBackup\n";
  run.SetTable(table);
  for (const auto& [text, reason] : files) {
    const test::RunResult result = run.Run(text);
    EXPECT_EQ(result.exit_code, 1) << text;
    EXPECT_NE(result.err.find(reason), std::string::npos) << text << ": " << result.err;
    EXPECT_EQ(run.Table(), table);
  }
  fs::remove(run.folder() + "/BackupSchedule.txt");
  const test::RunResult missing = run.Run();
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("BackupSchedule.txt"), std::string::npos) << missing.err;
  EXPECT_EQ(run.Installs(), 0u);
}

// A crontab program that fails to list (other than "no crontab") or to install: the
// table is left as it was and the exit code says so.
TEST(ScheduledBackupTest, FailingCrontabLeavesTheTable) {
  for (const char* refusal : {"refuse-list", "refuse-install"}) {
    ScheduledBackup run;
    run.SetTable("# mine\n");
    run.Refuse(refusal);
    const test::RunResult result = run.Run(ScheduleText("all", "0000"));
    EXPECT_EQ(result.exit_code, 2) << refusal;
    EXPECT_NE(result.err.find("refused; the crontab is unchanged"), std::string::npos)
        << result.err;
    EXPECT_EQ(run.Table(), "# mine\n");
  }
  ScheduledBackup missing;
  test::WriteFileText(missing.folder() + "/BackupSchedule.txt", ScheduleText("all", "0000"));
  const test::RunResult result = test::RunProgram(
      missing.Program(), {{}, {"NVX_CRONTAB=" + missing.folder() + "/no-such-crontab"}, {}});
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_NE(result.err.find("cannot start"), std::string::npos) << result.err;
}

// Folder names that the shell or cron would read otherwise: blanks, quotes, "%", a
// backslash before "%", "$" and "#". The commands cron would hand the shell start
// NVXbackup in that folder, the restore test's with its job file, with the output
// appended to Logs/NVXbackup.out.
TEST(ScheduledBackupTest, CronCommandRunsNVXbackupInAnAwkwardFolder) {
  ScheduledBackup run("My Backups 100% it's \"ok\" \\%x $HOME #1 `id`");
  test::WriteFileText(run.folder() + "/NVXbackup", "#!/bin/sh\necho \"ran in $(pwd):$*\"\n");
  fs::permissions(run.folder() + "/NVXbackup", fs::perms::owner_all);
  ASSERT_EQ(run.Run(ScheduleText("wed", "1300", true)).exit_code, 0);
  const std::vector<std::string> marked = MarkedLines(run.Table());
  const std::vector<std::string> tests = MarkedLines(run.Table(), kRestoreTestCrontabMarker);
  ASSERT_EQ(marked.size(), 1u);
  ASSERT_EQ(tests.size(), 1u);
  for (const std::string& line : {marked[0], marked[0], tests[0]}) {
    const std::string command = CronCommand(line);
    const test::RunResult shell = test::RunProgram("/bin/sh", {{"-c", command}, {}, {}});
    ASSERT_EQ(shell.exit_code, 0) << command << "\n" << shell.err;
  }
  const std::string ran = "ran in " + run.folder() + ":\n";
  EXPECT_EQ(test::ReadFileText(run.folder() + "/Logs/NVXbackup.out"),
            ran + ran + "ran in " + run.folder() + ":-f restoretest-config.txt\n");
}

}  // namespace
}  // namespace nvx::scheduler
