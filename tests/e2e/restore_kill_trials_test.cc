// Restores cut short by force: NVXbackup killed with SIGKILL at random moments of a
// restore of a tree with a 64 MiB file, then run again to its end. Every restored file
// then equals its source, bytes and date, and no work file is left.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/restore_fixture.h"
#include "tests/support/os_helpers.h"
#include "tests/support/temp_dir.h"

namespace nvx::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::vector<TreeFile> kTree = {
    {"big.bin", 64 * 1024 * 1024 + 1001, Content::kRandom},
    {"letter.txt", 5000, Content::kText},
    {"Photos/cat.jpg", 4097, Content::kRandom},
    {"Photos/Older/notes.txt", 3000, Content::kText},
};

class RestoreKillTrialTest : public RestoreTest {
 protected:
  // Ten restores with `transfers` files in flight, each killed at a random moment, then
  // one to the end.
  void KillAtRandomMoments(int transfers);
};

TEST_F(RestoreKillTrialTest, RestoreKilledAtRandomMomentsEndsWhole) {
  KillAtRandomMoments(1);
}

// Several files in flight on their own connections when the kill comes.
TEST_F(RestoreKillTrialTest, RestoreWithFourTransfersKilledAtRandomMomentsEndsWhole) {
  KillAtRandomMoments(4);
}

// The same over TLS, a TLS session on each connection when the kill comes.
TEST_F(RestoreKillTrialTest, RestoreWithFourTransfersOverTlsKilledAtRandomMomentsEndsWhole) {
  ServeTls();
  KillAtRandomMoments(4);
}

void RestoreKillTrialTest::KillAtRandomMoments(int transfers) {
  const std::string tree = temp_.File("Data");
  WriteTree(tree, kTree);
  BackUp(tree);
  const std::vector<std::string> paths = PathsOf(kTree, true);
  unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  RecordProperty("seed", static_cast<int>(seed));
  SCOPED_TRACE("seed " + std::to_string(seed));

  // How long an uncut restore takes sets the range of the kills.
  RestoreJob timing_job{temp_.File("Timing/Data")};
  timing_job.transfers = transfers;
  auto start = Clock::now();
  RunResult timing = RunJobs(timing_job.Lines());
  ASSERT_EQ(timing.exit_code, 0) << timing.out << timing.err;
  auto whole = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
  std::uniform_int_distribution<int64_t> moment(whole / 20, whole * 9 / 10);

  const std::string copy = temp_.File("Restore/Data");
  RestoreJob job{copy};
  job.use_server_date = true;
  job.transfers = transfers;
  const std::string job_file = JobFile("alice", "wonderland", job.Lines());
  int work_files_left = 0;
  int cuts = 0;
  for (int trial = 0; trial < 10; ++trial) {
    std::unique_ptr<ChildProcess> run = StartJob(job_file);
    std::this_thread::sleep_for(milliseconds(moment(random)));
    bool cut = run->Running();
    ::kill(run->pid(), SIGKILL);
    ASSERT_TRUE(run->Wait(std::chrono::seconds(10)).has_value());
    if (cut) ++cuts;
    if (!LeftOvers(copy).empty()) ++work_files_left;
    // A run that ended before its kill gets new work: the large file again.
    if (!cut) std::filesystem::remove(copy + "/big.bin");
  }
  // On a loaded machine a run's start can take most of it, and the random moments can all
  // miss the large file's transfer: one more kill comes once its work file shows.
  {
    std::filesystem::remove(copy + "/big.bin");
    std::unique_ptr<ChildProcess> run = StartJob(job_file);
    const auto give_up = Clock::now() + std::chrono::seconds(20);
    while (run->Running() && LeftOvers(copy).empty() && Clock::now() < give_up) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    if (run->Running()) ++cuts;
    ::kill(run->pid(), SIGKILL);
    ASSERT_TRUE(run->Wait(std::chrono::seconds(10)).has_value());
    if (!LeftOvers(copy).empty()) ++work_files_left;
  }
  EXPECT_GT(work_files_left, 0) << "no kill left a work file to resume (uncut run: " << whole
                                << " ms)";
  std::printf("restore kill trials: seed %u, uncut run %lld ms, %d cut, %d left a work file\n",
              seed, static_cast<long long>(whole), cuts, work_files_left);

  RunResult last = RunJobs(job.Lines());
  ASSERT_EQ(last.exit_code, 0) << last.out << last.err;
  EXPECT_EQ(TreeDifferences(tree, copy, paths, true), std::vector<std::string>{});
  EXPECT_EQ(LeftOvers(copy), std::vector<std::string>{});
}

}  // namespace
}  // namespace nvx::test
