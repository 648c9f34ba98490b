// NVXscheduledBackup against the real crontab program of this machine: the user's table
// is saved, a schedule with the weekly restore test is set and read back with
// `crontab -l`, removed again, and the saved table is put back exactly, whatever
// happened in between.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "scheduler/crontab_table.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace nvx::scheduler {
namespace {

namespace fs = std::filesystem;

// The crontab program found on the PATH; empty when there is none.
std::string CrontabPath() {
  test::RunResult found = test::RunProgram("/bin/sh", {{"-c", "command -v crontab"}, {}, {}});
  if (found.exit_code != 0) return {};
  while (!found.out.empty() && found.out.back() == '\n') found.out.pop_back();
  return found.out;
}

test::RunResult Crontab(const std::vector<std::string>& args) {
  return test::RunProgram(CrontabPath(), {args, {}, {}});
}

// The user's table as it was; put back when the test ends.
class SavedTable {
 public:
  SavedTable() {
    const test::RunResult listed = Crontab({"-l"});
    had_table_ = listed.exit_code == 0;
    table_ = listed.out;
  }
  ~SavedTable() {
    if (had_table_) {
      test::WriteFileText(dir_.File("saved"), table_);
      Crontab({dir_.File("saved")});
    } else {
      Crontab({"-r"});
    }
  }
  bool had_table() const { return had_table_; }
  const std::string& table() const { return table_; }

 private:
  test::TempDir dir_;
  bool had_table_ = false;
  std::string table_;
};

std::string MarkedLine(const std::string& table, std::string_view marker = kCrontabMarker) {
  size_t start = 0;
  while (start < table.size()) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    const std::string line = table.substr(start, end - start);
    if (IsMarkedLine(line, marker)) return line;
    start = end + 1;
  }
  return {};
}

TEST(ScheduledBackupCrontabTest, SetReadBackRemoveAndRestore) {
  if (CrontabPath().empty()) {
    GTEST_SKIP() << "crontab is not installed (Debian package cron); skipping the real table";
  }
  test::TempDir dir;
  const std::string folder = dir.File("install folder");
  fs::create_directories(folder);
  const char* build = std::getenv("NVX_BUILD_DIR");
  fs::copy_file(std::string(build ? build : ".") + "/bin/NVXscheduledBackup",
                folder + "/NVXscheduledBackup");
  // The schedule file spelt out here on purpose, apart from jobfiles/, as the oracle.
  const auto run = [&](const std::string& day, const std::string& time) {
    test::WriteFileText(folder + "/BackupSchedule.txt",
                        "#Norrvault Backup Schedule\r\n \r\nRunOnDay " + day + "\r\nRunAtTime " +
                            time + "\r\n#RunRestoreTest weekly\r\n");
    return test::RunProgram(folder + "/NVXscheduledBackup", {{}, {"NVX_CRONTAB="}, {}});
  };
  {
    SavedTable saved;
    const test::RunResult set = run("sun", "1200");
    ASSERT_EQ(set.exit_code, 0) << set.err;
    const test::RunResult listed = Crontab({"-l"});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    std::string quoted;
    ASSERT_TRUE(QuoteFolderForCron(folder, &quoted));
    EXPECT_EQ(MarkedLine(listed.out), ScheduledLine({"sun", 12}, quoted));
    EXPECT_EQ(MarkedLine(listed.out, kRestoreTestCrontabMarker),
              RestoreTestLine({"sun", 12}, quoted));

    const test::RunResult removed = run("none", "0000");
    ASSERT_EQ(removed.exit_code, 0) << removed.err;
    const test::RunResult after = Crontab({"-l"});
    EXPECT_EQ(MarkedLine(after.out), "");
    EXPECT_EQ(MarkedLine(after.out, kRestoreTestCrontabMarker), "");
    if (saved.had_table() && MarkedLine(saved.table()).empty()) {
      EXPECT_EQ(after.out, saved.table() + (saved.table().ends_with('\n') ? "" : "\n"));
    }
  }
  // The saved table is back exactly.
  SavedTable restored;
  const test::RunResult listed = Crontab({"-l"});
  EXPECT_EQ(listed.out, restored.table());
}

}  // namespace
}  // namespace nvx::scheduler
