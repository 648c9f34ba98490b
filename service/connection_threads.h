// The HTTP server's task queue: every accepted connection gets a thread of its own, so a
// slow client never holds another up. At most `max_threads` connections are served at
// once; beyond that the accepting thread waits for one to end (further clients wait in
// the listen queue). Threads that ended are joined when the next connection comes and at
// shutdown. enqueue and shutdown are called by the accepting thread only.
#ifndef NVX_SERVICE_CONNECTION_THREADS_H_
#define NVX_SERVICE_CONNECTION_THREADS_H_

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace nvx::service {

class ConnectionThreads final : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(size_t max_threads) : max_threads_(max_threads) {}
  ~ConnectionThreads() override;

  void enqueue(std::function<void()> task) override;
  // Waits for every connection thread to end.
  void shutdown() override;

 private:
  struct Worker {
    std::thread thread;
    bool done = false;
  };
  void JoinFinishedLocked(std::unique_lock<std::mutex>& lock);

  const size_t max_threads_;
  std::mutex mutex_;
  std::condition_variable finished_cv_;
  std::list<Worker> workers_;
  size_t running_ = 0;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_CONNECTION_THREADS_H_
