#include "service/store/database_pool.h"

namespace nvx::service {
namespace {

// Idle connections kept for later calls; more are closed when they come back.
constexpr size_t kIdleConnectionsMax = 32;

}  // namespace

DatabasePool::Lease::~Lease() {
  pool_.Return(std::move(db_), writer_);
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
