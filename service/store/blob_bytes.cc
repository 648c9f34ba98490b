#include "service/store/blob_bytes.h"

#include <optional>

namespace nvx::service {

BlobBytes::BlobBytes(Store& store, const BlobStore& blobs, const std::string& blob) {
  if (IsInlineBlobName(blob) && store.KeepsInlineBlobs()) {
    if (std::optional<std::string> bytes = store.ReadInlineBlob(blob)) {
      file_ = platform::File::InMemory(*bytes);
      if (file_.is_open()) path_ = file_.DescriptorPath();
      return;
    }
  }
  path_ = blobs.PathOf(blob);
  file_ = platform::File::Open(path_, platform::File::Access::kRead);
}

}  // namespace nvx::service
