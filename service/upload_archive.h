// An upload whose body is a one-entry ZIP archive: the document is the archive's first
// entry, unpacked into a new blob. Any connection thread.
#ifndef NVX_SERVICE_UPLOAD_ARCHIVE_H_
#define NVX_SERVICE_UPLOAD_ARCHIVE_H_

#include <string_view>

#include "service/blob_store.h"
#include "service/store.h"

namespace nvx::service {

inline constexpr std::string_view kInvalidArchive = "Error - Invalid Archive";

// Unpacks the archive that `archive` has written (whole) into a new blob of `blobs` and
// fills the document's blob, size, full size and digest. False when the archive is not
// one, its first entry fails its check, or the blob cannot be written; nothing is left
// behind then.
bool UnpackArchive(const BlobStore& blobs, BlobWriter& archive, Document* document);

}  // namespace nvx::service

#endif  // NVX_SERVICE_UPLOAD_ARCHIVE_H_
