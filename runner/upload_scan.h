// The work of an upload job counted before it starts: the files its walk of the local
// folder will look at and their bytes, by the walk's own rules (the job's file or
// pattern, subfolders when asked for, never a folder whose name begins with ".", skip
// folders of the starting folder, excluded extensions). The count serves the progress
// shown to the user only; the engine decides what is sent. The same walk chooses the
// files of a restore test. One thread.
#ifndef NVX_RUNNER_UPLOAD_SCAN_H_
#define NVX_RUNNER_UPLOAD_SCAN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runner/job_config.h"
#include "runner/transfer_meter.h"

namespace nvx {

// None when the folder cannot be read or holds more than kUploadScanMaxEntries entries.
std::optional<WorkCount> CountUploadWork(const JobEntry& job);

// A local file the job's walk finds, as the restore test needs it.
struct SampledFile {
  std::string folder;  // relative to the job's local folder, "/" between names; "" on top
  std::string name;
  int64_t size = 0;
  int64_t last_write_time = 0;  // seconds since 1970 UTC
};

// Up to `count` files of the job's walk chosen at random (each equally likely, `seed`
// deciding), leaving out empty files, which are never stored, names a download would take
// for a pattern ("*", "?"), and, when `written_before` is not 0, files written since then
// (seconds since 1970), which the last backup may not hold. None as for CountUploadWork.
// Memory grows with `count` only.
std::optional<std::vector<SampledFile>> SampleJobFiles(const JobEntry& job, int count,
                                                       uint32_t seed, int64_t written_before);

}  // namespace nvx

#endif  // NVX_RUNNER_UPLOAD_SCAN_H_
