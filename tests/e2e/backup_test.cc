// NVXbackup sends real folder trees to a real nvxserver: which files travel and where
// they land, what a second run sends (nothing), what a changed or touched file costs,
// the results report's statistics and notes, and that no work file is left behind.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/backup_fixture.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

// One local file of the tree under "Data", and whether a backup sends it.
struct TreeFile {
  std::string path;  // relative to the tree, with "/"
  int64_t size;
  Content content;
  bool sent;
};

const std::vector<TreeFile> kTree = {
    {"top.txt", 20000, Content::kText, true},
    {"four-k.dat", 4096, Content::kRandom, true},      // two whole blocks
    {"four-k-one.dat", 4097, Content::kRandom, true},  // two blocks and one byte
    {"empty.txt", 0, Content::kText, false},           // zero-length: ignored and noted
    {"build.log", 500, Content::kText, false},         // excluded ".log"
    {"notes.TMP", 500, Content::kText, false},         // excluded ".tmp", any letter case
    {"old.bak", 300, Content::kText, true},            // the entry "bak" has no dot: no match
    {"bak", 300, Content::kText, true},
    {"photo.JPG", 30000, Content::kRandom, true},                   // of a type never compressed
    {"archive.tar", 50000, Content::kText, true},                   // compressed into a work file
    {"archive.tar.zip", 7000, Content::kRandom, true},              // the user's own file beside it
    {"Cache/cache.bin", 1000, Content::kRandom, false},             // skip folder of the top folder
    {"Nested/Deeper/Cache/inner.txt", 2500, Content::kText, true},  // same name, deeper
    {"Nested/Deeper/deep.txt", 9000, Content::kText, true},
    {"Nested/mid.bin", 2049, Content::kRandom, true},
};
constexpr int kSentCount = 11;

// "\Backup\Data" followed by the file's folders, with backslashes.
std::string ServerFolderOf(const std::string& path) {
  std::string folder = "\\Backup\\Data";
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return folder;
  std::string rest = path.substr(0, slash);
  for (char& c : rest) c = c == '/' ? '\\' : c;
  return folder + "\\" + rest;
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string UploadStatistics(const std::string& local, int uploaded, int matched, int updated,
                             int zero_length) {
  std::string text = "Local Folder: " + local + "\r\nNorrvault Folder: \\Backup\r\nResults: \r\n" +
                     "Uploaded " + std::to_string(uploaded) + " Files \r\nMatched " +
                     std::to_string(matched) + " Files \r\nUpdated " + std::to_string(updated) +
                     " Files \r\n";
  if (zero_length > 0) text += "Ignored " + std::to_string(zero_length) + " Zero Length Files \r\n";
  return text + "Errors 0  \r\n";
}

class TreeBackupTest : public BackupTest {
 protected:
  std::string tree_ = temp_.File("Data");
  SendJob job_{tree_, "\\Backup", true, true, false, true, {"Cache"}, {".log", ".tmp", "bak"}};
};

TEST_F(TreeBackupTest, SendsTheTreeOnceThenMatchesChangesAndTouches) {
  uint32_t seed = 1;
  for (const TreeFile& file : kTree) {
    WriteContent(tree_ + "/" + file.path, file.size, file.content, seed++);
  }
  const std::vector<std::string> local_files = FilesBelow(tree_);
  const std::string own_zip_md5 = FileMd5(tree_ + "/archive.tar.zip");
  const std::string job_file = BackupJobFile(job_.Lines());

  // First run: every file that is neither skipped, excluded nor empty travels once.
  RunResult first = RunJob(job_file);
  ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
  for (const TreeFile& file : kTree) {
    auto documents = Documents(ServerFolderOf(file.path));
    auto found = documents.find(NameOf(file.path));
    ASSERT_EQ(found != documents.end(), file.sent) << file.path;
    if (!file.sent) continue;
    EXPECT_EQ(found->second.size, file.size) << file.path;
    EXPECT_TRUE(found->second.complete) << file.path;
    EXPECT_EQ(StoredMd5(ServerFolderOf(file.path) + "\\" + NameOf(file.path)),
              FileMd5(tree_ + "/" + file.path))
        << file.path;
  }
  // The skip folder is skipped only at the top: no server folder for it there.
  for (const std::string& line : Folders("alice")) {
    EXPECT_NE(line.rfind("3\tCache\t", 0), 0u) << "skipped folder made on the server: " << line;
  }
  // No work file outlives its upload, and the user's own ".zip" file is untouched.
  EXPECT_EQ(FilesBelow(tree_), local_files);
  EXPECT_EQ(FileMd5(tree_ + "/archive.tar.zip"), own_zip_md5);
  std::string report = Report();
  EXPECT_EQ(report.rfind("Online Backup Results for alice: No Errors\r\n", 0), 0u) << report;
  EXPECT_NE(report.find(UploadStatistics(tree_, kSentCount, 0, 0, 1)), std::string::npos) << report;
  EXPECT_NE(report.find("\r\nempty.txt\r\n   in folder: " + tree_ +
                        "\r\n   was ignored because it was zero-length\r\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("DETAILS ON ERRORS AND WARNINGS:"), std::string::npos) << report;
  EXPECT_NE(report.find("Zero-length files contain no data and are ignored."), std::string::npos)
      << report;

  // Second run: nothing travels, every file counts as matched.
  size_t mark = LogMark();
  RunResult second = RunJob(job_file);
  ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
  EXPECT_EQ(RequestsSince(mark, "PUT"), std::vector<std::string>{});
  EXPECT_NE(Report().find(UploadStatistics(tree_, 0, kSentCount, 0, 1)), std::string::npos)
      << Report();

  // Third run: a file changed in place (same size, other bytes, other date) is patched
  // with a delta of its blocks after a fetch of its signature; a file whose date alone
  // changed has the same digest and counts as matched.
  const std::string changed = "Nested/Deeper/deep.txt";
  const std::string touched = "four-k.dat";
  auto before = Documents(ServerFolderOf(changed));
  WriteContent(tree_ + "/" + changed, 9000, Content::kRandom, 77);
  SetFileTime(tree_ + "/" + changed, 1700000000);
  SetFileTime(tree_ + "/" + touched, 1600000000);
  mark = LogMark();
  RunResult third = RunJob(job_file);
  ASSERT_EQ(third.exit_code, 0) << third.out << third.err;
  std::vector<std::string> puts = RequestsSince(mark, "PUT");
  ASSERT_EQ(puts.size(), 1u);
  EXPECT_NE(puts[0].find("diff.crc"), std::string::npos) << puts[0];
  const std::vector<std::string> gets = RequestsSince(mark, "GET");
  EXPECT_EQ(std::count_if(gets.begin(), gets.end(),
                          [](const std::string& line) {
                            return line.find("?DownLoadX ") != std::string::npos;
                          }),
            1);
  EXPECT_NE(Report().find(UploadStatistics(tree_, 0, kSentCount - 1, 1, 1)), std::string::npos)
      << Report();
  auto after = Documents(ServerFolderOf(changed));
  EXPECT_NE(after["deep.txt"].version, before["deep.txt"].version);
  EXPECT_EQ(after["deep.txt"].size, 9000);
  EXPECT_EQ(StoredMd5(ServerFolderOf(changed) + "\\deep.txt"), FileMd5(tree_ + "/" + changed));
  EXPECT_EQ(StoredMd5("\\Backup\\Data\\four-k.dat"), FileMd5(tree_ + "/" + touched));
}

// The report with one file sent at a time and with four, where the folder and the times
// are made alike.
std::string ComparableReport(std::string report, const std::string& server_folder) {
  for (size_t at; (at = report.find(server_folder)) != std::string::npos;) {
    report.replace(at, server_folder.size(), "\\Folder");
  }
  std::string masked;
  for (char c : report) masked += (c >= '0' && c <= '9') ? '#' : c;
  return masked;
}

TEST_F(TreeBackupTest, FourTransfersReportWhatOneReports) {
  uint32_t seed = 1;
  for (const TreeFile& file : kTree) {
    WriteContent(tree_ + "/" + file.path, file.size, file.content, seed++);
  }
  // Many small files, empty ones and one whose name cannot travel among them.
  for (int i = 0; i < 40; ++i) {
    WriteContent(tree_ + "/Many/file-" + std::to_string(i) + ".txt", i % 7 == 0 ? 0 : 100 + i,
                 Content::kText, seed++);
  }
  WriteContent(tree_ + "/Many/bad\x01name.txt", 10, Content::kText, seed++);
  SendJob one = job_;
  one.server_path = "\\One";
  SendJob four = job_;
  four.server_path = "\\Four";
  four.transfers = 4;
  const std::string folders = "VerifyPath \\One\r\nVerifyPath \\Four\r\nVerifyNVXFolders\r\n";
  // A first backup, a run with nothing to send, a run after one file changed.
  for (int round = 0; round < 3; ++round) {
    if (round == 2) {
      // Another date too: a file rewritten within the second of its last backup matches by
      // date.
      WriteContent(tree_ + "/Nested/Deeper/deep.txt", 9000, Content::kRandom, 77);
      SetFileTime(tree_ + "/Nested/Deeper/deep.txt", 1700000000);
    }
    RunResult first = RunJob(JobFile("alice", "wonderland", folders + one.Lines()));
    ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
    const std::string one_report = Report();
    const size_t mark = LogMark();
    RunResult second = RunJob(JobFile("alice", "wonderland", folders + four.Lines()));
    ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
    // The files of the first run, and the folder walk's file lists of the run with nothing
    // to send, went on several connections (a client port each).
    std::set<std::string> remotes;
    for (const std::string& line : RequestsSince(mark, round == 0 ? "PUT" : "GET")) {
      if (round == 0 || line.find("?FolderFileList") != std::string::npos) {
        remotes.insert(line.substr(0, line.find(' ')));
      }
    }
    if (round < 2) {
      EXPECT_GT(remotes.size(), 1u) << round;
    }
    // A name that the folder's whole file list lacks goes without the is-it-there test;
    // the changed file, listed, is asked about (its delta needs the answer).
    EXPECT_EQ(RequestsSince(mark, "HEAD").size(), round == 2 ? 1u : 0u) << round;
    EXPECT_EQ(ComparableReport(Report(), "\\Four"), ComparableReport(one_report, "\\One")) << round;
    EXPECT_NE(one_report.find("Zero-length"), std::string::npos) << one_report;
  }
  for (const auto& [name, document] : Documents("\\One\\Data\\Many")) {
    EXPECT_EQ(StoredMd5("\\Four\\Data\\Many\\" + name),
              StoredMd5("\\One\\Data\\Many\\" + document.name))
        << name;
  }
  EXPECT_EQ(Documents("\\Four\\Data\\Many").size(), Documents("\\One\\Data\\Many").size());

  // A service that takes one connection per address refuses the second (503): the run
  // goes on with one connection and says so in the activity log.
  server_->Stop();
  server_ = std::make_unique<ServerProcess>(
      data_, server_log_, std::vector<std::string>{"--connections-per-address", "1"});
  ASSERT_NE(server_->port(), 0);
  // Another date too: a file rewritten within the second of its last backup matches by date.
  WriteContent(tree_ + "/Many/file-1.txt", 3000, Content::kRandom, 99);
  SetFileTime(tree_ + "/Many/file-1.txt", 1700000000);
  RunResult refused = RunJob(JobFile("alice", "wonderland", folders + four.Lines()));
  ASSERT_EQ(refused.exit_code, 0) << refused.out << refused.err << Report() << ActivityLog();
  EXPECT_EQ(StoredMd5("\\Four\\Data\\Many\\file-1.txt"), FileMd5(tree_ + "/Many/file-1.txt"));
  const std::string activity = ActivityLog();
  EXPECT_NE(activity.find("refused (HTTP/1.1 503"), std::string::npos) << activity;
}

TEST_F(TreeBackupTest, MoveDeletesExactlyTheFilesTheServerHolds) {
  // One file is on the server before the move; the move sends the others it may send.
  WriteContent(tree_ + "/held.txt", 3000, Content::kText, 1);
  RunResult seed_run = RunJob(BackupJobFile(job_.Lines()));
  ASSERT_EQ(seed_run.exit_code, 0) << seed_run.out << seed_run.err;
  struct MovedFile {
    std::string path;
    int64_t size;
    bool leaves;  // the server then holds it, so the local copy goes
  } files[] = {
      {"held.txt", 3000, true}, {"new.bin", 5000, true},  {"sub/new2.txt", 4097, true},
      {"empty.dat", 0, false},  {"skip.log", 100, false}, {"Cache/kept.txt", 800, false},
  };
  std::map<std::string, std::string> md5s;
  uint32_t seed = 10;
  for (const MovedFile& file : files) {
    if (file.path != "held.txt") {
      WriteContent(tree_ + "/" + file.path, file.size, Content::kText, seed++);
    }
    md5s[file.path] = FileMd5(tree_ + "/" + file.path);
  }
  SendJob move = job_;
  move.move = true;
  size_t mark = LogMark();
  RunResult moved = RunJob(BackupJobFile(move.Lines()));
  ASSERT_EQ(moved.exit_code, 0) << moved.out << moved.err;
  EXPECT_EQ(RequestsSince(mark, "PUT").size(), 2u) << "the file already held is not sent";
  std::vector<std::string> remaining;
  for (const MovedFile& file : files) {
    if (!file.leaves) {
      remaining.push_back(file.path);
      continue;
    }
    EXPECT_EQ(StoredMd5(ServerFolderOf(file.path) + "\\" + NameOf(file.path)), md5s[file.path])
        << file.path;
  }
  std::sort(remaining.begin(), remaining.end());
  EXPECT_EQ(FilesBelow(tree_), remaining);
}

}  // namespace
}  // namespace nvx::test
