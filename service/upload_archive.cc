#include "service/upload_archive.h"

#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "transfer/md5.h"
#include "transfer/zip_archive.h"

namespace nvx::service {
namespace {

constexpr size_t kDigestPieceSize = 65536;

// The size and digest of a file; false when it cannot be read whole.
bool DigestFile(const std::string& path, int64_t* size, Digest* digest) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  if (!file.is_open()) return false;
  Md5Context md5;
  Md5Init(md5);
  std::vector<char> piece(kDigestPieceSize);
  *size = 0;
  for (;;) {
    int64_t got = file.Read(piece.data(), piece.size());
    if (got < 0) return false;
    if (got == 0) break;
    Md5Update(md5, piece.data(), static_cast<size_t>(got));
    *size += got;
  }
  Md5Final(md5, digest->data());
  return true;
}

}  // namespace

bool UnpackArchive(const BlobStore& blobs, BlobWriter& archive, Document* document) {
  // The entry appears under a temporary name only once it is whole and its CRC checked
  // out; a crash before it is adopted leaves a temporary file that the next start removes.
  std::string entry = blobs.PathOf(RandomFileName(".tmp"));
  if (!archive.Flush() || !UnzipFirstEntry(archive.temporary_path(), entry) ||
      !DigestFile(entry, &document->size, &document->digest) ||
      !blobs.Adopt(entry, &document->blob)) {
    platform::RemoveFile(entry);
    return false;
  }
  document->full_size = document->size;
  return true;
}

}  // namespace nvx::service
