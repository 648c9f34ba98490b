// The store's connections to its database file. A store call takes a connection for its
// own length and gives it back, so store calls on different threads never wait for each
// other in this process: SQLite in write-ahead-log mode lets readers run beside the one
// writer (the store serialises its writers itself). Connections are opened as they are
// needed and kept for the next call. The writer has a connection of its own: a connection
// forgets the pages it read whenever another one wrote, so the writer's, which no other
// connection of this process writes behind, keeps them from one commit to the next. Any
// thread.
#ifndef NVX_SERVICE_STORE_DATABASE_POOL_H_
#define NVX_SERVICE_STORE_DATABASE_POOL_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "service/store/sqlite_db.h"

namespace nvx::service {

class DatabasePool {
 public:
  class PinnedReads;
  // A connection taken from the pool; goes back when the lease ends.
  class Lease {
   public:
    Lease(DatabasePool& pool, std::unique_ptr<Database> db, bool writer = false)
        : pool_(pool), db_(std::move(db)), db_used_(db_.get()), writer_(writer) {}
    // The connection of the thread's PinnedReads, which keeps it.
    Lease(DatabasePool& pool, Database& pinned) : pool_(pool), db_used_(&pinned), writer_(false) {}
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Database& operator*() const { return *db_used_; }
    Database* operator->() const { return db_used_; }

   private:
    friend class PinnedReads;
    DatabasePool& pool_;
    std::unique_ptr<Database> db_;  // null for the pinned connection
    Database* db_used_;
    bool writer_;
  };

  // Opens the first connection to `path` (creating the file), waiting up to
  // `busy_millis` for other processes' locks. False with the database's message.
  bool Open(const std::string& path, int busy_millis, std::string* error) EXCLUDES(mutex_);
  // A connection; one that could not be opened fails every statement.
  Lease Acquire() EXCLUDES(mutex_);
  // The writer's connection, for one writer at a time (under the store's write lock). Its
  // commits sync the log themselves, or, with `deferred_sync`, leave that to the caller
  // (synchronous=NORMAL: the commit is in the log, not yet on the disk).
  Lease AcquireWriter(bool deferred_sync = false) EXCLUDES(mutex_);
  // While one lives, Acquire on its thread hands out its connection, in a read
  // transaction begun by the first statement and ended when it ends: the thread's lookups
  // see one state of the database and take its read lock once. When no read transaction
  // could begin, or another PinnedReads of the thread is alive, it pins nothing.
  class PinnedReads {
   public:
    explicit PinnedReads(DatabasePool& pool);
    ~PinnedReads();
    PinnedReads(const PinnedReads&) = delete;
    PinnedReads& operator=(const PinnedReads&) = delete;

   private:
    DatabasePool& pool_;
    std::unique_ptr<Database> db_;  // null when nested in another or not begun
  };

  // The message of the last failure of any connection.
  std::string last_error() EXCLUDES(mutex_);

 private:
  void Return(std::unique_ptr<Database> db, bool writer) EXCLUDES(mutex_);
  std::unique_ptr<Database> OpenConnection() EXCLUDES(mutex_);

  platform::Mutex mutex_;
  std::string path_ GUARDED_BY(mutex_);
  int busy_millis_ GUARDED_BY(mutex_) = 0;
  std::vector<std::unique_ptr<Database>> idle_ GUARDED_BY(mutex_);
  std::unique_ptr<Database> writer_ GUARDED_BY(mutex_);
  std::string last_error_ GUARDED_BY(mutex_);
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_DATABASE_POOL_H_
