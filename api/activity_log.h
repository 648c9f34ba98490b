// The activity log: one plain-text file per CNvxapi, written by both threads. Each line
// is gated by the log level's bits, written and flushed under the trace lock, so lines of
// the two threads never mix. The log is named by the local time of opening and starts
// and ends with its open and close lines.
#ifndef NVX_API_ACTIVITY_LOG_H_
#define NVX_API_ACTIVITY_LOG_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "api/shared_block.h"
#include "platform/file.h"
#include "protocol/reporter.h"  // the level bits and line kinds

namespace nvx {

// Opens a new log in `directory`, named by the local time, emptying a file of that name,
// and writes the open line. `full_name` receives the name even when the open fails.
platform::File OpenActivityLog(const std::string& directory, std::string* full_name);
// Writes the close line and closes the log; nothing when it is not open.
void CloseActivityLog(platform::File& log);

// SetLogLevel: stores the level (8 adds 1, 2 and 4), closes the open log, opens a new one
// and opens the pending results file when none is open. Caller's thread.
void ReopenActivityLog(SharedBlock& block, int32_t level);

// Writes one formatted line when the level has any of `bits` and a log is open.
void LogLine(SharedBlock& block, int32_t bits, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void LogText(SharedBlock& block, int32_t bits, std::string_view text);

// The call trace line of a facade operation ("CALLMEMBER ...").
[[nodiscard]] inline const char* TraceFlag(bool flag) {
  return flag ? "1" : "0";
}

// The "Transfer Stats:" dump of the live counters (script bit).
void DumpTransferStats(SharedBlock& block);

}  // namespace nvx

#endif  // NVX_API_ACTIVITY_LOG_H_
