// The HTTP server's task queue: every admitted connection gets a thread of its own, so a
// slow client never holds another up. Admission happens on the accepting thread and never
// blocks it: the HTTP library hands each accepted connection to enqueue, which runs the
// server's admission step at once; that step calls Start, which refuses a connection
// beyond the total limit or beyond one address's share. Threads that ended are joined
// when the next connection comes and at shutdown. enqueue, Start and shutdown are called
// by the accepting thread only.
#ifndef NVX_SERVICE_CONNECTION_THREADS_H_
#define NVX_SERVICE_CONNECTION_THREADS_H_

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace nvx::service {

class ConnectionThreads final : public httplib::TaskQueue {
 public:
  ConnectionThreads(size_t max_threads, size_t max_per_address)
      : max_threads_(max_threads), max_per_address_(max_per_address) {}
  ~ConnectionThreads() override;

  // Runs `task` (the server's admission step) on the calling thread.
  void enqueue(std::function<void()> task) override { task(); }
  // Runs `serve` on a thread of its own for a connection from `address`; false (and
  // nothing runs) when the limits are reached.
  bool Start(const std::string& address, std::function<void()> serve);
  // Waits for every connection thread to end.
  void shutdown() override;

 private:
  struct Worker {
    std::thread thread;
    bool done = false;
  };
  void JoinFinishedLocked(std::unique_lock<std::mutex>& lock);

  const size_t max_threads_;
  const size_t max_per_address_;
  std::mutex mutex_;
  std::condition_variable finished_cv_;
  std::list<Worker> workers_;
  size_t running_ = 0;
  std::map<std::string, size_t> per_address_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_CONNECTION_THREADS_H_
