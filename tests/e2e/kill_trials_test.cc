// Backups cut short by force: NVXbackup killed with SIGKILL at random moments, and
// nvxserver killed in the middle of a PUT and started again. After each cut the job runs
// again; in the end every stored document equals its source, a cut upload was picked up
// where it broke off, and no temporary or work file is left in the source folder or the
// service's blobs folder.
#include <signal.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/backup_fixture.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int64_t kBigFile = 64 * 1024 * 1024 + 1001;

class KillTrialTest : public BackupTest {
 protected:
  void SetUp() override {
    BackupTest::SetUp();
    WriteContent(tree_ + "/big.bin", kBigFile, Content::kRandom, 1);
    WriteContent(tree_ + "/letter.txt", 5000, Content::kText, 2);
    WriteContent(tree_ + "/Photos/cat.jpg", 4097, Content::kRandom, 3);
    SendJob job{tree_, "\\Backup", true, false, false, true, {}, {}};
    job_file_ = BackupJobFile(job.Lines());
    unsigned seed = std::random_device{}();
    random_.seed(seed);
    RecordProperty("seed", static_cast<int>(seed));
    std::printf("kill trial seed %u\n", seed);
  }

  // True when a document of the tree is stored incomplete with some bytes: the cut left
  // a partial copy for the next run to resume.
  bool PartialCopyStored() {
    for (const auto& [name, document] : Documents("\\Backup\\Data")) {
      if (!document.complete && document.size > 0) return true;
    }
    return false;
  }

  // Gives a run that ended before its cut new work: another large file.
  void AddWork() {
    ++added_;
    WriteContent(tree_ + "/big-" + std::to_string(added_) + ".bin", kBigFile, Content::kRandom,
                 100 + added_);
  }

  // Runs the job to its end and checks what the service holds and what is left over.
  void FinishAndCheck() {
    RunResult last = RunJob(job_file_);
    const std::string log = ActivityLog();
    ASSERT_EQ(last.exit_code, 0) << last.out << last.err << "activity log's end:\n"
                                 << log.substr(log.size() - std::min<size_t>(log.size(), 4000));
    const size_t stored = ExpectTreeStoredWhole(tree_).size();
    std::vector<std::string> expected = {"Photos/cat.jpg", "big.bin", "letter.txt"};
    for (int i = 1; i <= added_; ++i) expected.push_back("big-" + std::to_string(i) + ".bin");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesBelow(tree_), expected) << "a work file was left in the source folder";
    // Every blob belongs to a stored document; no temporary blob is left.
    EXPECT_EQ(BlobFiles(".tmp"), std::vector<std::string>{});
    EXPECT_EQ(StoredBlobCount(data_), stored + other_documents_) << "blobs that no document names";
  }

  void KillBackupsAtRandomMoments(int transfers);

  std::string tree_ = temp_.File("Data");
  std::string job_file_;
  std::mt19937 random_;
  int added_ = 0;
  size_t other_documents_ = 0;  // stored for other accounts
};

// Ten runs of the job with `transfers` files in flight, each killed at a random moment,
// then one to the end.
void KillTrialTest::KillBackupsAtRandomMoments(int transfers) {
  // How long an uncut run of the same tree takes sets the range of the cuts.
  Administer({"account", "add", "timer", "timer-pw"});
  SendJob timing_job{tree_, "\\Backup", true, false, false, true, {}, {}};
  timing_job.transfers = transfers;
  auto start = Clock::now();
  RunResult timing = RunJob(BackupJobFile(timing_job.Lines(), "timer", "timer-pw"));
  ASSERT_EQ(timing.exit_code, 0) << timing.out << timing.err;
  auto whole = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
  job_file_ = BackupJobFile(timing_job.Lines());  // the job file is one file: alice's again
  other_documents_ = Documents("\\Backup\\Data", "timer").size() +
                     Documents("\\Backup\\Data\\Photos", "timer").size();
  std::uniform_int_distribution<int64_t> moment(whole / 20, whole * 9 / 10);

  int partial_copies = 0;
  for (int trial = 0; trial < 10; ++trial) {
    std::unique_ptr<ChildProcess> job = StartJob(job_file_);
    std::this_thread::sleep_for(milliseconds(moment(random_)));
    bool cut = job->Running();
    ::kill(job->pid(), SIGKILL);
    ASSERT_TRUE(job->Wait(std::chrono::seconds(10)).has_value());
    if (PartialCopyStored()) ++partial_copies;
    if (!cut) AddWork();
  }
  EXPECT_GT(partial_copies, 0) << "no cut left a partial copy to resume (uncut run: " << whole
                               << " ms)";
  FinishAndCheck();
}

TEST_F(KillTrialTest, BackupKilledAtRandomMomentsEndsWhole) {
  KillBackupsAtRandomMoments(1);
}

// Several files in flight on their own connections when the kill comes.
TEST_F(KillTrialTest, BackupWithFourTransfersKilledAtRandomMomentsEndsWhole) {
  KillBackupsAtRandomMoments(4);
}

// The same over TLS: a session killed in the middle of a record leaves nothing corrupt,
// and the next run resumes.
TEST_F(KillTrialTest, BackupOverTlsKilledAtRandomMomentsEndsWhole) {
  ServeTls();
  KillBackupsAtRandomMoments(1);
}

TEST_F(KillTrialTest, ServerKilledMidUploadEndsWhole) {
  int partial_copies = 0;
  for (int trial = 0; trial < 3; ++trial) {
    std::unique_ptr<ChildProcess> job = StartJob(job_file_);
    // The PUT is under way once the service streams its body into a temporary blob.
    auto bound = Clock::now() + std::chrono::seconds(20);
    while (BlobFiles(".tmp").empty() && job->Running() && Clock::now() < bound) {
      std::this_thread::sleep_for(milliseconds(2));
    }
    bool mid_put = !BlobFiles(".tmp").empty();
    std::this_thread::sleep_for(milliseconds(std::uniform_int_distribution<int>(0, 150)(random_)));
    server_->Stop(SIGKILL);
    ASSERT_TRUE(job->Wait(std::chrono::seconds(60)).has_value()) << "NVXbackup hangs";
    server_ = std::make_unique<ServerProcess>(data_, server_log_);
    ASSERT_NE(server_->port(), 0) << ReadFileText(server_log_);
    if (PartialCopyStored()) ++partial_copies;
    if (!mid_put) AddWork();
  }
  FinishAndCheck();
  // A restarted service holds no temporary blob of the cut uploads either.
  server_->Stop();
  server_ = std::make_unique<ServerProcess>(data_, server_log_);
  EXPECT_EQ(BlobFiles(".tmp"), std::vector<std::string>{});
  RecordProperty("partial_copies", partial_copies);
}

}  // namespace
}  // namespace nvx::test
