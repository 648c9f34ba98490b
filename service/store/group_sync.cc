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

bool GroupSync::WaitDurable(uint64_t ticket) {
  mutex_.Lock();
  bool durable = true;
  while (durable && synced_ < ticket) {
    if (syncing_) {
      synced_cv_.Wait(mutex_);
      continue;
    }
    // Every commit with a ticket up to here wrote its pages before this sync begins.
    const uint64_t target = committed_;
    syncing_ = true;
    mutex_.Unlock();
    durable = sync_();
    mutex_.Lock();
    syncing_ = false;
    if (durable && target > synced_) synced_ = target;
    synced_cv_.NotifyAll();
  }
  mutex_.Unlock();
  return durable;
}

bool SyncDatabaseLog(const std::string& database_path) {
  platform::File log = platform::File::Open(database_path + "-wal", platform::File::Access::kRead);
  if (log.is_open()) return log.Sync();
  if (log.error() != ENOENT) return false;
  platform::File database = platform::File::Open(database_path, platform::File::Access::kRead);
  return database.is_open() && database.Sync();
}

}  // namespace nvx::service
