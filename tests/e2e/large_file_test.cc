// A 5 GiB file (sparse, so that it costs no disk) backs up whole: sizes and offsets past
// 4 GiB are carried as 64-bit numbers end to end.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "tests/e2e/backup_fixture.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

class LargeFileTest : public BackupTest {};

TEST_F(LargeFileTest, FiveGibibyteSparseFileBacksUpWhole) {
  constexpr int64_t kSize = 5LL * 1024 * 1024 * 1024 + 3;
  std::string tree = temp_.File("Data");
  std::string path = tree + "/disk.img";
  // A few real bytes at the start, around 4 GiB and at the end; holes elsewhere.
  WriteContent(path, 4096, Content::kRandom, 5);
  int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const char marks[] = "past four gibibytes";
  ASSERT_EQ(::pwrite(fd, marks, sizeof marks, (4LL << 30) - 5), static_cast<ssize_t>(sizeof marks));
  ASSERT_EQ(::pwrite(fd, "end", 3, kSize - 3), 3);
  ::close(fd);
  Administer({"account", "set", "alice", "--quota", std::to_string(8LL << 30)});

  SendJob job{tree, "\\Backup", true, false, false, true, {}, {}};
  // A loaded machine moves 5 GiB slowly: the limit only ends a run that hangs.
  RunResult run = RunJob(BackupJobFile(job.Lines()), "", std::chrono::seconds(600));
  // Once in a while on a loaded machine this run has ended with the upload refused: what
  // the job and the service logged tells why.
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err << "\nActivity log:\n"
                              << ActivityLog() << "\nService log:\n"
                              << ReadFileText(server_log_);
  auto documents = Documents("\\Backup\\Data");
  ASSERT_EQ(documents.count("disk.img"), 1u);
  EXPECT_EQ(documents["disk.img"].size, kSize);
  EXPECT_TRUE(documents["disk.img"].complete);
  EXPECT_EQ(documents["disk.img"].md5, FileMd5(path));
  EXPECT_NE(Report().find("Uploaded 1 Files \r\n"), std::string::npos) << Report();
}

}  // namespace
}  // namespace nvx::test
