// The codes the caller reads, as the library's own code writes them: the command status
// (GetStatus), the error code (GetErrorCode) and the transfer phase of the progress
// record. The exported header, which includes nothing of ours, declares the same values
// for callers; api/code_agreement.cc holds the two to each other at compile time. Any
// thread.
#ifndef NVX_PROTOCOL_CALLER_CODES_H_
#define NVX_PROTOCOL_CALLER_CODES_H_

#include <cstdint>

namespace nvx {

namespace status {
enum Code : int32_t {
  kIdle = 0,
  kBusy = 1,
  kSucceeded = 2,
  kFailed = 3,
};
}  // namespace status

namespace error {
enum Code : int32_t {
  kNone = 0,
  kSocketCreate = 1,
  kConnect = 2,
  kQuotaExceeded = 3,
  kUploadRefused = 4,
  kNoFolderList = 5,
  kFolderNotFound = 6,
  kNoLocalFolder = 7,
  kLocalFileOpen = 8,
  kProxyAuth = 9,
  kIdInvalid = 10,
  kPasswordInvalid = 11,
  kTransferConnection = 12,
  kFileMapping = 13,
  kAccountDisabled = 14,
  kPasswordExpired = 15,
};
}  // namespace error

namespace phase {
enum Code : int32_t {
  kNone = 0,
  kUploading = 1,
  kDownloading = 2,
  kUpdating = 3,
  kSkipping = 4,
  kFileInUse = 5,
  kServerInformation = 6,
  kCompressing = 7,
  kUncompressing = 8,
  kDeterminingChanges = 9,
  kProcessingChanges = 10,
};
}  // namespace phase

}  // namespace nvx

#endif  // NVX_PROTOCOL_CALLER_CODES_H_
