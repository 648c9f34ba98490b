// The pause after each file: with the flag on, the worker stops after every file until
// SyncFileAccessNext, and the snapshot's waiting field is 1 exactly while it stops.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "api/transfer_session.h"

namespace nvx {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::atomic<int> g_files_finished{0};
std::atomic<bool> g_waiting_seen_after_pause{false};

// Plays an upload of three files: each one starts, then the engine pauses.
bool ThreeFileUpload(TransferSession& session) {
  SharedBlock& block = session.block();
  for (int file = 1; file <= 3; ++file) {
    {
      nvx::platform::MutexLock lock(block.state_lock);
      block.reported.live_progress.sequence = file;
      block.reported.live_progress.phase = kPhaseUploading;
      block.reported.live_file_name = "file" + std::to_string(file) + ".txt";
    }
    g_files_finished = file;
    if (!session.PauseAfterFile()) return false;
    nvx::platform::MutexLock lock(block.state_lock);
    if (block.reported.live_progress.waiting != 0) g_waiting_seen_after_pause = true;
  }
  return true;
}

// Polls the snapshot until `predicate` holds; false after a generous bound.
template <typename Predicate>
bool PollSnapshot(CNvxapi& api, Predicate predicate) {
  auto deadline = steady_clock::now() + std::chrono::seconds(20);
  while (steady_clock::now() < deadline) {
    if (predicate(*api.GetTransferProgress())) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return false;
}

TEST(PauseHandshake, StopsAfterEachFileUntilReleased) {
  g_files_finished = 0;
  g_waiting_seen_after_pause = false;
  CNvxapi api;
  FacadeAccess::Block(api)->control.commands.rows[kCmdUpload].routine = &ThreeFileUpload;
  api.SetSyncFileAccess(true);
  api.UploadFile();
  for (int file = 1; file <= 3; ++file) {
    ASSERT_TRUE(PollSnapshot(api, [](const TransferProgress& p) { return p.waiting == 1; }));
    TransferProgress* snapshot = api.GetTransferProgress();
    EXPECT_EQ(snapshot->sequence, file);
    EXPECT_STREQ(snapshot->file_name, ("file" + std::to_string(file) + ".txt").c_str());
    // While it waits, the worker goes no further.
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(g_files_finished.load(), file);
    EXPECT_EQ(api.GetStatus(), kStatusBusy);
    EXPECT_EQ(api.GetTransferProgress()->waiting, 1);
    api.SyncFileAccessNext();
    if (file < 3) {
      ASSERT_TRUE(
          PollSnapshot(api, [file](const TransferProgress& p) { return p.sequence == file + 1; }));
    }
  }
  auto deadline = steady_clock::now() + std::chrono::seconds(20);
  while (api.GetStatus() == kStatusBusy && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  EXPECT_EQ(api.GetTransferProgress()->waiting, 0);
  EXPECT_FALSE(g_waiting_seen_after_pause.load());
}

// A watcher that only waits for changes (never polls) sees every pause and the end.
TEST(PauseHandshake, AWaitWakesAtEachPauseAndAtTheEnd) {
  g_files_finished = 0;
  CNvxapi api;
  FacadeAccess::Block(api)->control.commands.rows[kCmdUpload].routine = &ThreeFileUpload;
  api.SetSyncFileAccess(true);
  EXPECT_FALSE(api.WaitTransferChange(0));
  api.UploadFile();
  for (int file = 1; file <= 3; ++file) {
    ASSERT_TRUE(api.WaitTransferChange(20000)) << file;
    TransferProgress* snapshot = api.GetTransferProgress();
    EXPECT_EQ(snapshot->waiting, 1);
    EXPECT_EQ(snapshot->sequence, file);
    api.SyncFileAccessNext();
  }
  ASSERT_TRUE(api.WaitTransferChange(20000));
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  EXPECT_FALSE(api.WaitTransferChange(0));
}

TEST(PauseHandshake, WithTheFlagOffTheWorkerNeverWaits) {
  g_files_finished = 0;
  CNvxapi api;
  FacadeAccess::Block(api)->control.commands.rows[kCmdUpload].routine = &ThreeFileUpload;
  api.SetSyncFileAccess(false);
  api.UploadFile();
  auto deadline = steady_clock::now() + std::chrono::seconds(20);
  while (api.GetStatus() == kStatusBusy && steady_clock::now() < deadline) {
    EXPECT_EQ(api.GetTransferProgress()->waiting, 0);
  }
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  EXPECT_EQ(g_files_finished.load(), 3);
}

TEST(PauseHandshake, SnapshotIsACopyThatDoesNotChangeBetweenCalls) {
  CNvxapi api;
  SharedBlock* block = FacadeAccess::Block(api);
  {
    nvx::platform::MutexLock lock(block->state_lock);
    block->reported.live_progress.sequence = 7;
    block->reported.live_file_name = "first.doc";
  }
  TransferProgress* snapshot = api.GetTransferProgress();
  {
    nvx::platform::MutexLock lock(block->state_lock);
    block->reported.live_progress.sequence = 8;
    block->reported.live_file_name = "second.doc";
  }
  EXPECT_EQ(snapshot->sequence, 7);
  EXPECT_STREQ(snapshot->file_name, "first.doc");
  snapshot = api.GetTransferProgress();
  EXPECT_EQ(snapshot->sequence, 8);
  EXPECT_STREQ(snapshot->file_name, "second.doc");
}

}  // namespace
}  // namespace nvx
