// The worker's command cycle as a caller sees it: status transitions, error codes, the
// synchronous operations, copies of a CNvxapi, and destruction while a command is busy.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "api/facade_access.h"
#include "api/nvxapi.h"
#include "api/shared_block.h"
#include "api/transfer_session.h"
#include "platform/auto_reset_event.h"
#include "tests/support/temp_dir.h"

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
  session.block().control.error_code.store(kErrorTransferConnection);
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
std::atomic<bool> g_routine_started{false};
bool StubbornRoutine(TransferSession& session) {
  g_routine_started = true;
  g_gate->Wait();
  SetConclusion(session.block(), "still here");  // touches the block after the callers left
  g_routine_done = true;
  return true;
}

void SetRoutine(CNvxapi& api, int32_t code, Routine routine) {
  FacadeAccess::Block(api)->control.commands.rows[code].routine = routine;
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

TEST(WorkerStatus, CodesWithoutARowFailAndTheWorkerGoesOn) {
  CNvxapi api;
  SharedBlock* block = FacadeAccess::Block(api);
  // A table of the test's own: only the folder list has a routine.
  CommandTable table;
  table.rows[kCmdFolderList] = {"FolderList", &CountingRoutine, false, false, false};
  block->control.commands = table;
  g_next_result = true;
  for (int32_t code : {int32_t{kCmdNone}, int32_t{kCmdVerifyId}, int32_t{kCmdReset}, 42, -1}) {
    PostCommand(*block, code);
    EXPECT_EQ(WaitUntilNotBusy(api), kStatusFailed) << code;
    EXPECT_EQ(api.GetErrorCode(), kErrorNone) << code;
  }
  api.GetNVXFolderList();
  EXPECT_EQ(WaitUntilNotBusy(api), kStatusSucceeded);
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
  api.SetLocalDirectory("/home/alice");
  api.Reset();
  EXPECT_EQ(api.GetStatus(), kStatusSucceeded);
  // Reset emptied the local folder, and the statistics text says so.
  EXPECT_STREQ(api.GetStats(),
               "Local Folder: \r\nNorrvault Folder: \r\nResults: \r\n"
               "Downloaded 0 Files \r\nMatched 0 Files \r\nUpdated 0 Files \r\n"
               "Errors 0  \r\nFiles Not Found 0  \r\n");
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
  EXPECT_EQ(block->control.transfer_kind, kCmdUpload);
  api.DownloadFile();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->control.transfer_kind, kCmdDownload);
  api.CleanNVX();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->control.transfer_kind, kCmdClean);
  EXPECT_TRUE(block->job.flags.verification);  // a clean always verifies
  api.VerifyNVXPath("\\Backup");
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->control.transfer_kind, kCmdVerifyPath);
  EXPECT_EQ(block->job.path_to_verify, "\\Backup");
  api.DeleteEmptyNVXFolders();
  WaitUntilNotBusy(api);
  EXPECT_EQ(block->control.transfer_kind, kCmdDeleteEmptyFolders);
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
  EXPECT_EQ(FacadeAccess::Block(third)->job.results_type, "Shared");
}

TEST(WorkerLifetime, DestroyingAPausedWorkerEndsPromptly) {
  g_routine_done = false;
  auto started = steady_clock::now();
  {
    CNvxapi api;
    SetRoutine(api, kCmdUpload, [](TransferSession& session) {
      session.block().job.pause_after_file = true;
      return session.PauseAfterFile();
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
  test::TempDir logs;
  std::string log_name;
  auto started = steady_clock::now();
  {
    CNvxapi api;
    api.SetLogDirectory(logs.path().c_str());
    api.SetLogLevel(1);
    log_name = api.GetLogFileName();
    SetRoutine(api, kCmdVerifyId, &StubbornRoutine);
    g_routine_started = false;
    api.VerifyId();
    while (!g_routine_started.load()) std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(5));
  // The block outlives its callers while the worker holds it: its log is still open.
  EXPECT_FALSE(g_routine_done.load());
  EXPECT_EQ(test::ReadFileText(log_name).find("Log File Close"), std::string::npos);
  gate.Signal();
  // Once the routine ends, the worker lets go last and frees the block, closing the log.
  auto deadline = steady_clock::now() + std::chrono::seconds(10);
  while (test::ReadFileText(log_name).find("Log File Close") == std::string::npos &&
         steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  EXPECT_TRUE(g_routine_done.load());
  EXPECT_NE(test::ReadFileText(log_name).find("Log File Close"), std::string::npos);
}

}  // namespace
}  // namespace nvx
