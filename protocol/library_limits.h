// Every bound of the library on a text or buffer that grows from a setting, a file or a
// peer. A field of width n holds at most n - 1 characters (FitToWidth); exceeding any
// other bound is a clean failure, never an allocation of what a peer announced. The
// header includes only the wire's limits (a leaf), so that every layer of the library
// above the wire may include it.
#ifndef NVX_PROTOCOL_LIBRARY_LIMITS_H_
#define NVX_PROTOCOL_LIBRARY_LIMITS_H_

#include <cstddef>
#include <cstdint>

#include "wire/wire_limits.h"

namespace nvx {

// Fixed-width settings of the shared block; longer values are cut to fit.
// A list of servers, each up to "https://" and a 127-character host with its port.
inline constexpr size_t kServerHostWidth = 512;
// The path of the PEM file of the authorities a TLS service's certificate must chain to.
inline constexpr size_t kServerCaFileWidth = 512;
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

// Service exchanges.
// A response header is read up to this many bytes; a longer one is used as it stands.
inline constexpr size_t kResponseHeaderMax = 4096;
// The largest reply body a service command accepts; a larger Content-Length is a broken
// reply, never an allocation of that size.
inline constexpr int64_t kCommandReplyBodyMax = int64_t{64} * 1024 * 1024;
// A reply body keeps arriving at this rate or it is a broken transfer: a stretch of
// kBodyRateWindowMillis or longer that brought fewer bytes than
// kBodyRateFloorBytesPerSecond per second ends the exchange. Each receive has a time-out
// of its own, but a server that drips a large body a byte now and then meets none.
inline constexpr int64_t kBodyRateFloorBytesPerSecond = 1024;
inline constexpr int64_t kBodyRateWindowMillis = 60000;
// Interim answers ("HTTP/1.1 100", each at most kResponseHeaderMax bytes) taken before
// the real answer; one more breaks the exchange off.
inline constexpr int kInterimAnswersMax = 8;
// Texts taken from reply headers.
inline constexpr size_t kConclusionMax = 63;
inline constexpr size_t kHttpResponseLineMax = 127;
inline constexpr size_t kReplyVersionIdMax = kWireVersionIdMax;
inline constexpr size_t kReplyDateStampMax = kWireDateStampTextMax;
// "id:password" of the proxy's Basic authorization.
inline constexpr size_t kProxyCredentialsMax = 128;
// The version file is read up to this many bytes.
inline constexpr size_t kVersionFileMax = 2031;
// Entries of a server file list.
inline constexpr size_t kServerFileNameMax = 511;
inline constexpr size_t kServerFileDateMax = 31;
// Entries one server file list may hold; later entries are refused and reported. With
// the reply bound above, this keeps a list of tiny entries from costing ten times its
// bytes.
inline constexpr size_t kServerFileListMaxEntries = 500000;
// Refused entries of one list that are kept by name and reported one by one; the rest
// are counted and reported together.
inline constexpr size_t kServerFileListRefusalsKept = 100;
// Folders a "FolderList" reply may describe; a longer list is refused as a whole. At
// this bound the folder tree stays well under 256 MiB (bench/folder_list_memory).
inline constexpr size_t kFolderListMaxFolders = 500000;
// The path FolderPath builds.
inline constexpr size_t kFolderPathMax = 2047;

// How long the destructor waits for a worker that was asked to stop, in milliseconds.
inline constexpr int kWorkerStopWaitMillis = 1000;
// Files a transfer keeps in flight at once at most (SetTransfers), each with a connection,
// a piece buffer and a recorded report of its own until its turn in the walk comes.
inline constexpr int32_t kTransfersMax = 8;

}  // namespace nvx

#endif  // NVX_PROTOCOL_LIBRARY_LIMITS_H_
