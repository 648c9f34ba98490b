#include "service/store/group_sync.h"

#include <cerrno>
#include <utility>

#include "platform/file.h"

namespace nvx::service {

GroupSync::GroupSync(std::function<bool()> sync) : sync_(std::move(sync)) {}

uint64_t GroupSync::TakeTicket() {
  platform::MutexLock lock(mutex_);
  return ++committed_;
}

// One call of WaitDurable, known to the syncs while it waits. Its fields are guarded by the
// group's mutex.
struct GroupSync::Waiter {
  uint64_t ticket = 0;
  bool settled = false;
  bool durable = false;
  platform::CondVar woken;
};

bool GroupSync::WaitDurable(uint64_t ticket) {
  platform::MutexLock lock(mutex_);
  if (synced_ >= ticket) return true;
  Waiter me;
  me.ticket = ticket;
  waiting_.push_back(&me);
  while (!me.settled) {
    if (syncing_) {
      me.woken.Wait(mutex_);
      continue;
    }
    // Every commit with a ticket up to here wrote its pages before this sync begins.
    const uint64_t target = committed_;
    syncing_ = true;
    ++syncs_;
    mutex_.Unlock();
    const bool durable = sync_();
    mutex_.Lock();
    syncing_ = false;
    if (durable && target > synced_) synced_ = target;
    if (!durable) {
      // The sync failed this wait; the others try one of their own.
      std::erase(waiting_, &me);
      me.settled = true;
    }
    WakeAfterSync();
  }
  return me.durable;
}

GroupSync::Counts GroupSync::counts() {
  platform::MutexLock lock(mutex_);
  return Counts{committed_, syncs_};
}

void GroupSync::WakeAfterSync() {
  size_t kept = 0;
  for (Waiter* waiter : waiting_) {
    if (waiter->ticket > synced_) {
      waiting_[kept++] = waiter;
      continue;
    }
    waiter->settled = true;
    waiter->durable = true;
    waiter->woken.NotifyOne();
  }
  waiting_.resize(kept);
  if (!waiting_.empty()) waiting_.front()->woken.NotifyOne();
}

bool SyncDatabaseLog(const std::string& database_path) {
  platform::File log = platform::File::Open(database_path + "-wal", platform::File::Access::kRead);
  if (log.is_open()) return log.Sync();
  if (log.error() != ENOENT) return false;
  platform::File database = platform::File::Open(database_path, platform::File::Access::kRead);
  return database.is_open() && database.Sync();
}

}  // namespace nvx::service
