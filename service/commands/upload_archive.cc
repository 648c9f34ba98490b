#include "service/commands/upload_archive.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "codec/md5.h"
#include "codec/zip_entry_reader.h"
#include "platform/file.h"
#include "platform/file_system.h"

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

UnpackResult UnpackFirstEntry(const std::string& zip_path, platform::File& target,
                              const EntrySizeCheck& size_allowed) {
  ZipEntryLocation entry;
  if (!LocateFirstEntry(zip_path, &entry)) return UnpackResult::kInvalid;
  if (entry.uncompressed_size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
      !size_allowed(static_cast<int64_t>(entry.uncompressed_size))) {
    return UnpackResult::kTooLarge;
  }
  return ExtractEntry(zip_path, entry, target) ? UnpackResult::kUnpacked : UnpackResult::kInvalid;
}

UnpackResult UnpackArchive(const BlobStore& blobs, BlobWriter& archive,
                           const EntrySizeCheck& size_allowed, Document* document) {
  if (!archive.Flush()) return UnpackResult::kInvalid;
  // A temporary file of the blob folder, locked like a BlobWriter's until it is a blob,
  // so that a crash leaves a file that the next start removes. It becomes a blob only
  // once the entry is whole and its CRC checked out.
  std::string entry = blobs.TemporaryPath();
  platform::File file = platform::File::Open(entry, platform::File::Access::kCreateTruncate);
  UnpackResult result = UnpackResult::kInvalid;
  if (file.is_open() && file.TryLockExclusive()) {
    result = UnpackFirstEntry(archive.temporary_path(), file, size_allowed);
  }
  if (result == UnpackResult::kUnpacked &&
      (!file.Sync() || !DigestFile(entry, &document->size, &document->digest) ||
       !blobs.Adopt(entry, &document->blob))) {
    result = UnpackResult::kInvalid;
  }
  if (result != UnpackResult::kUnpacked) platform::RemoveFile(entry);
  document->full_size = document->size;
  return result;
}

}  // namespace nvx::service
