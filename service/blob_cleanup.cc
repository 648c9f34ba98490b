#include "service/blob_cleanup.h"

#include <string>
#include <vector>

#include "platform/text_format.h"
#include "service/http/request_log.h"

namespace nvx::service {
namespace {

// With one serving process, an unreferenced blob this old is no writer's that is about
// to name it.
constexpr int64_t kEmbeddedUnreferencedBlobAgeSeconds = 60;

}  // namespace

BlobCleanup::BlobCleanup(Store& store, const BlobStore& blobs, bool shared, int64_t lease_seconds,
                         int64_t every_seconds)
    : store_(store),
      blobs_(blobs),
      shared_(shared),
      lease_seconds_(lease_seconds),
      every_seconds_(every_seconds) {}

BlobCleanup::~BlobCleanup() {
  Stop();
}

void BlobCleanup::Start() {
  CleanOnce(true);
  thread_ = std::thread([this] { Run(); });
}

void BlobCleanup::Stop() {
  {
    platform::MutexLock lock(mutex_);
    stopping_ = true;
    stop_requested_.NotifyAll();
  }
  if (thread_.joinable()) thread_.join();
}

void BlobCleanup::Run() {
  for (;;) {
    {
      platform::MutexLock lock(mutex_);
      // Waits out the period in pieces, so a stop is seen at once.
      for (int64_t waited = 0; waited < every_seconds_ && !stopping_; ++waited) {
        stop_requested_.WaitFor(mutex_, 1000);
      }
      if (stopping_) return;
    }
    CleanOnce(false);
  }
}

void BlobCleanup::CleanOnce(bool starting) {
  int temporary = 0;
  if (!shared_ && starting) temporary += blobs_.RemoveStaleTemporaryFiles();
  // Whatever store: a temporary file that nobody wrote for the lease is abandoned.
  temporary += blobs_.RemoveExpiredTemporaryFiles(lease_seconds_);
  if (temporary > 0) LogLine(StrFormat("nvxserver removed %d unfinished blob files", temporary));
  if (shared_) store_.RemoveClaimsOfEndedProcesses();
  // The names are read before the folder: a blob named after the reading is younger than
  // the age that lets it go.
  std::vector<std::string> referenced;
  if (!store_.ListBlobNames(&referenced)) return;
  int removed = blobs_.RemoveUnreferencedBlobs(
      referenced, shared_ ? lease_seconds_ : kEmbeddedUnreferencedBlobAgeSeconds);
  if (removed > 0) LogLine(StrFormat("nvxserver removed %d blob files no document names", removed));
}

}  // namespace nvx::service
