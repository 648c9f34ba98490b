// The job runner's bounds: its configuration file and the wait for the run mutex.
#ifndef NVX_RUNNER_RUNNER_LIMITS_H_
#define NVX_RUNNER_RUNNER_LIMITS_H_

#include <cstddef>
#include <cstdint>

namespace nvx {

// CNvxauth writes at most this many bytes, the terminating zero included (nvxapi.h).
inline constexpr size_t kAuthOutputCapacity = 256;

// The job runner's configuration file. A field of width n holds at most n - 1
// characters; a longer value is refused (the file is invalid), never cut, because a cut
// path or password would silently run a different job.
inline constexpr size_t kConfigFileMaxBytes = 4 * 1024 * 1024;
// Characters of one line kept for matching; the rest of a longer line is dropped, never
// read as a line of its own. Longer than every keyword plus its widest field, so that a
// dropped rest always makes its value too long for its field.
inline constexpr size_t kConfigLineMax = 2048;
inline constexpr size_t kConfigUserWidth = 64;
inline constexpr size_t kConfigPasswordWidth = 128;
// A list of servers ("https://host:port, ..."), as wide as the library takes it.
inline constexpr size_t kConfigServerHostWidth = 512;
inline constexpr size_t kConfigServerCaFileWidth = 512;
inline constexpr size_t kConfigProxyHostWidth = 64;
inline constexpr size_t kConfigProxyPortWidth = 16;
inline constexpr size_t kConfigProxyIdWidth = 64;
// Holds a scrambled proxy password, which is longer than the password it hides.
inline constexpr size_t kConfigProxyPasswordWidth = 256;
// A plain text scrambled by the reader; its scrambled form then fits the scrambler's
// 256-byte output.
inline constexpr size_t kConfigScrambleInputMax = 127;
inline constexpr size_t kConfigLogDirectoryWidth = 512;
inline constexpr size_t kConfigResultsTypeWidth = 32;
inline constexpr size_t kConfigServerPathWidth = 512;
inline constexpr size_t kConfigServerFileWidth = 512;
inline constexpr size_t kConfigLocalPathWidth = 512;
inline constexpr size_t kConfigLocalFileWidth = 256;
inline constexpr size_t kConfigListEntryWidth = 1024;
// Files a job keeps in flight at once ("Transfers "), each on a connection of its own.
inline constexpr int32_t kConfigTransfersMax = 8;

// The count of an upload job's work before it starts gives up (the progress then shows
// no total) beyond this many folder entries.
inline constexpr int64_t kUploadScanMaxEntries = 2'000'000;
// How deep the restore test's temporary folder is removed (it nests two folders deep).
inline constexpr int kRestoreTestMaxDepth = 8;

// How long a job runner run waits for the run in progress before it gives up, and how
// often it looks.
inline constexpr int64_t kRunMutexWaitLimitMillis = 24LL * 60 * 60 * 1000;
inline constexpr int64_t kRunMutexPollMillis = 250;

}  // namespace nvx

#endif  // NVX_RUNNER_RUNNER_LIMITS_H_
