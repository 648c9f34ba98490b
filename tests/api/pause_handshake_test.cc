// The pause after each file: with the flag on, the worker stops after every file until
// SyncFileAccessNext, and the snapshot's waiting field is 1 exactly while it stops.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "api/transfer_session.h"
#include "platform/adaptive_spin.h"
#include "tests/support/server_process.h"
#include "tests/support/temp_dir.h"

namespace nvx {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::atomic<int> g_files_finished{0};
std::atomic<bool> g_waiting_seen_after_pause{false};
std::atomic<int> g_file_count{3};

// Plays an upload of g_file_count files: each one starts, then the engine pauses.
bool PlayedUpload(TransferSession& session) {
  SharedBlock& block = session.block();
  for (int file = 1; file <= g_file_count; ++file) {
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

// Makes the library's upload command play PlayedUpload, pausing after each file or not.
void PlayUploads(CNvxapi& api, bool pause) {
  FacadeAccess::Block(api)->control.commands.rows[kCmdUpload].routine = &PlayedUpload;
  api.SetSyncFileAccess(pause);
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
  PlayUploads(api, true);
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
  PlayUploads(api, true);
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

// Files that pass in microseconds, with a watcher that lets each pause go at once: the
// two sides then look for each other by spinning before they sleep, and still every
// pause is seen once, in order, and the worker never runs past one.
TEST(PauseHandshake, QuickFilesAreEachSeenOnce) {
  g_file_count = 2000;
  CNvxapi api;
  PlayUploads(api, true);
  api.UploadFile();
  for (int file = 1; file <= g_file_count; ++file) {
    // Until the worker has woken, the snapshot may still show the last pause.
    for (TransferProgress p = *api.GetTransferProgress(); p.waiting != 1 || p.sequence != file;
         p = *api.GetTransferProgress()) {
      ASSERT_LE(p.sequence, file);
      ASSERT_TRUE(api.WaitTransferChange(20000)) << file;
    }
    ASSERT_EQ(g_files_finished.load(), file);
    api.SyncFileAccessNext();
  }
  while (api.GetStatus() == kStatusBusy) ASSERT_TRUE(api.WaitTransferChange(20000));
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  g_file_count = 3;
}

// How the two sides decide to look for each other before sleeping, wait by wait: the look
// each is given, then whether it ended during its look. One slow hand-over (a folder's
// list, a larger file) must not turn looking off, as a woken thread's delay would for good.
TEST(PauseHandshake, LookingSurvivesOneSlowHandOverAndReturnsAfterMany) {
  const int64_t look = platform::AdaptiveSpin::kLook.count();
  const int64_t probe = platform::AdaptiveSpin::kProbe.count();
  const std::vector<std::pair<int64_t, bool>> waits = {
      {look, false}, {look, true},                              // one slow: still looking
      {look, false}, {look, false},                             // two in a row: sleep at once,
      {0, false},    {0, false},    {0, false}, {probe, true},  // a brief look every fourth,
      {look, true}};                                            // which brings looking back
  platform::AdaptiveSpin spin;
  for (size_t i = 0; i < waits.size(); ++i) {
    EXPECT_EQ(spin.NextLook().count(), waits[i].first) << i;
    spin.Ended(waits[i].second);
  }
}

// Waits until the command in hand ends; every pause after a file is let go once and its
// file's name kept. `travelling`: the names of files seen with blocks counting before
// their pause.
std::vector<std::string> ReleaseEachPause(CNvxapi& api,
                                          std::set<std::string>* travelling = nullptr) {
  std::vector<std::string> paused;
  const auto deadline = steady_clock::now() + std::chrono::seconds(60);
  while (api.GetStatus() == kStatusBusy && steady_clock::now() < deadline) {
    static_cast<void>(api.WaitTransferChange(5));  // a time-out is just another look
    const TransferProgress snapshot = *api.GetTransferProgress();
    if (travelling != nullptr && snapshot.waiting == 0 && snapshot.block > 0 &&
        snapshot.block <= snapshot.total_blocks) {
      travelling->insert(std::filesystem::path(snapshot.file_name).filename());
    }
    if (snapshot.waiting == 1 && (paused.empty() || paused.back() != snapshot.file_name)) {
      paused.emplace_back(snapshot.file_name);
      api.SyncFileAccessNext();
    }
  }
  return paused;
}

// Four files in flight on their own connections to a real service, up and back down,
// with the worker pausing after each file in walk order. A large file is seen with its
// blocks counting while it travels on its lane before its turn (the first of the two in
// walk order at least, since the walk waits for it; on a loaded machine small ones may be
// seen too).
TEST(PauseHandshake, FourTransfersPauseAfterEachFileUpAndDown) {
  test::TempDir temp;
  const std::string data = temp.File("data");
  ASSERT_EQ(test::RunNvxServer(data, {"account", "add", "alice", "wonderland"}).exit_code, 0);
  ASSERT_EQ(test::RunNvxServer(data, {"folder", "add", "alice", "\\MyFiles\\Lanes"}).exit_code, 0);
  test::ServerProcess server(data, temp.File("server.log"));
  ASSERT_NE(server.port(), 0);
  std::vector<std::string> names;
  std::filesystem::create_directories(temp.File("tree"));
  for (int i = 0; i < 24; ++i) {
    names.push_back(temp.File("tree/file-" + std::to_string(i) + ".txt"));
    test::WriteFileText(names.back(), std::string(1000 + i * 997, static_cast<char>('a' + i)));
  }
  const std::set<std::string> large = {"large-1.bin", "large-2.bin"};
  uint32_t noise = 7;
  for (const std::string& name : large) {
    std::string bytes(48 << 20, '\0');
    for (char& byte : bytes)
      byte = static_cast<char>((noise = noise * 1664525u + 1013904223u) >> 24);
    names.push_back(temp.File("tree/" + name));
    test::WriteFileText(names.back(), bytes);
  }

  CNvxapi api;
  api.SetServer(("127.0.0.1:" + std::to_string(server.port())).c_str());
  api.SetUserAuth("alice", "wonderland");
  api.GetNVXFolderList();
  EXPECT_TRUE(ReleaseEachPause(api).empty());
  ASSERT_EQ(api.GetStatus(), kStatusSucceeded);
  ASSERT_TRUE(api.MapNVXPath("\\Lanes"));
  api.SetLocalDirectory(temp.File("tree").c_str());
  api.SetLocalFile("*");  // the files go straight into the mapped folder
  api.SetTransfers(4);
  api.SetSyncFileAccess(true);
  api.UploadFile();
  std::set<std::string> travelling;
  std::vector<std::string> paused = ReleaseEachPause(api, &travelling);
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded) << api.GetStatusMsg();
  EXPECT_EQ(api.GetTransferProgress()->files_uploaded, 26);
  EXPECT_TRUE(std::any_of(large.begin(), large.end(),
                          [&](const std::string& name) { return travelling.count(name) != 0; }));
  std::sort(paused.begin(), paused.end());
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paused, expected);

  ASSERT_TRUE(api.MapNVXPath("\\Lanes"));
  api.SetLocalDirectory(temp.File("copy").c_str());
  api.DownloadFile();
  EXPECT_EQ(ReleaseEachPause(api).size(), names.size());
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded) << api.GetStatusMsg();
  EXPECT_EQ(api.GetTransferProgress()->files_downloaded, 26);
  for (const std::string& path : names) {
    const std::string name = std::filesystem::path(path).filename();
    EXPECT_TRUE(test::ReadFileText(temp.File("copy/Lanes/" + name)) == test::ReadFileText(path))
        << name;
  }
}

TEST(PauseHandshake, WithTheFlagOffTheWorkerNeverWaits) {
  g_files_finished = 0;
  CNvxapi api;
  PlayUploads(api, false);
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
