// The download engine against the real nvxserver, driven by NVXbackup restore jobs: a
// resume from the "~" work file an earlier attempt left, a copy that is current already
// ("UGOTIT") or matched by its date, bodies enciphered for the account and packed for
// the transfer, a move that deletes the server copies once the files are local, and
// links planted in the restore folder, never written through.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/backup_fixture.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

struct TreeFile {
  std::string path;
  int64_t size;
  Content content;
};

const std::vector<TreeFile> kTree = {
    {"a.txt", 10000, Content::kText},      {"b.bin", 70000, Content::kRandom},
    {"block.dat", 2048, Content::kRandom}, {"odd.dat", 2049, Content::kRandom},
    {"sub/c.txt", 3000, Content::kText},   {"sub/deeper/d.txt", 40000, Content::kText},
};

class RestoreEngineTest : public BackupTest {
 protected:
  void SetUp() override {
    BackupTest::SetUp();
    if (HasFatalFailure()) return;
    Administer({"account", "add", "bob", "builder", "--quota", "1073741824", "--encrypt"});
    uint32_t seed = 1;
    for (const TreeFile& file : kTree) {
      WriteContent(tree_ + "/" + file.path, file.size, file.content, seed++);
    }
  }

  // Backs the tree up for `user` into \Backup\Data.
  void BackUp(const std::string& user, const std::string& password) {
    SendJob job;
    job.local_path = tree_;
    RunResult result = RunJob(BackupJobFile(job.Lines(), user, password));
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
  }

  // Restores \Backup\Data into `restore_` (as restore_/Data) with `options` lines.
  RunResult Restore(const std::string& user, const std::string& password,
                    const std::string& options, const std::string& verb = "CopyFromNVX") {
    return RunJob(JobFile(user, password,
                          "LocalPath " + restore_ +
                              "\r\nNVXPath \\Backup\\Data\r\n"
                              "IncludeSubFolders Y\r\nVerify Y\r\nUseNvxDate Y\r\n" +
                              options + verb + "\r\n"));
  }

  // Every tree file restored equal, and nothing else (no "~" file, no archive).
  void ExpectRestoredTree() {
    std::vector<std::string> expected;
    for (const TreeFile& file : kTree) {
      expected.push_back(file.path);
      EXPECT_EQ(FileMd5(restore_ + "/Data/" + file.path), FileMd5(tree_ + "/" + file.path))
          << file.path;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesBelow(restore_ + "/Data"), expected);
  }

  static size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++count;
    }
    return count;
  }

  // Plants the first `size` bytes of b.bin as an earlier attempt's work file.
  void PlantWorkFile(size_t size) {
    std::filesystem::create_directories(restore_ + "/Data");
    WriteFileText(restore_ + "/Data/b.bin~", ReadFileText(tree_ + "/b.bin").substr(0, size));
  }

  std::string tree_ = temp_.File("Data");
  std::string restore_ = temp_.File("restore");
};

TEST_F(RestoreEngineTest, ResumesFromTheWorkFileThenFindsTheCopiesCurrent) {
  // An old date, which no file written during the test can share by chance.
  std::filesystem::last_write_time(tree_ + "/b.bin", std::filesystem::file_time_type::clock::now() -
                                                         std::chrono::hours(24 * 400));
  BackUp("alice", "wonderland");
  // An earlier attempt got the first 8192 bytes of b.bin.
  PlantWorkFile(8192);
  RunResult first = Restore("alice", "wonderland", "");
  EXPECT_EQ(first.exit_code, 0) << first.out << first.err;
  ExpectRestoredTree();
  std::string log = ActivityLog();
  EXPECT_EQ(Count(log, "File Restart Successful"), 1u) << log;
  EXPECT_EQ(Count(log, "File Download Successful"), kTree.size() - 1);

  // Dates are the server's now: a second run asks nothing about the files.
  RunResult second = Restore("alice", "wonderland", "");
  EXPECT_EQ(second.exit_code, 0) << second.out << second.err;
  log = ActivityLog();
  EXPECT_EQ(Count(log, "DownloadFile verify Date match"), kTree.size());
  // Compared by digest, the service answers that every copy is current.
  RunResult third = Restore("alice", "wonderland", "ForceMd5 Y\r\n");
  EXPECT_EQ(third.exit_code, 0) << third.out << third.err;
  log = ActivityLog();
  EXPECT_EQ(Count(log, "  DownloadFile verify match"), kTree.size()) << log;
  ExpectRestoredTree();

  // A whole work file (a run cut after its last byte) found current takes the server's
  // date with its name, so that a later run matches it by date.
  std::filesystem::remove(restore_ + "/Data/b.bin");
  PlantWorkFile(70000);
  RunResult fourth = Restore("alice", "wonderland", "");
  EXPECT_EQ(fourth.exit_code, 0) << fourth.out << fourth.err;
  ExpectRestoredTree();
  const auto seconds_of = [](const std::string& path) {
    return std::chrono::floor<std::chrono::seconds>(std::filesystem::last_write_time(path))
        .time_since_epoch()
        .count();
  };
  EXPECT_EQ(seconds_of(restore_ + "/Data/b.bin"), seconds_of(tree_ + "/b.bin"));
}

TEST_F(RestoreEngineTest, EncipheredAndPackedBodiesArriveWhole) {
  BackUp("bob", "builder");
  RunResult plain = Restore("bob", "builder", "");
  EXPECT_EQ(plain.exit_code, 0) << plain.out << plain.err;
  ExpectRestoredTree();

  std::filesystem::remove_all(restore_);
  RunResult packed = Restore("bob", "builder", "TransferCompress Y\r\n");
  EXPECT_EQ(packed.exit_code, 0) << packed.out << packed.err;
  ExpectRestoredTree();

  // A resume of an enciphered body starts on a 2048-byte block.
  std::filesystem::remove_all(restore_);
  PlantWorkFile(4096);
  RunResult resumed = Restore("bob", "builder", "");
  EXPECT_EQ(resumed.exit_code, 0) << resumed.out << resumed.err;
  ExpectRestoredTree();
  EXPECT_EQ(Count(ActivityLog(), "File Restart Successful"), 1u);
}

TEST_F(RestoreEngineTest, MoveDeletesTheServerCopiesOnceLocal) {
  BackUp("alice", "wonderland");
  ASSERT_EQ(Documents("\\Backup\\Data").size(), 4u);
  RunResult moved = Restore("alice", "wonderland", "", "MoveFromNVX");
  EXPECT_EQ(moved.exit_code, 0) << moved.out << moved.err;
  ExpectRestoredTree();
  EXPECT_TRUE(Documents("\\Backup\\Data").empty());
  EXPECT_TRUE(Documents("\\Backup\\Data\\sub").empty());
  EXPECT_TRUE(Documents("\\Backup\\Data\\sub\\deeper").empty());
}

TEST_F(RestoreEngineTest, PlantedLinksAreNeverWrittenThrough) {
  BackUp("alice", "wonderland");
  const std::string secret = temp_.File("secret"), data = restore_ + "/Data/";
  WriteFileText(secret, "secret");
  std::filesystem::create_directories(data);
  std::filesystem::create_symlink(secret, data + "a.txt~");  // at the work file's name
  std::filesystem::create_symlink(secret, data + "b.bin");   // at a target's name: replaced
  RunResult run = Restore("alice", "wonderland", "TransferCompress Y\r\n");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_EQ(ReadFileText(secret), "secret");
  EXPECT_TRUE(std::filesystem::is_symlink(data + "a.txt~"));
  EXPECT_EQ(FileMd5(data + "b.bin"), FileMd5(tree_ + "/b.bin"));
  EXPECT_NE(Report().find("a.txt~ is not a regular file"), std::string::npos) << Report();
}

}  // namespace
}  // namespace nvx::test
