#include "service/store/pg_pool.h"

namespace nvx::service {

PgPool::Lease::~Lease() {
  if (db_) pool_->Return(std::move(db_));
}

bool PgPool::Open(const std::string& url, size_t connections_max, std::string* error) {
  auto db = std::make_unique<PgConnection>();
  if (!db->Open(url)) {
    *error = db->error_text();
    return false;
  }
  platform::MutexLock lock(mutex_);
  url_ = url;
  connections_max_ = connections_max < 1 ? 1 : connections_max;
  idle_.push_back(std::move(db));
  return true;
}

PgPool::Lease PgPool::Acquire() {
  std::unique_ptr<PgConnection> db;
  std::string url;
  {
    platform::MutexLock lock(mutex_);
    while (idle_.empty() && lent_ >= connections_max_) returned_.Wait(mutex_);
    ++lent_;
    if (!idle_.empty()) {
      db = std::move(idle_.back());
      idle_.pop_back();
    }
    url = url_;
  }
  // Connecting takes a moment; other threads go on meanwhile.
  if (!db) {
    db = std::make_unique<PgConnection>();
    db->Open(url);
  } else if (!db->Healthy()) {
    db->Reset();
  }
  return Lease(*this, std::move(db));
}

std::string PgPool::last_error() {
  platform::MutexLock lock(mutex_);
  return last_error_;
}

void PgPool::NoteError(const std::string& text) {
  platform::MutexLock lock(mutex_);
  last_error_ = text;
}

void PgPool::Return(std::unique_ptr<PgConnection> db) {
  platform::MutexLock lock(mutex_);
  --lent_;
  if (!db->error_text().empty()) {
    last_error_ = db->error_text();
    db->ClearError();
  }
  // A connection that broke is connected again on its next lease.
  idle_.push_back(std::move(db));
  returned_.NotifyAll();
}

}  // namespace nvx::service
