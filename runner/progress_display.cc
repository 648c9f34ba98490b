#include "runner/progress_display.h"

#include "platform/clock.h"
#include "platform/text_format.h"

namespace nvx {
namespace {

constexpr char kSpinner[] = "|/-\\|";
constexpr int kSpinnerFrames = 5;
// How long the lines of a transfer may wait in the console's buffer: the loop looks at
// least every poll interval, so a line shows within this and one interval.
constexpr int64_t kFlushIntervalMillis = 20;

const char* FileName(const TransferProgress& snapshot) {
  return snapshot.file_name != nullptr ? snapshot.file_name : "";
}

class TransferDisplay {
 public:
  TransferDisplay(TransferWatch& watch, const DisplaySettings& settings, Console& console)
      : watch_(watch), settings_(settings), console_(console) {}

  void Run() {
    // The library's progress starts from sequence 0 at every job (the driver resets it),
    // so a first file that the worker began before this first look is still a new file.
    last_sequence_ = 0;
    platform::Clock& clock = platform::GetClock();
    console_.HoldFlushes(true);
    int64_t flushed = clock.MonotonicMillis();
    while (watch_.Status() == 1) {
      TransferProgress snapshot = watch_.Snapshot();
      // The file has been seen once its snapshot is taken: a paused worker goes on while
      // this loop measures it, keeps the status file and writes its lines.
      NoteWorkerState(snapshot);
      if (settings_.pause_on && snapshot.waiting != 0) Release(snapshot);
      const int64_t now = clock.MonotonicMillis();
      if (settings_.meter != nullptr) settings_.meter->Observe(snapshot, now);
      if (settings_.on_poll) settings_.on_poll();
      if (snapshot.sequence != last_sequence_) {
        NewFile(snapshot);
      } else if (settings_.progress) {
        SameFile(snapshot);
      }
      if (now - flushed >= kFlushIntervalMillis) {
        console_.Flush();
        flushed = now;
      }
      watch_.WaitForChange(settings_.poll_sleep_millis);
    }
    console_.Flush();
    console_.HoldFlushes(false);
    TransferProgress last = watch_.Snapshot();
    if (settings_.meter != nullptr) {
      settings_.meter->Observe(last, clock.MonotonicMillis());
      settings_.meter->Finish(last);
    }
    if (shown_ && settings_.progress) FinishLineAtEnd(last.phase);
    if (settings_.debug) PrintCounters();
  }

 private:
  // A new file began, or the folder pass restarted.
  void NewFile(const TransferProgress& snapshot) {
    if (shown_ && settings_.progress) FinishLineInLoop(snapshot.phase);
    shown_ = true;
    if (snapshot.sequence != 0) {
      if (settings_.debug) {
        console_.Print("File Transfer %d name %s\n", snapshot.sequence, FileName(snapshot));
      }
      if (settings_.progress && FileName(snapshot)[0] != '\0') {
        console_.Print("\nFile name %s\nStarting", FileName(snapshot));
      }
    }
    last_sequence_ = snapshot.sequence;
    idle_polls_ = 0;
  }

  void SameFile(const TransferProgress& snapshot) {
    ++idle_polls_;
    if (idle_polls_ > settings_.display_interval && FileName(snapshot)[0] != '\0') {
      Redraw(snapshot);
      idle_polls_ = 0;
    }
    // A pause (let go above) starts the count of quiet polls again.
    if (snapshot.waiting != 0) idle_polls_ = 0;
  }

  // A pause is let go once. The worker shows waiting until it has woken, so later polls
  // may see the same waiting snapshot again; a second release would be kept by the
  // library's event and let the worker run past its next pause unseen. The guard ends as
  // soon as the worker is seen awake or on another file. Should the same file still show
  // waiting a whole display interval later, it is let go again: it may be a new pause that
  // looks the same (a new folder pass whose first file has the same number), and a worker
  // must never be left waiting for good.
  void NoteWorkerState(const TransferProgress& snapshot) {
    if (!release_pending_) return;
    if (snapshot.waiting == 0 || snapshot.sequence != released_sequence_) {
      release_pending_ = false;
    } else {
      ++polls_since_release_;
    }
  }

  void Release(const TransferProgress& snapshot) {
    if (release_pending_ && polls_since_release_ <= settings_.display_interval) return;
    watch_.ReleasePause();
    release_pending_ = true;
    released_sequence_ = snapshot.sequence;
    polls_since_release_ = 0;
  }

  std::string BlockText(const TransferProgress& snapshot) const {
    if (last_sequence_ == 0 || snapshot.total_blocks <= 0) return {};
    std::string text = StrFormat("Block %d of %d     ", snapshot.block, snapshot.total_blocks);
    if (settings_.meter != nullptr) {
      text += MeterLineText(settings_.meter->Reading(platform::GetClock().MonotonicMillis()));
    }
    return text;
  }

  char NextSpinnerFrame() { return kSpinner[spinner_count_++ % kSpinnerFrames]; }

  void Redraw(const TransferProgress& snapshot) {
    const char* type = settings_.results_type.c_str();
    switch (snapshot.phase) {
      case kPhaseUploading:
      case kPhaseDownloading:
        console_.PrintText("\rTransfer file   " + BlockText(snapshot));
        break;
      case kPhaseUpdating:
        console_.PrintText("\rUpdating file    " + BlockText(snapshot));
        break;
      case kPhaseSkipping:
        console_.Print("\rSkipping file        ");
        break;
      case kPhaseFileInUse:
        console_.Print("\r%s Fail ( File in use)        ", type);
        break;
      case kPhaseServerInformation:
        console_.Print("\rGetting Server Information about file        ");
        break;
      case kPhaseCompressing:
        console_.Print("\rCompressing file   %c                          ", NextSpinnerFrame());
        break;
      case kPhaseUncompressing:
        console_.Print("\rUncompressing file   %c                          ", NextSpinnerFrame());
        break;
      case kPhaseDeterminingChanges:
        console_.Print("\rDetermining file changes since last %s                           ", type);
        break;
      case kPhaseProcessingChanges:
        console_.Print("\rProcessing changes since last %s                           ", type);
        break;
      default:
        console_.Print("\r                               ");
        break;
    }
  }

  // Ends the line of the previous file when the next one begins.
  void FinishLineInLoop(int32_t phase) {
    const char* type = settings_.results_type.c_str();
    switch (phase) {
      case kPhaseUploading:
      case kPhaseDownloading:
        console_.Print("\r%s   Complete                              ", type);
        break;
      case kPhaseUpdating:
        console_.Print("\rUpdating file     Complete              ");
        break;
      case kPhaseSkipping:
        console_.Print("\rSkipping File               ");
        break;
      case kPhaseFileInUse:
        console_.Print("\r%s Failed ( File in use) ", type);
        break;
      default:
        console_.Print("\r                               ");
        break;
    }
  }

  // Ends the line of the last file when the transfer is over.
  void FinishLineAtEnd(int32_t phase) {
    const char* type = settings_.results_type.c_str();
    switch (phase) {
      case kPhaseUploading:
      case kPhaseDownloading:
        console_.Print("\r%s   Complete                        ", type);
        break;
      case kPhaseUpdating:
        console_.Print("\rUpdating file     Complete              ");
        break;
      case kPhaseSkipping:
        console_.Print("\rSkipping File                            ");
        break;
      case kPhaseFileInUse:
        console_.Print("\r%s Fail ( File in use)       ", type);
        break;
      default:
        console_.Print("\r                                           ");
        break;
    }
  }

  void PrintCounters() {
    console_.Print("  Status message %s\n", watch_.StatusMessage().c_str());
    console_.Print("  Error Code     %d\n", watch_.ErrorCode());
    console_.Print("  Last HTTP Response %s\n", watch_.HttpResponse().c_str());
    TransferProgress counters = watch_.Snapshot();
    console_.Print("  Files Uploaded %d\n", counters.files_uploaded);
    console_.Print("  Files Upload Updated %d\n", counters.files_upload_updated);
    console_.Print("  Files Upload Matched %d\n", counters.files_upload_matched);
    console_.Print("  Files Upload Zero Length %d\n", counters.files_upload_zero_length);
    console_.Print("  Files Upload Error %d\n", counters.files_upload_error);
    console_.Print("  Files Downloaded %d\n", counters.files_downloaded);
    console_.Print("  Files Download Updated %d\n", counters.files_download_updated);
    console_.Print("  Files Download Matched %d\n", counters.files_download_matched);
    console_.Print("  Files Download Error %d\n", counters.files_download_error);
  }

  TransferWatch& watch_;
  const DisplaySettings& settings_;
  Console& console_;
  int32_t last_sequence_ = 0;
  bool shown_ = false;
  int idle_polls_ = 0;
  int spinner_count_ = 0;
  // A release the worker has not yet been seen to take.
  bool release_pending_ = false;
  int32_t released_sequence_ = 0;
  int polls_since_release_ = 0;
};

}  // namespace

void TransferWatch::WaitForChange(int millis) {
  platform::GetClock().SleepMillis(millis);
}

std::string ApiTransferWatch::StatusMessage() {
  return TextOrEmpty(api_.GetStatusMsg());
}

std::string ApiTransferWatch::HttpResponse() {
  return TextOrEmpty(api_.GetHttpResponse());
}

void RunTransferLoop(TransferWatch& watch, const DisplaySettings& settings, Console& console) {
  TransferDisplay(watch, settings, console).Run();
}

void RunCleanSpinner(TransferWatch& watch, const DisplaySettings& settings, Console& console) {
  platform::Clock& clock = platform::GetClock();
  int polls = 0;
  int spinner_count = 0;
  while (watch.Status() == 1) {
    if (settings.on_poll) settings.on_poll();
    if (++polls > settings.display_interval) {
      polls = 0;
      if (settings.progress) {
        console.Print("\rClean NVX Processing   %c                          ",
                      kSpinner[spinner_count++ % kSpinnerFrames]);
      }
    }
    clock.SleepMillis(settings.poll_sleep_millis);
  }
}

}  // namespace nvx
