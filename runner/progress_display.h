// The console progress display: the loops in which the job driver waits for a transfer
// (upload, download, sending the log) or a clean-up to finish. With the job's progress
// flag the loop keeps one console line up to date (the file in hand, its phase, its block
// count, a spinner while compressing) and releases the library's pause after each file
// once it has seen the file (the library wakes it when a file ends); with the debug flag
// it prints a line per file and the counters at the end. It reads the library through
// TransferWatch, so that tests can play snapshots to it. Runs on the job runner's only thread.
#ifndef NVX_RUNNER_PROGRESS_DISPLAY_H_
#define NVX_RUNNER_PROGRESS_DISPLAY_H_

#include <cstdint>
#include <functional>
#include <string>

#include "api/nvxapi.h"
#include "runner/console.h"
#include "runner/transfer_meter.h"

namespace nvx {

// What the display reads from the library and the one thing it does to it.
class TransferWatch {
 public:
  virtual ~TransferWatch() = default;
  virtual int32_t Status() = 0;
  // A fresh snapshot; its file name stays valid until the next call.
  virtual TransferProgress Snapshot() = 0;
  // Lets the worker go on to the next file.
  virtual void ReleasePause() = 0;
  // Waits up to `millis` for the next change worth a look (a file begins, the worker
  // pauses, the transfer ends); without a way to hear of one, it simply sleeps on the
  // process clock.
  virtual void WaitForChange(int millis);
  virtual std::string StatusMessage() = 0;
  virtual int32_t ErrorCode() = 0;
  virtual std::string HttpResponse() = 0;
};

// The watch over a CNvxapi, which must outlive it.
class ApiTransferWatch final : public TransferWatch {
 public:
  explicit ApiTransferWatch(CNvxapi& api) : api_(api) {}
  int32_t Status() override { return api_.GetStatus(); }
  TransferProgress Snapshot() override { return *api_.GetTransferProgress(); }
  void ReleasePause() override { api_.SyncFileAccessNext(); }
  // The library wakes the display when a file ends, so a pause after each file costs a
  // thread switch, not a poll interval.
  void WaitForChange(int millis) override {
    static_cast<void>(api_.WaitTransferChange(millis));  // a time-out is just another look
  }
  std::string StatusMessage() override;
  int32_t ErrorCode() override { return api_.GetErrorCode(); }
  std::string HttpResponse() override;

 private:
  CNvxapi& api_;
};

struct DisplaySettings {
  bool progress = false;  // keep the console line up to date
  bool debug = false;     // a line per file and the counters at the end
  bool pause_on = false;  // the library pauses after each file (the job's progress flag)
  int poll_sleep_millis = 5;
  int display_interval = 200;  // polls between two redraws of an unchanged line
  std::string results_type;
  // Takes every snapshot of a transfer; its rate and time left follow the block count on
  // the console line. None: the line shows the block count alone.
  TransferMeter* meter = nullptr;
  // Called at every poll of either loop (the run's status file is kept alive from it).
  std::function<void()> on_poll;
};

// Waits, looking at each change the watch reports (at least every poll interval), until
// the transfer in hand is no longer busy.
void RunTransferLoop(TransferWatch& watch, const DisplaySettings& settings, Console& console);

// Waits until a clean-up is no longer busy, turning a spinner with progress on.
void RunCleanSpinner(TransferWatch& watch, const DisplaySettings& settings, Console& console);

}  // namespace nvx

#endif  // NVX_RUNNER_PROGRESS_DISPLAY_H_
