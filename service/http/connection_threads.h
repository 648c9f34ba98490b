// The service's connection threads: every admitted connection gets a thread of its own,
// so a slow client never holds another up. Admission happens on the accepting thread and
// never blocks it.
//
// Admission: a connection its client has closed counts no more, also while its thread has
// not yet read the close (a client that closes a connection and at once opens the next
// must not find the old one still counted): where a limit is reached, such a connection is
// ended first and makes room. A connection from an address that holds its share already
// is refused otherwise. When every place is taken, the connection that has waited longest
// for a request (idle: no byte of a request has come since its last reply, or since it was
// accepted) makes room, but only one of an address that holds more connections than the
// newcomer's: an address may take places from heavier ones, never from lighter or equal
// ones, so shares drift towards even and no address can push others out for good, however
// often it reconnects.
// A connection in the middle of a request or a body is never ended. One that is answering
// counts as idle for the closed-connection rule only: its client may read the reply's
// last byte, close and connect again before the thread is back from logging it, and is
// not refused for that. When no connection may make room, the newcomer is refused.
//
// Threads that ended are joined when the next connection comes and at shutdown. Start and
// Shutdown are called by the accepting thread only; a ConnectionSlot by its connection's
// thread.
#ifndef NVX_SERVICE_HTTP_CONNECTION_THREADS_H_
#define NVX_SERVICE_HTTP_CONNECTION_THREADS_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <string>
#include <thread>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"

namespace nvx::service {

class ConnectionSlot;

class ConnectionThreads {
 public:
  ConnectionThreads(size_t max_threads, size_t max_per_address)
      : max_threads_(max_threads), max_per_address_(max_per_address) {}
  ~ConnectionThreads();
  ConnectionThreads(const ConnectionThreads&) = delete;
  ConnectionThreads& operator=(const ConnectionThreads&) = delete;

  // Runs `serve` on a thread of its own for a connection from `address`, ending an idle
  // connection to make room when needed (see above); false (and nothing runs) when the
  // connection is refused. `peer_gone` tells, from the accepting thread, whether the
  // client has closed the connection (none: never asked).
  bool Start(const std::string& address, std::function<void(ConnectionSlot&)> serve,
             std::function<bool()> peer_gone = {}) EXCLUDES(mutex_);
  // Waits for every connection thread to end.
  void Shutdown() EXCLUDES(mutex_);

 private:
  friend class ConnectionSlot;
  // One connection's thread. Its fields but `thread` and `ended` are guarded by mutex_.
  struct Worker {
    std::thread thread;
    std::string address;
    bool done = false;
    bool idle = true;                // waiting for a request's first byte
    bool answering = false;          // writing a reply, the request read as far as it goes
    uint64_t idle_since = 0;         // when it began to wait, in admission-step order
    std::atomic<bool> ended{false};  // ended to make room; no longer counted
    std::function<bool()> peer_gone;
  };
  // Joins the threads that have finished, outside the lock they need for finishing.
  void JoinFinishedLocked() REQUIRES(mutex_);
  // Ends the idle connection that has waited longest among those of addresses holding
  // more than `newcomer_count` connections. False when there is none.
  bool MakeRoomLocked(size_t newcomer_count) REQUIRES(mutex_);
  // Ends an idle or answering connection whose client has closed it, from `address`
  // (null: from any address). False when there is none.
  bool EndClosedLocked(const std::string* address) REQUIRES(mutex_);
  // Ends `worker` to make room: its place is free from now on.
  void EndLocked(Worker& worker) REQUIRES(mutex_);
  void ReleasePlaceLocked(const std::string& address) REQUIRES(mutex_);
  // The end of a connection's thread.
  void Finished(Worker* worker) EXCLUDES(mutex_);

  const size_t max_threads_;
  const size_t max_per_address_;
  platform::Mutex mutex_;
  platform::CondVar finished_;  // a connection's thread finished
  std::list<Worker> workers_ GUARDED_BY(mutex_);
  size_t running_ GUARDED_BY(mutex_) = 0;  // connections that hold a place
  // Connections ended to make room whose threads have not finished yet. They see the
  // end within a wait slice; at most max_threads_ of them, so threads stay bounded.
  size_t ending_ GUARDED_BY(mutex_) = 0;
  uint64_t clock_ GUARDED_BY(mutex_) = 0;  // orders the moments connections began to wait
  std::map<std::string, size_t> per_address_ GUARDED_BY(mutex_);
};

// What a connection's thread tells the admission step about itself.
class ConnectionSlot {
 public:
  // The connection waits for the first byte of its next request: it may be ended to make
  // room from now on.
  void WaitingForRequest();
  // The request's reply is about to be written: from now on the connection makes room for
  // a newcomer once its client has closed it.
  void Answering();
  // A request began: the connection keeps its place until it calls WaitingForRequest
  // again. False when it was ended to make room before; it must close then.
  bool Serving();
  // Set once the connection was ended to make room; its waits end when they see it.
  const std::atomic<bool>& ended() const;

 private:
  friend class ConnectionThreads;
  ConnectionSlot(ConnectionThreads* owner, ConnectionThreads::Worker* worker)
      : owner_(owner), worker_(worker) {}
  ConnectionThreads* owner_;
  ConnectionThreads::Worker* worker_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_CONNECTION_THREADS_H_
