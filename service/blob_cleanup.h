// The blob folder's cleanup while the server runs: at start and then periodically, it
// removes what no document names and what was left half-written. With the embedded store
// (one serving process) a temporary file no writer holds goes at start, and a blob no
// document names once it is a minute old. With the shared store the blob folder and the
// database serve other processes too, possibly on other machines: only what the
// database no longer references and what is older than the lease goes, and the claims of
// processes that ended are removed from the database. Its own thread; Start and Stop on
// the program's main thread.
#ifndef NVX_SERVICE_BLOB_CLEANUP_H_
#define NVX_SERVICE_BLOB_CLEANUP_H_

#include <cstdint>
#include <thread>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"
#include "service/store/blob_store.h"
#include "service/store/store.h"

namespace nvx::service {

class BlobCleanup {
 public:
  // `lease_seconds`: the age from which a shared folder's unnamed files go;
  // `every_seconds`: the time between two cleanups. `store` and `blobs` must outlive it.
  BlobCleanup(Store& store, const BlobStore& blobs, bool shared, int64_t lease_seconds,
              int64_t every_seconds);
  ~BlobCleanup();
  BlobCleanup(const BlobCleanup&) = delete;
  BlobCleanup& operator=(const BlobCleanup&) = delete;

  // Cleans once now (the start-up cleanup), then every `every_seconds` on a thread of its
  // own until Stop.
  void Start();
  void Stop() EXCLUDES(mutex_);

 private:
  // One cleanup; `starting` for the first.
  void CleanOnce(bool starting);
  void Run() EXCLUDES(mutex_);

  Store& store_;
  const BlobStore& blobs_;
  const bool shared_;
  const int64_t lease_seconds_;
  const int64_t every_seconds_;
  platform::Mutex mutex_;
  platform::CondVar stop_requested_;
  bool stopping_ GUARDED_BY(mutex_) = false;
  std::thread thread_;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_BLOB_CLEANUP_H_
