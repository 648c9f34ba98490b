// Makes committed transactions of the embedded store durable in groups. A commit made
// without its own sync (synchronous=NORMAL: its pages are in the write-ahead log, not yet
// on the disk) takes a ticket right after it commits, under the store's write lock, so
// tickets follow the order of the commits; then, without the lock, it waits until a sync
// of the log that began after its ticket has ended. While one sync runs, the commits made
// meanwhile wait for the next, which serves them all: several concurrent uploads share one
// sync, and each is still answered only once its document is on the disk. A sync that ends
// wakes only the waiters it covered and, when some are left, the one that leads the next:
// the others sleep on, so a commit costs one wake-up however many syncs it waits through.
// Thread-safe.
#ifndef NVX_SERVICE_STORE_GROUP_SYNC_H_
#define NVX_SERVICE_STORE_GROUP_SYNC_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"

namespace nvx::service {

class GroupSync {
 public:
  // `sync` makes every commit made before it began durable (SyncDatabaseLog); false when
  // it failed.
  explicit GroupSync(std::function<bool()> sync);

  // Right after a commit, under the lock that orders commits.
  [[nodiscard]] uint64_t TakeTicket() EXCLUDES(mutex_);
  // Returns once the commit of `ticket` is on the disk; false when the sync failed.
  [[nodiscard]] bool WaitDurable(uint64_t ticket) EXCLUDES(mutex_);

  // The commits that took a ticket and the syncs made for them so far: how well the
  // syncs are shared.
  struct Counts {
    uint64_t commits = 0;
    uint64_t syncs = 0;
  };
  Counts counts() EXCLUDES(mutex_);

 private:
  struct Waiter;

  // Settles the waiters the syncs so far covered and wakes them, then wakes one of those
  // left to lead the next sync.
  void WakeAfterSync() REQUIRES(mutex_);

  const std::function<bool()> sync_;
  platform::Mutex mutex_;
  uint64_t committed_ GUARDED_BY(mutex_) = 0;
  uint64_t synced_ GUARDED_BY(mutex_) = 0;
  uint64_t syncs_ GUARDED_BY(mutex_) = 0;
  bool syncing_ GUARDED_BY(mutex_) = false;
  std::vector<Waiter*> waiting_ GUARDED_BY(mutex_);
};

// One sync of the write-ahead log of the database file at `database_path` (that path with
// "-wal"), or of the database file when the log is gone: its last connection moved
// everything there and synced it.
bool SyncDatabaseLog(const std::string& database_path);

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_GROUP_SYNC_H_
