// Every bound on a text or buffer that grows from a setting, a file or a peer lives
// here. A field of width n holds at most n - 1 characters (FitToWidth); exceeding any
// other bound is a clean failure, never an allocation of what a peer announced.
#ifndef NVX_API_LIMITS_H_
#define NVX_API_LIMITS_H_

#include <cstddef>
#include <cstdint>

namespace nvx {

// Fixed-width settings of the shared block; longer values are cut to fit.
inline constexpr size_t kServerHostWidth = 48;
inline constexpr size_t kUserWidth = 48;
inline constexpr size_t kPasswordWidth = 33;
inline constexpr size_t kProxyHostWidth = 64;
inline constexpr size_t kProxyPortWidth = 16;
inline constexpr size_t kProxyIdWidth = 48;
inline constexpr size_t kProxyPasswordWidth = 256;
inline constexpr size_t kServerVersionIdWidth = 16;
inline constexpr size_t kResultsTypeWidth = 32;
inline constexpr size_t kHttpResponseWidth = 128;
inline constexpr size_t kStatusMessageWidth = 1024;
inline constexpr size_t kConclusionWidth = 1024;
inline constexpr size_t kLogFileNameWidth = 512;
inline constexpr size_t kSnapshotFileNameWidth = 512;
inline constexpr size_t kFullLocalPathWidth = 512;
// Skip-folder and excluded-extension entries.
inline constexpr size_t kListEntryWidth = 580;
// The name of the activity log that SendLog sends.
inline constexpr size_t kSendLogNameWidth = 512;

// Texts the worker builds.
inline constexpr size_t kStatisticsTextMax = 4095;
inline constexpr size_t kEmailJustTextMax = 16383;

// The worker's transfer buffer; digests read files in pieces of this size.
inline constexpr size_t kTransferBufferSize = 10240;

// Scrambled texts: the output buffer of CNvxauth and the decode buffer of tokens.
inline constexpr size_t kScrambledTextCapacity = 256;

// Service exchanges.
// A response header is read up to this many bytes; a longer one is used as it stands.
inline constexpr size_t kResponseHeaderMax = 4096;
// The largest reply body a service command accepts; a larger Content-Length is a broken
// reply, never an allocation of that size.
inline constexpr int64_t kCommandReplyBodyMax = int64_t{64} * 1024 * 1024;
// Texts taken from reply headers.
inline constexpr size_t kConclusionMax = 63;
inline constexpr size_t kHttpResponseLineMax = 127;
inline constexpr size_t kReplyVersionIdMax = 15;
inline constexpr size_t kReplyDateStampMax = 15;
// "id:password" of the proxy's Basic authorization.
inline constexpr size_t kProxyCredentialsMax = 128;
// The version file is read up to this many bytes.
inline constexpr size_t kVersionFileMax = 2031;
// Entries of a server file list.
inline constexpr size_t kServerFileNameMax = 511;
inline constexpr size_t kServerFileDateMax = 31;
// Folders a "FolderList" reply may describe; a longer list is refused as a whole. At
// this bound the folder tree stays well under 256 MiB (bench/folder_list_memory).
inline constexpr size_t kFolderListMaxFolders = 500000;
// The path FolderPath builds.
inline constexpr size_t kFolderPathMax = 2047;

// How long the destructor waits for a worker that was asked to stop, in milliseconds.
inline constexpr int kWorkerStopWaitMillis = 1000;

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
inline constexpr size_t kConfigServerHostWidth = 64;
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

// How long a job runner run waits for the run in progress before it gives up, and how
// often it looks.
inline constexpr int64_t kRunMutexWaitLimitMillis = 24LL * 60 * 60 * 1000;
inline constexpr int64_t kRunMutexPollMillis = 250;

// The service stand-in (nvxserver).
// A request's line and header block together; a longer block is refused.
inline constexpr size_t kServiceHeaderBlockMax = 16384;
// The text of one e-mail PUT, padding included.
inline constexpr size_t kServiceEmailTextMax = 65536;
// A folder or document name, in bytes.
inline constexpr size_t kServiceNameMax = 255;
// A version id, in characters (the library keeps 15).
inline constexpr size_t kServiceVersionIdMax = 15;
// The path of a static file below the web folder, in bytes.
inline constexpr size_t kServiceStaticPathMax = 1024;
// Connections served at once; further ones wait in the listen queue.
inline constexpr size_t kServiceConnectionsMax = 256;
// How long a connection may wait for the next byte of a request, and for its next
// request, in milliseconds: as long as the library waits for an answer.
inline constexpr int kServiceReadTimeoutMillis = 180000;
inline constexpr int kServiceKeepAliveMillis = 180000;

}  // namespace nvx

#endif  // NVX_API_LIMITS_H_
