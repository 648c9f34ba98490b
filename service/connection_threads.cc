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

void ConnectionThreads::enqueue(std::function<void()> task) {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_cv_.wait(lock, [this] { return running_ < max_threads_; });
  JoinFinishedLocked(lock);
  ++running_;
  workers_.emplace_back();
  Worker* worker = &workers_.back();
  worker->thread = std::thread([this, worker, task = std::move(task)] {
    task();
    std::lock_guard<std::mutex> done_lock(mutex_);
    worker->done = true;
    --running_;
    finished_cv_.notify_all();
  });
}

void ConnectionThreads::shutdown() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_cv_.wait(lock, [this] { return running_ == 0; });
  JoinFinishedLocked(lock);
}

}  // namespace nvx::service
