#include "service/store/database_pool.h"

namespace nvx::service {
namespace {

// Idle connections kept for later calls; more are closed when they come back.
constexpr size_t kIdleConnectionsMax = 32;

// The pool and connection of this thread's PinnedReads, if any.
thread_local const DatabasePool* pinned_pool = nullptr;
thread_local Database* pinned_db = nullptr;

}  // namespace

DatabasePool::Lease::~Lease() {
  if (db_ != nullptr) pool_.Return(std::move(db_), writer_);
}

DatabasePool::PinnedReads::PinnedReads(DatabasePool& pool) : pool_(pool) {
  if (pinned_pool != nullptr) return;
  Lease lease = pool_.Acquire();
  // BEGIN takes no lock yet: the first lookup's statement begins the read transaction.
  if (!lease->Execute("BEGIN")) return;
  db_ = std::move(lease.db_);
  pinned_pool = &pool_;
  pinned_db = db_.get();
}

DatabasePool::PinnedReads::~PinnedReads() {
  if (db_ == nullptr) return;
  pinned_pool = nullptr;
  pinned_db = nullptr;
  // Ends the read transaction; a connection that cannot end it is closed, not kept.
  if (db_->Execute("COMMIT")) pool_.Return(std::move(db_), false);
}

bool DatabasePool::Open(const std::string& path, int busy_millis, std::string* error) {
  auto db = std::make_unique<Database>();
  if (!db->Open(path, busy_millis)) {
    *error = db->error_text();
    return false;
  }
  platform::MutexLock lock(mutex_);
  path_ = path;
  busy_millis_ = busy_millis;
  idle_.push_back(std::move(db));
  return true;
}

DatabasePool::Lease DatabasePool::Acquire() {
  if (pinned_pool == this) return Lease(*this, *pinned_db);
  {
    platform::MutexLock lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<Database> db = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(db));
    }
  }
  return Lease(*this, OpenConnection());
}

DatabasePool::Lease DatabasePool::AcquireWriter(bool deferred_sync) {
  std::unique_ptr<Database> db;
  {
    platform::MutexLock lock(mutex_);
    db = std::move(writer_);
  }
  if (db == nullptr) db = OpenConnection();
  // A connection that cannot go back to syncing its commits is replaced by a fresh one,
  // which does.
  if (!db->SetSyncsCommits(!deferred_sync) && !deferred_sync) db = OpenConnection();
  return Lease(*this, std::move(db), true);
}

std::unique_ptr<Database> DatabasePool::OpenConnection() {
  std::string path;
  int busy_millis;
  {
    platform::MutexLock lock(mutex_);
    path = path_;
    busy_millis = busy_millis_;
  }
  // Opening takes a moment; other threads go on meanwhile.
  auto db = std::make_unique<Database>();
  db->Open(path, busy_millis);
  return db;
}

std::string DatabasePool::last_error() {
  platform::MutexLock lock(mutex_);
  return last_error_;
}

void DatabasePool::Return(std::unique_ptr<Database> db, bool writer) {
  platform::MutexLock lock(mutex_);
  if (!db->error_text().empty()) {
    last_error_ = db->error_text();
    db->ClearError();
  }
  if (!db->is_open()) return;
  if (writer) {
    writer_ = std::move(db);
  } else if (idle_.size() < kIdleConnectionsMax) {
    idle_.push_back(std::move(db));
  }
}

}  // namespace nvx::service
