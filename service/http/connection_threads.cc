#include "service/http/connection_threads.h"

#include <vector>

namespace nvx::service {

void ConnectionSlot::WaitingForRequest() {
  platform::MutexLock lock(owner_->mutex_);
  worker_->idle = true;
  worker_->idle_since = ++owner_->clock_;
}

bool ConnectionSlot::Serving() {
  platform::MutexLock lock(owner_->mutex_);
  worker_->idle = false;
  return !worker_->ended.load();
}

const std::atomic<bool>& ConnectionSlot::ended() const {
  return worker_->ended;
}

ConnectionThreads::~ConnectionThreads() {
  Shutdown();
}

void ConnectionThreads::JoinFinishedLocked() {
  std::vector<std::thread> finished;
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done) {
      finished.push_back(std::move(it->thread));
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
  // The threads have marked themselves done; joining them waits only for their last
  // instructions, which take the lock.
  mutex_.Unlock();
  for (std::thread& thread : finished) thread.join();
  mutex_.Lock();
}

void ConnectionThreads::ReleasePlaceLocked(const std::string& address) {
  --running_;
  if (auto found = per_address_.find(address); found != per_address_.end()) {
    if (--found->second == 0) per_address_.erase(found);
  }
}

bool ConnectionThreads::MakeRoomLocked(size_t newcomer_count) {
  if (ending_ >= max_threads_) return false;
  Worker* oldest = nullptr;
  for (Worker& worker : workers_) {
    if (worker.done || !worker.idle || worker.ended.load()) continue;
    auto holding = per_address_.find(worker.address);
    if (holding == per_address_.end() || holding->second <= newcomer_count) continue;
    if (oldest == nullptr || worker.idle_since < oldest->idle_since) oldest = &worker;
  }
  if (oldest == nullptr) return false;
  // Its thread sees the flag within one wait slice and closes the connection; the place
  // is free from now on.
  oldest->ended.store(true);
  ReleasePlaceLocked(oldest->address);
  ++ending_;
  return true;
}

void ConnectionThreads::Finished(Worker* worker) {
  platform::MutexLock lock(mutex_);
  worker->done = true;
  if (worker->ended.load()) {
    --ending_;
  } else {
    ReleasePlaceLocked(worker->address);
  }
  finished_.NotifyAll();
}

bool ConnectionThreads::Start(const std::string& address,
                              std::function<void(ConnectionSlot&)> serve) {
  platform::MutexLock lock(mutex_);
  JoinFinishedLocked();
  auto found = per_address_.find(address);
  size_t from_address = found == per_address_.end() ? 0 : found->second;
  if (from_address >= max_per_address_) return false;
  if (running_ >= max_threads_ && !MakeRoomLocked(from_address)) return false;
  ++running_;
  ++per_address_[address];
  workers_.emplace_back();
  Worker* worker = &workers_.back();
  worker->address = address;
  worker->idle_since = ++clock_;
  worker->thread = std::thread([this, worker, serve = std::move(serve)] {
    ConnectionSlot slot(this, worker);
    serve(slot);
    Finished(worker);
  });
  return true;
}

void ConnectionThreads::Shutdown() {
  platform::MutexLock lock(mutex_);
  while (running_ != 0 || ending_ != 0) finished_.Wait(mutex_);
  JoinFinishedLocked();
}

}  // namespace nvx::service
