// Every bound on a text or buffer that grows from a setting, a file or a peer lives
// here. A field of width n holds at most n - 1 characters (FitToWidth); exceeding any
// other bound is a clean failure, never an allocation of what a peer announced.
#ifndef NVX_API_LIMITS_H_
#define NVX_API_LIMITS_H_

#include <cstddef>

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

// How long the destructor waits for a worker that was asked to stop, in milliseconds.
inline constexpr int kWorkerStopWaitMillis = 1000;

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
