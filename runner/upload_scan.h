// The work of an upload job counted before it starts: the files its walk of the local
// folder will look at and their bytes, by the walk's own rules (the job's file or
// pattern, subfolders when asked for, never a folder whose name begins with ".", skip
// folders of the starting folder, excluded extensions). The count serves the progress
// shown to the user only; the engine decides what is sent. One thread.
#ifndef NVX_RUNNER_UPLOAD_SCAN_H_
#define NVX_RUNNER_UPLOAD_SCAN_H_

#include <optional>

#include "runner/job_config.h"
#include "runner/transfer_meter.h"

namespace nvx {

// None when the folder cannot be read or holds more than kUploadScanMaxEntries entries.
std::optional<WorkCount> CountUploadWork(const JobEntry& job);

}  // namespace nvx

#endif  // NVX_RUNNER_UPLOAD_SCAN_H_
