#include "api/worker.h"

#include <chrono>
#include <system_error>

#include "api/activity_log.h"
#include "api/transfer_session.h"
#include "platform/crash_stack.h"
#include "protocol/service_link.h"

namespace nvx {
namespace {

void RunCommands(TransferSession& session) {
  SharedBlock& block = session.block();
  WorkerControl& control = block.control;
  bool server_list_built = false;
  for (;;) {
    control.command_event.Wait();
    // The first command finds the settings it needs (proxy host, NVX_SERVER) in place.
    if (!server_list_built) {
      session.link().BuildServerList();
      server_list_built = true;
    }
    int32_t code = control.command.load();
    control.error_code.store(error::kNone);
    control.command.store(kCmdNone);
    if (code == kCmdExit) return;
    const CommandRow* row = control.commands.Find(code);
    if (row == nullptr) {
      // Not a command of this library: it fails at once, so that no caller waits for ever.
      control.status.store(status::kFailed);
      session.CloseConnection();
      continue;
    }
    bool succeeded = row->routine(session);
    control.status.store(succeeded ? status::kSucceeded : status::kFailed);
    {
      // A caller waiting for the transfer's next change sees the command end at once.
      platform::MutexLock lock(block.state_lock);
      AnnounceChange(block);
    }
    if (row->signals_sync_event) control.sync_event.Signal();
    if (!row->keeps_connection) session.CloseConnection();
  }
}

// Drops one owner reference; the last one closes what the block holds open and frees it.
void ReleaseOwner(SharedBlock* block) {
  if (block->control.owners.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  {
    platform::MutexLock lock(block->trace_lock);
    CloseActivityLog(block->logs.activity_log);
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
  {
    platform::MutexLock lock(block->control.lifetime_mutex);
    block->control.worker_running = false;
    block->control.worker_ended_cv.NotifyAll();
  }
  ReleaseOwner(block);
}

}  // namespace

bool StartWorker(SharedBlock& block) {
  WorkerControl& control = block.control;
  platform::MutexLock lock(control.lifetime_mutex);
  control.owners.fetch_add(1, std::memory_order_relaxed);
  try {
    control.worker = std::thread(WorkerMain, &block);
  } catch (const std::system_error&) {
    control.owners.fetch_sub(1, std::memory_order_relaxed);
    return false;
  }
  control.worker_started = true;
  control.worker_running = true;
  return true;
}

void StopWorkerAndRelease(SharedBlock* block) {
  WorkerControl& control = block->control;
  control.stop_requested.store(true, std::memory_order_release);
  control.command.store(kCmdExit);
  control.command_event.Signal();
  // A worker paused after a file is waiting for this.
  control.pause_after_file_event.Signal();
  if (control.worker_started) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerStopWaitMillis);
    bool ended = false;
    {
      platform::MutexLock lock(control.lifetime_mutex);
      while (control.worker_running) {
        if (!control.worker_ended_cv.WaitUntil(control.lifetime_mutex, deadline)) break;
      }
      ended = !control.worker_running;
    }
    // A worker inside a call that does not return yet is left to finish; it frees the
    // block if it lets go last.
    if (ended) {
      control.worker.join();
    } else {
      control.worker.detach();
    }
  }
  ReleaseOwner(block);
}

}  // namespace nvx
