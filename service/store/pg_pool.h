// The shared store's connections to its database server. A store call leases a
// connection for its own length and gives it back; at most a fixed number are open at
// once (kServiceDatabaseConnectionsMax), and a call waits for a free one beyond that, so
// that a front end with many clients never takes all the server's connections. A broken
// connection is opened again when it is next leased. Any thread.
#ifndef NVX_SERVICE_STORE_PG_POOL_H_
#define NVX_SERVICE_STORE_PG_POOL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "service/store/pg_connection.h"

namespace nvx::service {

class PgPool {
 public:
  // A connection taken from the pool; goes back when the lease ends.
  class Lease {
   public:
    Lease(PgPool& pool, std::unique_ptr<PgConnection> db) : pool_(&pool), db_(std::move(db)) {}
    ~Lease();
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    PgConnection& operator*() const { return *db_; }
    PgConnection* operator->() const { return db_.get(); }

   private:
    PgPool* pool_;
    std::unique_ptr<PgConnection> db_;
  };

  // Opens the first connection to `url` and keeps at most `connections_max` open. False
  // with the server's message.
  bool Open(const std::string& url, size_t connections_max, std::string* error) EXCLUDES(mutex_);
  // A connection, waiting while all are lent; one that could not be opened fails every
  // statement.
  Lease Acquire() EXCLUDES(mutex_);
  // The message of the last failure of any connection.
  std::string last_error() EXCLUDES(mutex_);
  void NoteError(const std::string& text) EXCLUDES(mutex_);

 private:
  void Return(std::unique_ptr<PgConnection> db) EXCLUDES(mutex_);

  platform::Mutex mutex_;
  platform::CondVar returned_;
  std::string url_ GUARDED_BY(mutex_);
  size_t connections_max_ GUARDED_BY(mutex_) = 1;
  size_t lent_ GUARDED_BY(mutex_) = 0;
  std::vector<std::unique_ptr<PgConnection>> idle_ GUARDED_BY(mutex_);
  std::string last_error_ GUARDED_BY(mutex_);
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_STORE_PG_POOL_H_
