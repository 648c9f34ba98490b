// One-entry ZIP archives over minizip and zlib: packing a file before it travels,
// checking the packed archive, and unpacking the first entry of an archive that came
// back. The copy streams through one buffer of kZipCopyBufferSize bytes, so memory does
// not grow with the file; entries of 4 GiB and more are written as ZIP64. The library
// and the service both use these. Any thread; no shared state.
#ifndef NVX_CODEC_ZIP_ARCHIVE_H_
#define NVX_CODEC_ZIP_ARCHIVE_H_

#include <cstddef>
#include <string>

namespace nvx {

inline constexpr size_t kZipCopyBufferSize = 16384;

// Packs `source_path` into a new archive at `zip_path` (created, or emptied when it
// exists) with one deflated entry named `source_path` exactly as given, without a date,
// extra fields or comments. False on failure; `*error` is then the system error of the
// read or write that failed, 0 when the archive library failed on its own.
[[nodiscard]] bool ZipOneFile(const std::string& source_path, const std::string& zip_path,
                              int* error);

// What VerifyZip found.
enum ZipCheck : int {
  kZipOk = 0,
  kZipEntryCloseFailed = 1,  // closing the first entry reported an error
  kZipArchiveCloseFailed = 2,
  kZipEntryOpenFailed = 3,
  kZipNoEntry = 4,
  kZipOpenFailed = 5,
};
// Opens the archive and its first entry and closes both again; the archive is always
// closed before returning.
[[nodiscard]] int VerifyZip(const std::string& zip_path);

// Unpacks the archive's first entry into `target_path`. The bytes go to a temporary file
// beside the target, which is renamed over the target only when the whole entry was
// written and its CRC checked out; otherwise the target is left as it was and the
// temporary file is removed.
[[nodiscard]] bool UnzipFirstEntry(const std::string& zip_path, const std::string& target_path);

}  // namespace nvx

#endif  // NVX_CODEC_ZIP_ARCHIVE_H_
