#include "runner/transfer_meter.h"

#include <algorithm>

#include "jobfiles/run_status_file.h"

namespace nvx {
namespace {

// Samples of the rate are kept at most this often, however fast the polls.
constexpr int64_t kSampleSpacingMillis = 100;

const char* NameOf(const TransferProgress& snapshot) {
  return snapshot.file_name != nullptr ? snapshot.file_name : "";
}

}  // namespace

int64_t FilesMoved(const TransferProgress& snapshot) {
  return static_cast<int64_t>(snapshot.files_uploaded) + snapshot.files_upload_updated +
         snapshot.files_downloaded + snapshot.files_download_updated;
}

TransferMeter::TransferMeter(std::optional<WorkCount> work, int64_t block_bytes, SizeLookup size_of)
    : work_(work), block_bytes_(block_bytes), size_of_(std::move(size_of)) {}

void TransferMeter::StartFile(const TransferProgress& snapshot) {
  current_ = FileInHand{};
  current_.sequence = snapshot.sequence;
  current_.name = NameOf(snapshot);
  if (std::optional<int64_t> size = size_of_ ? size_of_(current_.name) : std::nullopt) {
    current_.size = *size;
  }
  current_.moved_at_start = FilesMoved(snapshot);
  in_file_ = true;
}

void TransferMeter::FinishFile(const TransferProgress& snapshot) {
  if (!in_file_) return;
  ++files_done_;
  // Whether it travelled shows in the counts of sent and received files, which the
  // worker has raised by the time the next file is in hand.
  if (FilesMoved(snapshot) > current_.moved_at_start) {
    finished_bytes_ += current_.size;
  } else {
    untravelled_bytes_ += current_.size;
  }
  current_ = FileInHand{};
  in_file_ = false;
}

void TransferMeter::Observe(const TransferProgress& snapshot, int64_t now_millis) {
  if (snapshot.sequence != current_.sequence || !in_file_) {
    if (in_file_ && snapshot.sequence != current_.sequence) {
      // Files the polls did not see one by one (a worker that does not pause) are counted
      // without their sizes.
      const int32_t skipped = snapshot.sequence - current_.sequence - 1;
      FinishFile(snapshot);
      if (skipped > 0) files_done_ += skipped;
    }
    if (snapshot.sequence != 0 && !in_file_ && NameOf(snapshot)[0] != '\0') StartFile(snapshot);
  }
  if (in_file_ && snapshot.total_blocks > 0) {
    const int64_t blocks = std::clamp<int64_t>(snapshot.block, 0, snapshot.total_blocks);
    if (current_.size <= 0)
      current_.size = static_cast<int64_t>(snapshot.total_blocks) * block_bytes_;
    current_.done = std::max(current_.done, current_.size * blocks / snapshot.total_blocks);
  }
  const int64_t bytes = BytesDone();
  if (bytes > 0 && !first_byte_at_) first_byte_at_ = now_millis;
  if (samples_.empty() || now_millis - samples_.back().millis >= kSampleSpacingMillis) {
    samples_.push_back({now_millis, bytes});
  } else {
    samples_.back().bytes = bytes;
  }
  // The oldest sample kept is the last one at or before the window's start.
  while (samples_.size() > 2 && samples_[1].millis <= now_millis - kRateWindowMillis) {
    samples_.pop_front();
  }
  if (listener_) listener_();
}

void TransferMeter::Finish(const TransferProgress& last) {
  FinishFile(last);
  if (listener_) listener_();
}

int64_t TransferMeter::Rate() const {
  if (samples_.size() < 2) return -1;
  const Sample& first = samples_.front();
  const Sample& last = samples_.back();
  const int64_t span = last.millis - first.millis;
  if (span < 1000) return -1;
  return (last.bytes - first.bytes) * 1000 / span;
}

TransferReading TransferMeter::Reading(int64_t now_millis) const {
  TransferReading reading;
  reading.files_done = files_done_;
  reading.bytes_done = BytesDone();
  reading.current_file = current_.name;
  if (work_) {
    reading.files_total = std::max(work_->files, files_done_ + (in_file_ ? 1 : 0));
    reading.bytes_total = std::max(work_->bytes - untravelled_bytes_, reading.bytes_done);
  }
  reading.rate = Rate();
  if (reading.rate > 0 && reading.bytes_total >= 0 && first_byte_at_ &&
      now_millis - *first_byte_at_ >= kEstimateSettleMillis) {
    const int64_t left = reading.bytes_total - reading.bytes_done;
    reading.seconds_left = (left + reading.rate - 1) / reading.rate;
  }
  return reading;
}

std::string MeterLineText(const TransferReading& reading) {
  if (reading.rate < 0) return {};
  std::string text = jobfiles::ByteSizeText(reading.rate) + "/s";
  if (reading.seconds_left >= 0) {
    text += ", " + jobfiles::DurationText(reading.seconds_left) + " left";
  }
  // Blanks cover what a longer text of the last redraw left on the line.
  return text + "          ";
}

}  // namespace nvx
