// The measure of a transfer job, taken from the progress snapshots the display sees: the
// files looked at so far and in all, the bytes that travelled and that will travel, the
// rate and the time left. Files the service already holds (matched by date or digest)
// travel no bytes: their size leaves the total once they are seen, so the estimate
// follows what is really sent. The rate is taken over the last seconds; the time left is
// given only once the transfer has run a few seconds, when the rate means something.
// One thread (the job runner's).
#ifndef NVX_RUNNER_TRANSFER_METER_H_
#define NVX_RUNNER_TRANSFER_METER_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "api/nvxapi.h"

namespace nvx {

// The files and bytes a job will look at, counted before it starts.
struct WorkCount {
  int64_t files = 0;
  int64_t bytes = 0;
};

struct TransferReading {
  int64_t files_done = 0;
  int64_t files_total = -1;  // -1: unknown
  int64_t bytes_done = 0;
  int64_t bytes_total = -1;  // -1: unknown
  int64_t rate = -1;         // bytes per second; -1: not yet measured
  int64_t seconds_left = -1;
  std::string current_file;
};

// The rate is measured over this much of the recent past.
inline constexpr int64_t kRateWindowMillis = 10000;
// No estimate of the time left before the bytes have moved this long.
inline constexpr int64_t kEstimateSettleMillis = 3000;

class TransferMeter {
 public:
  // The size of a local file, none when it cannot be read.
  using SizeLookup = std::function<std::optional<int64_t>(const std::string& path)>;

  // `work` is what the job will look at (none when unknown, as for downloads);
  // `block_bytes` the bytes of one progress block (2048 up, 1024 down).
  TransferMeter(std::optional<WorkCount> work, int64_t block_bytes, SizeLookup size_of);

  // Takes one snapshot seen at `now_millis` (a monotonic count).
  void Observe(const TransferProgress& snapshot, int64_t now_millis);
  // The transfer is over: the file in hand counts as done, as `last` tells.
  void Finish(const TransferProgress& last);
  TransferReading Reading(int64_t now_millis) const;

  // Called after every Observe, for whoever reports the reading elsewhere.
  void SetListener(std::function<void()> listener) { listener_ = std::move(listener); }

 private:
  struct FileInHand {
    int32_t sequence = 0;
    std::string name;
    int64_t size = 0;
    int64_t done = 0;  // bytes of it that travelled so far
    int64_t moved_at_start = 0;
  };

  void StartFile(const TransferProgress& snapshot);
  void FinishFile(const TransferProgress& snapshot);
  int64_t BytesDone() const { return finished_bytes_ + current_.done; }
  // Rate over the window, -1 while it spans less than a second.
  int64_t Rate() const;

  std::optional<WorkCount> work_;
  int64_t block_bytes_;
  SizeLookup size_of_;
  std::function<void()> listener_;

  bool in_file_ = false;
  FileInHand current_;
  int64_t files_done_ = 0;
  int64_t finished_bytes_ = 0;
  int64_t untravelled_bytes_ = 0;  // sizes of files that were looked at but not sent
  std::optional<int64_t> first_byte_at_;
  struct Sample {
    int64_t millis;
    int64_t bytes;
  };
  std::deque<Sample> samples_;
};

// The counts of files sent or received so far in a snapshot.
int64_t FilesMoved(const TransferProgress& snapshot);

// What the console line adds after its block count: the rate and the time left, or ""
// while the rate is unknown.
std::string MeterLineText(const TransferReading& reading);

}  // namespace nvx

#endif  // NVX_RUNNER_TRANSFER_METER_H_
