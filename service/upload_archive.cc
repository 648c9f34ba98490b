#include "service/upload_archive.h"

namespace nvx::service {

// Archives are refused until the archive primitives are in this build.
bool UnpackArchive(const BlobStore&, BlobWriter&, Document*) {
  return false;
}

}  // namespace nvx::service
