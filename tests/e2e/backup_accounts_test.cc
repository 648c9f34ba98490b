// Backups under account settings and failures: transfer encryption on for the account,
// the quota (a file that does not fit, an account already full), and a send job whose
// command fails, which the run must report as an error.
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/backup_fixture.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

class AccountBackupTest : public BackupTest {
 protected:
  std::string tree_ = temp_.File("Data");
};

TEST_F(AccountBackupTest, EncryptedTransfersStoreTheSourceBytes) {
  Administer({"account", "add", "bob", "builder", "--encrypt"});
  // Sizes around the cipher's 8-byte blocks and the 2048-byte blocks of a transfer;
  // ".jpg" files travel as they are, the text file as a ZIP work file.
  struct Case {
    std::string name;
    int64_t size;
    Content content;
  } cases[] = {
      {"one.jpg", 1, Content::kRandom},           {"seven.jpg", 7, Content::kRandom},
      {"eight.jpg", 8, Content::kRandom},         {"nine.jpg", 9, Content::kRandom},
      {"block.jpg", 2048, Content::kRandom},      {"block-one.jpg", 2049, Content::kRandom},
      {"two-blocks.jpg", 4097, Content::kRandom}, {"ledger.txt", 70001, Content::kText},
  };
  uint32_t seed = 3;
  for (const Case& c : cases) WriteContent(tree_ + "/" + c.name, c.size, c.content, seed++);
  SendJob job{tree_, "\\Backup", true, true, false, true, {}, {}};
  std::string job_file = BackupJobFile(job.Lines(), "bob", "builder");
  RunResult first = RunJob(job_file);
  ASSERT_EQ(first.exit_code, 0) << first.out << first.err;
  auto documents = Documents("\\Backup\\Data", "bob");
  for (const Case& c : cases) {
    EXPECT_EQ(documents[c.name].size, c.size) << c.name;
    EXPECT_EQ(StoredMd5("\\Backup\\Data\\" + c.name, "bob"), FileMd5(tree_ + "/" + c.name))
        << c.name;
  }
  // The enciphered file list of the second run is read: nothing travels again.
  size_t mark = LogMark();
  RunResult second = RunJob(job_file);
  ASSERT_EQ(second.exit_code, 0) << second.out << second.err;
  EXPECT_EQ(RequestsSince(mark, "PUT"), std::vector<std::string>{});
}

TEST_F(AccountBackupTest, QuotaRefusalsEndTheRunWithExitEight) {
  struct Case {
    std::string what;
    std::string account;
    std::function<void()> prepare;
    std::string sentence;  // in the results report (final or pending)
  } cases[] = {
      {"a file larger than the free space", "carol",
       [this] {
         Administer({"account", "add", "carol", "small", "--quota", "100000"});
       },
       "File transfer(s) to Norrvault failed because your account doesn't have enough space."},
      {"an account already over its quota", "dave",
       [this] {
         Administer({"account", "add", "dave", "small", "--quota", "1000000"});
         WriteContent(tree_ + "/first.jpg", 600000, Content::kRandom, 8);
         SendJob job{tree_, "\\Backup", true, false, false, true, {}, {}};
         RunResult filled = RunJob(BackupJobFile(job.Lines(), "dave", "small"));
         ASSERT_EQ(filled.exit_code, 0) << filled.out << filled.err;
         Administer({"account", "set", "dave", "--quota", "100000"});
       },
       "No Files transferred to Norrvault because your account doesn't have enough space."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(tree_);
    std::filesystem::remove(logs_ + "/Backup Results.tmp");
    c.prepare();
    WriteContent(tree_ + "/big.jpg", 200000, Content::kRandom, 9);
    SendJob job{tree_, "\\Backup", true, false, false, true, {}, {}};
    // A later job never runs once the quota ended the run.
    std::string jobs = job.Lines() + "VerifyPath \\Later\r\nVerifyNVXFolders\r\n";
    RunResult run = RunJob(BackupJobFile(jobs, c.account, "small"));
    EXPECT_EQ(run.exit_code, 8) << run.out << run.err;
    std::string results = Report();
    std::string pending = logs_ + "/Backup Results.tmp";
    if (PathExists(pending)) results += ReadFileText(pending);
    EXPECT_NE(results.find(c.sentence), std::string::npos) << results;
    EXPECT_EQ(Documents("\\Backup\\Data", c.account).count("big.jpg"), 0u);
    EXPECT_EQ(FolderId(c.account, "Later"), "");
  }
}

// Files that together pass the quota: four in flight refuse and send what one does.
TEST_F(AccountBackupTest, NearTheQuotaFourTransfersDoWhatOneDoes) {
  WriteContent(tree_ + "/big.jpg", 200000, Content::kRandom, 9);
  for (int i = 1; i <= 3; ++i) {
    WriteContent(tree_ + "/small-" + std::to_string(i) + ".jpg", 60000, Content::kRandom, i);
  }
  std::vector<std::string> reports;
  std::vector<std::set<std::string>> stored;
  for (const int transfers : {1, 4}) {
    const std::string account = "erin" + std::to_string(transfers);
    Administer({"account", "add", account, "small", "--quota", "300000"});
    std::filesystem::remove(logs_ + "/Backup Results.tmp");
    SendJob job{tree_, "\\Backup", true, false, false, true, {}, {}};
    job.transfers = transfers;
    RunResult run = RunJob(BackupJobFile(job.Lines(), account, "small"));
    EXPECT_EQ(run.exit_code, 8) << run.out << run.err;
    std::string report = Report();
    if (PathExists(logs_ + "/Backup Results.tmp"))
      report += ReadFileText(logs_ + "/Backup Results.tmp");
    for (char& c : report) c = (c >= '0' && c <= '9') ? '#' : c;
    reports.push_back(report);
    stored.emplace_back();
    for (const auto& [name, document] : Documents("\\Backup\\Data", account)) {
      if (document.complete) stored.back().insert(name);
    }
  }
  EXPECT_EQ(reports[1], reports[0]);
  EXPECT_EQ(stored[1], stored[0]);
}

TEST_F(AccountBackupTest, AFileWhosePackingOutlastsTheServiceIdleTimeTravelsOnTheFirstTry) {
  // One that ends connections idle for 200 ms. Packing 48 MiB takes several times longer:
  // a packing that ends just as the service ends the connection would test a race instead.
  server_.reset();
  server_ = std::make_unique<ServerProcess>(data_, server_log_,
                                            std::vector<std::string>{"--idle-timeout", "200"});
  WriteContent(tree_ + "/ledger.dat", 48 << 20, Content::kRandom, 4);
  RunResult run =
      RunJob(BackupJobFile(SendJob{tree_, "\\Backup", true, true, false, true, {}, {}}.Lines()));
  ASSERT_EQ(run.exit_code, 0) << run.out << run.err << ActivityLog();
  for (const std::string& log : ListFolder(logs_)) {
    EXPECT_EQ(ReadFileText(logs_ + "/" + log).find("RETRY"), std::string::npos) << log;
  }
}

TEST_F(AccountBackupTest, AFailedSendJobIsReportedAsErrorsAndLaterJobsRun) {
  // The service refuses a folder name that holds a backslash, so the send job's command
  // fails without a transfer error code. The refused folder's files must not land in its
  // parent, where one would take the place of the parent's own file of that name.
  WriteContent(tree_ + "/fine.txt", 100, Content::kText, 1);
  WriteContent(tree_ + "/bad\\name/fine.txt", 100, Content::kRandom, 2);
  WriteContent(tree_ + "/bad\\name/inside.txt", 100, Content::kText, 3);
  SendJob job{tree_, "\\Backup", true, false, false, true, {}, {}};
  std::string jobs = job.Lines() + "VerifyPath \\Later\r\nVerifyNVXFolders\r\n";
  RunResult run = RunJob(BackupJobFile(jobs));
  EXPECT_EQ(run.exit_code, 10) << run.out << run.err;
  std::string report = Report();
  EXPECT_EQ(report.rfind("Online Backup Results for alice: Errors Detected\r\n", 0), 0u) << report;
  EXPECT_NE(FolderId("alice", "Later"), "") << "the job after the failed one did not run";
  // Nothing of the refused folder is stored anywhere: not in its parent, not at the top.
  for (std::string folder : {"", "\\Backup", "\\Backup\\Data"}) {
    for (const auto& [name, document] : Documents(folder)) {
      EXPECT_EQ(folder + "\\" + name, "\\Backup\\Data\\fine.txt")
          << "a file of the refused folder stored in " << folder;
    }
  }
  // Subfolders go first and a refused one ends the folder's scan, so the parent's own
  // file waits for a run in which the folder is accepted.
  EXPECT_EQ(StoredMd5("\\Backup\\Data\\fine.txt"), "");
}

}  // namespace
}  // namespace nvx::test
