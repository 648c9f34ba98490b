// The worker's command cycle as a caller sees it: status transitions, error codes, the
// synchronous operations, copies of a CNvxapi, and destruction while a command is busy.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/file_access_pause.h"
#include "api/nvxapi.h"
#include "api/shared_block.h"
#include "api/transfer_session.h"
#include "platform/auto_reset_event.h"

namespace nvx {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

int32_t WaitUntilNotBusy(CNvxapi& api) {
  auto deadline = steady_clock::now() + std::chrono::seconds(20);
  while (api.GetStatus() == kStatusBusy && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  return api.GetStatus();
}

// Test routines are plain functions; they talk to the test through these.
std::atomic<int> g_calls{0};
std::atomic<bool> g_next_result{true};
platform::AutoResetEvent* g_gate = nullptr;
std::atomic<bool> g_routine_done{false};

bool CountingRoutine(TransferSession&) {
  ++g_calls;
  return g_next_result.load();
}

bool FailWithErrorRoutine(TransferSession& session) {
  session.block().error_code.store(kErrorTransferConnection);
  return false;
}

bool GatedRoutine(TransferSession&) {
  g_gate->Wait();
  return true;
}

bool SlowRoutine(TransferSession&) {
  std::this_thread::sleep_for(milliseconds(30));
  return true;
}

// Ignores the stop request until the test opens the gate.
bool StubbornRoutine(TransferSession& session) {
  g_gate->Wait();
  session.block().conclusion = "still here";  // touches the block after the owner left
  g_routine_done = true;
  return true;
}

void SetRoutine(CNvxapi& api, int32_t code, Routine routine) {
  FacadeAccess::Block(api)->routines[code] = routine;
}

TEST(WorkerStatus, FreshObjectIsIdleWithoutError) {
  CNvxapi api;
  EXPECT_EQ(api.GetStatus(), kStatusIdle);
  EXPECT_EQ(api.GetErrorCode(), kErrorNone);
  EXPECT_STREQ(api.GetStatusMsg(), "");
  EXPECT_STREQ(api.GetConclusion(), "");
  EXPECT_STREQ(api.GetHttpResponse(), "");
  EXPECT_STREQ(api.GetLogFileName(), "");
  EXPECT_EQ(api.FolderName(), nullptr);
}

TEST(WorkerStatus, PostIsBusyUntilTheRoutineEnds) {
  platform::AutoResetEvent gate;
  g_gate = &gate;
  CNvxapi api;
  SetRoutine(api, kCmdVerifyId, &GatedRoutine);
  api.VerifyId();
  EXPECT_EQ(api.GetStatus(), kStatusBusy);
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(api.GetStatus(), kStatusBusy);
  gate.Signal();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusSucceeded);
}

TEST(WorkerStatus, NeverAStaleFinalStatusAfterAPost) {
  CNvxapi api;
  SetRoutine(api, kCmdVerifyId, &CountingRoutine);
  g_calls = 0;
  for (int i = 0; i < 300; ++i) {
    bool result = (i % 2) == 0;
    g_next_result = result;
    api.VerifyId();
    int32_t seen = api.GetStatus();
    int32_t expected_final = result ? kStatusSucceeded : kStatusFailed;
    ASSERT_TRUE(seen == kStatusBusy || seen == expected_final) << "post " << i << " saw " << seen;
    ASSERT_EQ(WaitUntilNotBusy(api), expected_final);
  }
  EXPECT_EQ(g_calls.load(), 300);
}

TEST(WorkerStatus, CommandsWithoutARoutineFail) {
  CNvxapi api;
  api.UploadFile();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusFailed);
  api.DownloadFile();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusFailed);
}

TEST(WorkerStatus, ErrorCodeDescribesTheLastCommandOnly) {
  CNvxapi api;
  SetRoutine(api, kCmdVerifyId, &FailWithErrorRoutine);
  SetRoutine(api, kCmdFolderList, &CountingRoutine);
  g_next_result = true;
  api.VerifyId();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusFailed);
  EXPECT_EQ(api.GetErrorCode(), kErrorTransferConnection);
  api.GetNVXFolderList();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusSucceeded);
  EXPECT_EQ(api.GetErrorCode(), kErrorNone);
}

TEST(WorkerStatus, UnknownCodeLeavesTheStatusBusy) {
  CNvxapi api;
  SharedBlock* block = FacadeAccess::Block(api);
  block->status.store(kStatusBusy);
  block->command.store(42);
  block->command_event.Signal();
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(api.GetStatus(), kStatusBusy);
  EXPECT_EQ(api.GetErrorCode(), kErrorNone);
  // The worker still takes the next real command.
  api.Reset();
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
}

TEST(WorkerSynchronous, ReturnOnlyAfterTheWorkerFinished) {
  CNvxapi api;
  SetRoutine(api, kCmdReset, &SlowRoutine);
  SetRoutine(api, kCmdGetStats, &SlowRoutine);
  SetRoutine(api, kCmdSetServer, &SlowRoutine);
  api.Reset();
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  api.GetStats();
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  api.SetServer("127.0.0.1:1");
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
}

TEST(WorkerSynchronous, RealRoutinesReportTheirStatus) {
  CNvxapi api;
  api.Reset();
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  EXPECT_NE(api.GetStats(), nullptr);
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
}

TEST(WorkerSynchronous, TransferKindFollowsTheTransferCommands) {
  CNvxapi api;
  SharedBlock* block = FacadeAccess::Block(api);
  for (int32_t code :
       {kCmdUpload, kCmdDownload, kCmdClean, kCmdVerifyPath, kCmdDeleteEmptyFolders}) {
    SetRoutine(api, code, &CountingRoutine);
  }
  g_next_result = true;
  api.UploadFile();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->transfer_kind, kCmdUpload);
  api.DownloadFile();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->transfer_kind, kCmdDownload);
  api.CleanNVX();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->transfer_kind, kCmdClean);
  EXPECT_TRUE(block->verification);  // a clean always verifies
  api.VerifyNVXPath("\\Backup");
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->transfer_kind, kCmdVerifyPath);
  EXPECT_EQ(block->path_to_verify, "\\Backup");
  api.DeleteEmptyNVXFolders();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->transfer_kind, kCmdDeleteEmptyFolders);
}

TEST(WorkerCopies, CopiesShareOneBlockThatEndsWithTheLastOwner) {
  auto first = std::make_unique<CNvxapi>();
  CNvxapi second;
  second = *first;
  EXPECT_EQ(FacadeAccess::Block(second), FacadeAccess::Block(*first));
  CNvxapi third(*first);
  EXPECT_EQ(FacadeAccess::Block(third), FacadeAccess::Block(*first));
  first.reset();
  second = second;  // self-assignment changes nothing
  // The survivors still have a working worker.
  second.SetResultsType("Shared");
  third.Reset();
  EXPECT_EQ(third.GetStatus(), kStatusSucceeded);
  EXPECT_EQ(FacadeAccess::Block(third)->results_type, "Shared");
}

TEST(WorkerLifetime, DestroyingAPausedWorkerEndsPromptly) {
  g_routine_done = false;
  auto started = steady_clock::now();
  {
    CNvxapi api;
    SetRoutine(api, kCmdUpload, [](TransferSession& session) {
      session.block().pause_after_each_file = true;
      return WaitForFileAccess(session);
    });
    api.UploadFile();
    auto deadline = steady_clock::now() + std::chrono::seconds(10);
    while (api.GetTransferProgress()->waiting == 0 && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    ASSERT_EQ(api.GetTransferProgress()->waiting, 1);
  }
  EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(WorkerLifetime, DestroyingAStuckWorkerReturnsAndTheWorkerFreesTheBlockLater) {
  platform::AutoResetEvent gate;
  g_gate = &gate;
  g_routine_done = false;
  auto started = steady_clock::now();
  {
    CNvxapi api;
    SetRoutine(api, kCmdVerifyId, &StubbornRoutine);
    api.VerifyId();
    std::this_thread::sleep_for(milliseconds(10));
  }
  auto waited = steady_clock::now() - started;
  EXPECT_GE(waited, milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_FALSE(g_routine_done.load());
  gate.Signal();
  auto deadline = steady_clock::now() + std::chrono::seconds(10);
  while (!g_routine_done.load() && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_TRUE(g_routine_done.load());
  // Give the orphaned worker time to free the block before the leak check at exit.
  std::this_thread::sleep_for(milliseconds(200));
}

}  // namespace
}  // namespace nvx
