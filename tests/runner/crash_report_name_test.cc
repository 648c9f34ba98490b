// The name of the crash report file for a program path.
#include <gtest/gtest.h>

#include "runner/crash_report.h"

namespace nvx {
namespace {

TEST(CrashReportNameTest, FollowsTheFirstDotOfTheWholePath) {
  const struct {
    const char* program;
    const char* report;
  } cases[] = {
      // More than two characters after the first dot: they become "rpt".
      {"/opt/nvx/NVXbackup.exe", "/opt/nvx/NVXbackup.rpt"},
      {"/opt/nvx/NVXbackup.bin.old", "/opt/nvx/NVXbackup.rpt"},
      // The first dot may lie in a folder name.
      {"/tmp/x/my.folder/crash_victim", "/tmp/x/my.rpt"},
      {"/home/ann/.local/bin/NVXbackup", "/home/ann/.rpt"},
      {"/opt/v1.2/NVXbackup", "/opt/v1.rpt"},
      // No dot, or two characters or fewer after it: the path would stay the program
      // file itself, so ".rpt" is appended.
      {"/opt/nvx/NVXbackup", "/opt/nvx/NVXbackup.rpt"},
      {"/opt/nvx/NVXbackup.ex", "/opt/nvx/NVXbackup.ex.rpt"},
      {"/opt/nvx/NVXbackup.e", "/opt/nvx/NVXbackup.e.rpt"},
      {"/opt/nvx/NVXbackup.", "/opt/nvx/NVXbackup..rpt"},
      {"/opt/nvx/NVXbackup.rpt", "/opt/nvx/NVXbackup.rpt.rpt"},
      {"NVXbackup", "NVXbackup.rpt"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CrashReportNameFor(c.program), c.report) << c.program;
  }
}

TEST(CrashReportNameTest, NeverNamesTheProgramFileItself) {
  for (const char* program :
       {"/a/b", "/a/b.c", "/a/b.cd", "/a/b.cde", "/a/b.rpt", "/a.rpt", "x", "."}) {
    EXPECT_NE(CrashReportNameFor(program), program) << program;
  }
}

}  // namespace
}  // namespace nvx
