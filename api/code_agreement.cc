// The codes of the exported header and the library's own (protocol/caller_codes.h) are
// one set of values: a caller compares GetStatus, GetErrorCode and the progress phase
// with the exported names, the library writes the internal ones. This file only checks.
#include "api/nvxapi.h"
#include "protocol/caller_codes.h"

namespace nvx {
namespace {

constexpr bool Same(int32_t exported, int32_t internal) {
  return exported == internal;
}

static_assert(Same(kStatusIdle, status::kIdle) && Same(kStatusBusy, status::kBusy) &&
              Same(kStatusSucceeded, status::kSucceeded) && Same(kStatusFailed, status::kFailed));

static_assert(Same(kErrorNone, error::kNone) && Same(kErrorSocketCreate, error::kSocketCreate) &&
              Same(kErrorConnect, error::kConnect) &&
              Same(kErrorQuotaExceeded, error::kQuotaExceeded) &&
              Same(kErrorUploadRefused, error::kUploadRefused) &&
              Same(kErrorNoFolderList, error::kNoFolderList) &&
              Same(kErrorFolderNotFound, error::kFolderNotFound) &&
              Same(kErrorNoLocalFolder, error::kNoLocalFolder) &&
              Same(kErrorLocalFileOpen, error::kLocalFileOpen) &&
              Same(kErrorProxyAuth, error::kProxyAuth) &&
              Same(kErrorIdInvalid, error::kIdInvalid) &&
              Same(kErrorPasswordInvalid, error::kPasswordInvalid) &&
              Same(kErrorTransferConnection, error::kTransferConnection) &&
              Same(kErrorFileMapping, error::kFileMapping) &&
              Same(kErrorAccountDisabled, error::kAccountDisabled) &&
              Same(kErrorPasswordExpired, error::kPasswordExpired));

static_assert(Same(kPhaseNone, phase::kNone) && Same(kPhaseUploading, phase::kUploading) &&
              Same(kPhaseDownloading, phase::kDownloading) &&
              Same(kPhaseUpdating, phase::kUpdating) && Same(kPhaseSkipping, phase::kSkipping) &&
              Same(kPhaseFileInUse, phase::kFileInUse) &&
              Same(kPhaseServerInformation, phase::kServerInformation) &&
              Same(kPhaseCompressing, phase::kCompressing) &&
              Same(kPhaseUncompressing, phase::kUncompressing) &&
              Same(kPhaseDeterminingChanges, phase::kDeterminingChanges) &&
              Same(kPhaseProcessingChanges, phase::kProcessingChanges));

}  // namespace
}  // namespace nvx
