#include "service/http/connection_threads.h"

#include <vector>

namespace nvx::service {

void ConnectionSlot::WaitingForRequest() {
  platform::MutexLock lock(owner_->mutex_);
  worker_->idle = true;
  worker_->answering = false;
  worker_->idle_since = ++owner_->clock_;
}

void ConnectionSlot::Answering() {
  platform::MutexLock lock(owner_->mutex_);
  worker_->answering = true;
}

bool ConnectionSlot::Serving() {
  platform::MutexLock lock(owner_->mutex_);
  worker_->idle = false;
  worker_->answering = false;
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
  EndLocked(*oldest);
  return true;
}

bool ConnectionThreads::EndClosedLocked(const std::string* address) {
  if (ending_ >= max_threads_) return false;
  for (Worker& worker : workers_) {
    if (worker.done || !(worker.idle || worker.answering) || worker.ended.load()) continue;
    if (address != nullptr && worker.address != *address) continue;
    if (worker.peer_gone && worker.peer_gone()) {
      EndLocked(worker);
      return true;
    }
  }
  return false;
}

void ConnectionThreads::EndLocked(Worker& worker) {
  // Its thread sees the flag within one wait slice and closes the connection.
  worker.ended.store(true);
  ReleasePlaceLocked(worker.address);
  ++ending_;
}

void ConnectionThreads::Finished(Worker* worker) {
  platform::MutexLock lock(mutex_);
  worker->done = true;
  // What it holds of the connection goes with the thread, not when it is joined.
  worker->peer_gone = nullptr;
  if (worker->ended.load()) {
    --ending_;
  } else {
    ReleasePlaceLocked(worker->address);
  }
  finished_.NotifyAll();
}

bool ConnectionThreads::Start(const std::string& address,
                              std::function<void(ConnectionSlot&)> serve,
                              std::function<bool()> peer_gone) {
  platform::MutexLock lock(mutex_);
  JoinFinishedLocked();
  const auto from_address = [&]() REQUIRES(mutex_) {
    auto found = per_address_.find(address);
    return found == per_address_.end() ? size_t{0} : found->second;
  };
  if (from_address() >= max_per_address_ && !EndClosedLocked(&address)) return false;
  if (running_ >= max_threads_ && !EndClosedLocked(nullptr) && !MakeRoomLocked(from_address())) {
    return false;
  }
  ++running_;
  ++per_address_[address];
  workers_.emplace_back();
  Worker* worker = &workers_.back();
  worker->address = address;
  worker->peer_gone = std::move(peer_gone);
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
