// What a transfer engine (upload, download, delta, clean) works with. An engine is a
// function `bool Engine(EngineContext&)`, registered in the command table through the
// routine of its command code; it returns true for status 2 and false for status 3.
// Everything it touches comes through this context, so an engine never sees the shared
// block, its locks or the worker:
//   - job()       the job settings (caller's values, read only while the command runs);
//   - account()   the account's figures (space limit, use and estimate, option bits);
//   - link()      the link to the service (connection, requests, answers);
//   - report()    status texts, conclusion, error code, activity log, results notes;
//   - progress()  the progress the caller reads (begin file, block, count; locks inside);
//   - buffer()    the reusable transfer buffer, kTransferBufferSize bytes;
//   - StopRequested() the stop flag, checked between blocks and files;
//   - PauseAfterFile() the pause after each file (SyncFileAccess), called once a file is
//     done; false when the engine is to stop.
// What an engine works on (the mapped server folder) comes as an argument of its entry
// point, and what it knows of the file in hand lives in values the engine owns, never in
// the context: a second file in flight runs on a context derived with its own link and
// buffer (the second constructor), sharing only the job, the account figures, the
// reports and the stop flag. Worker thread only.
#ifndef NVX_ENGINES_ENGINE_CONTEXT_H_
#define NVX_ENGINES_ENGINE_CONTEXT_H_

#include <cstdint>
#include <functional>
#include <span>
#include <utility>

#include "protocol/service_session.h"

namespace nvx {

class EngineContext : public ServiceSession {
 public:
  EngineContext(const JobSettings& job, AccountFigures& account, Reporter& report,
                ProgressSink& progress, ServiceLink& link, const std::atomic<bool>& stop,
                std::span<uint8_t> buffer, std::function<bool()> pause_after_file)
      : ServiceSession(job, account, report, progress, link, stop),
        buffer_(buffer),
        pause_after_file_(std::move(pause_after_file)) {}
  // The same context on another link with a transfer buffer of its own: what a second
  // file in flight runs on.
  EngineContext(const EngineContext& base, ServiceLink& link, std::span<uint8_t> buffer)
      : ServiceSession(base, link), buffer_(buffer), pause_after_file_(base.pause_after_file_) {}

  // The transfer buffer that file reads and digests work through.
  std::span<uint8_t> buffer() { return buffer_; }
  // The pause after each file (see above).
  [[nodiscard]] bool PauseAfterFile() { return pause_after_file_(); }

 private:
  std::span<uint8_t> buffer_;
  // Waits, when the job asked for a pause after each file, until the caller lets the
  // engine go on; the layer above gives it over its events. False: stop.
  std::function<bool()> pause_after_file_;
};

}  // namespace nvx

#endif  // NVX_ENGINES_ENGINE_CONTEXT_H_
