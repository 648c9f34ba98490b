#include "service/connection_threads.h"

#include <vector>

namespace nvx::service {

ConnectionThreads::~ConnectionThreads() {
  shutdown();
}

void ConnectionThreads::JoinFinishedLocked(std::unique_lock<std::mutex>& lock) {
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
  // instructions, outside the lock they need for that.
  lock.unlock();
  for (std::thread& thread : finished) thread.join();
  lock.lock();
}

bool ConnectionThreads::Start(const std::string& address, std::function<void()> serve) {
  std::unique_lock<std::mutex> lock(mutex_);
  JoinFinishedLocked(lock);
  size_t& from_address = per_address_[address];
  if (running_ >= max_threads_ || from_address >= max_per_address_) {
    if (from_address == 0) per_address_.erase(address);
    return false;
  }
  ++running_;
  ++from_address;
  workers_.emplace_back();
  Worker* worker = &workers_.back();
  worker->thread = std::thread([this, worker, address, serve = std::move(serve)] {
    serve();
    std::lock_guard<std::mutex> done_lock(mutex_);
    worker->done = true;
    --running_;
    if (auto found = per_address_.find(address); found != per_address_.end()) {
      if (--found->second == 0) per_address_.erase(found);
    }
    finished_cv_.notify_all();
  });
  return true;
}

void ConnectionThreads::shutdown() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_cv_.wait(lock, [this] { return running_ == 0; });
  JoinFinishedLocked(lock);
}

}  // namespace nvx::service
