#include "api/file_access_pause.h"

#include <mutex>

namespace nvx {

bool WaitForFileAccess(TransferSession& session) {
  SharedBlock& block = session.block();
  if (block.pause_after_each_file && !session.StopRequested()) {
    {
      std::lock_guard<std::mutex> lock(block.state_lock);
      block.live_progress.waiting = 1;
    }
    // The destructor signals this event after asking the worker to stop.
    block.next_event.Wait();
    {
      std::lock_guard<std::mutex> lock(block.state_lock);
      block.live_progress.waiting = 0;
    }
  }
  return !session.StopRequested();
}

}  // namespace nvx
