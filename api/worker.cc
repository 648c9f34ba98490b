#include "api/worker.h"

#include <chrono>
#include <mutex>
#include <system_error>

#include "api/activity_log.h"
#include "api/email_commands.h"
#include "api/reset.h"
#include "api/transfer_session.h"
#include "platform/crash_stack.h"
#include "protocol/command_routines.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

bool RoutineUnavailable(TransferSession& /*session*/) {
  return false;
}

bool SignalsSyncEvent(int32_t code) {
  return code == kCmdReset || code == kCmdGetStats || code == kCmdSetServer;
}

bool KeepsConnection(int32_t code) {
  return code == kCmdReset || code == kCmdSetServer;
}

void RunCommands(TransferSession& session) {
  SharedBlock& block = session.block();
  bool server_list_built = false;
  for (;;) {
    block.command_event.Wait();
    // The first command finds the settings it needs (proxy host, NVX_SERVER) in place.
    if (!server_list_built) {
      session.link().BuildServerList();
      server_list_built = true;
    }
    int32_t code = block.command.load();
    block.error_code.store(kErrorNone);
    if (code < kFirstCommandCode || code > kLastCommandCode) continue;
    block.command.store(kCmdNone);
    if (code == kCmdExit) return;
    bool succeeded = block.routines[code](session);
    block.status.store(succeeded ? kStatusSucceeded : kStatusFailed);
    if (SignalsSyncEvent(code)) block.sync_event.Signal();
    if (!KeepsConnection(code)) session.CloseConnection();
  }
}

// Closes what the block holds open and frees it.
void FreeBlock(SharedBlock* block) {
  {
    std::lock_guard<std::mutex> lock(block->trace_lock);
    CloseActivityLog(block->activity_log);
  }
  delete block;
}

void WorkerMain(SharedBlock* block) {
  // A stack overflow on the worker is reported like one on the caller's thread when the
  // program has installed its crash handler.
  platform::ThreadCrashStack crash_stack;
  {
    TransferSession session(*block);
    RunCommands(session);
  }
  bool free_here;
  {
    std::lock_guard<std::mutex> lock(block->lifetime_mutex);
    block->worker_running = false;
    free_here = block->orphaned;
    block->worker_ended_cv.notify_all();
  }
  // Not orphaned: the owner frees the block as soon as the lock is released, so nothing
  // here may touch it any more.
  if (free_here) FreeBlock(block);
}

}  // namespace

std::array<Routine, kLastCommandCode + 1> DefaultRoutines() {
  std::array<Routine, kLastCommandCode + 1> routines;
  routines.fill(&RoutineUnavailable);
  routines[kCmdFolderList] = &RoutineFolderList;
  routines[kCmdVerifyId] = &RoutineVerifyId;
  routines[kCmdHelpFile] = &RoutineHelpFile;
  routines[kCmdVersionFile] = &RoutineVersionFile;
  routines[kCmdFolderFileList] = &RoutineFolderFileList;
  routines[kCmdFileInfo] = &RoutineFileInfo;
  routines[kCmdResetSpace] = &RoutineResetSpace;
  routines[kCmdDeleteEmptyFolders] = &RoutineDeleteEmptyFolders;
  routines[kCmdVerifyPath] = &RoutineVerifyPath;
  routines[kCmdSetServer] = &RoutineSetServer;
  routines[kCmdReset] = &RoutineReset;
  routines[kCmdEmailStats] = &RoutineEmailStats;
  routines[kCmdEmailSend] = &RoutineEmailSend;
  routines[kCmdGetStats] = &RoutineGetStats;
  routines[kCmdEmailSendJustText] = &RoutineEmailSendJustText;
  return routines;
}

bool StartWorker(SharedBlock& block) {
  std::lock_guard<std::mutex> lock(block.lifetime_mutex);
  try {
    block.worker = std::thread(WorkerMain, &block);
  } catch (const std::system_error&) {
    return false;
  }
  block.worker_started = true;
  block.worker_running = true;
  return true;
}

void StopWorkerAndFree(SharedBlock* block) {
  block->stop_requested.store(true, std::memory_order_release);
  block->command.store(kCmdExit);
  block->command_event.Signal();
  // A worker paused after a file is waiting for this.
  block->next_event.Signal();
  if (!block->worker_started) {
    FreeBlock(block);
    return;
  }
  std::unique_lock<std::mutex> lock(block->lifetime_mutex);
  bool ended =
      block->worker_ended_cv.wait_for(lock, std::chrono::milliseconds(kWorkerStopWaitMillis),
                                      [block] { return !block->worker_running; });
  if (!ended) {
    // The worker is inside a call that does not return yet. It owns the block from now
    // on and frees it when it ends; the caller goes on at once.
    block->orphaned = true;
    block->worker.detach();
    return;
  }
  lock.unlock();
  block->worker.join();
  FreeBlock(block);
}

}  // namespace nvx
