// An upload whose body is a one-entry ZIP archive: the document is the archive's first
// entry, unpacked into a new blob. The entry's announced size is checked before a byte is
// unpacked, and the entry never unpacks to more than it announced, so a small archive
// cannot fill the disk. Any connection thread.
#ifndef NVX_SERVICE_COMMANDS_UPLOAD_ARCHIVE_H_
#define NVX_SERVICE_COMMANDS_UPLOAD_ARCHIVE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "service/store/blob_store.h"
#include "service/store/store.h"

namespace nvx::service {

inline constexpr std::string_view kInvalidArchive = "Error - Invalid Archive";

enum class UnpackResult {
  kUnpacked,
  kInvalid,   // no archive, or its first entry fails its check or cannot be written
  kTooLarge,  // the entry announces more bytes than the caller allows
};

// Says whether an entry of this many bytes (as its archive announces) may be unpacked.
using EntrySizeCheck = std::function<bool(int64_t size)>;

// Unpacks the first entry of the archive at `zip_path` into `target`, an empty file open
// for writing, after `size_allowed` agreed to the entry's announced size.
UnpackResult UnpackFirstEntry(const std::string& zip_path, platform::File& target,
                              const EntrySizeCheck& size_allowed);

// Unpacks the archive that `archive` has written (whole) into a new blob of `blobs` and
// fills the document's blob, size, full size and digest. Anything but kUnpacked leaves
// nothing behind.
UnpackResult UnpackArchive(const BlobStore& blobs, BlobWriter& archive,
                           const EntrySizeCheck& size_allowed, Document* document);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_UPLOAD_ARCHIVE_H_
