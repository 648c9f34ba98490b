#include "codec/zip_archive.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <array>
#include <cstdint>

#include "codec/hidden_work_file.h"
#include "codec/zip_entry_reader.h"
#include "codec/zip_file_io.h"
#include "platform/file.h"
#include "platform/file_mode.h"
#include "platform/file_system.h"

namespace nvx {
namespace {

// Sources from this size on get ZIP64 records. The margin below 4 GiB leaves room for
// deflate's few bytes of overhead on data that does not compress.
constexpr int64_t kZip64FromSize = int64_t{0xF0000000};

using CopyBuffer = std::array<uint8_t, kZipCopyBufferSize>;

// Copies the source into the entry that is open in `zip`. False when a read or a write
// failed; `*error` is then the system error, 0 when the archive library failed alone.
bool CopyIntoEntry(platform::File& source, zipFile zip, ZipFileIo& io, CopyBuffer& buffer,
                   int* error) {
  for (;;) {
    const int64_t got = source.Read(buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0) {
      *error = source.error();
      return false;
    }
    if (zipWriteInFileInZip(zip, buffer.data(), static_cast<unsigned>(got)) != ZIP_OK) {
      *error = io.last_error();
      return false;
    }
  }
}

}  // namespace

bool ZipOneFile(const std::string& source_path, const std::string& zip_path, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  platform::File source = platform::File::Open(source_path, platform::File::Access::kSharedRead);
  if (!source.is_open()) {
    *error = source.error();
    return false;
  }
  const int64_t size = source.Size();
  const int zip64 = size < 0 || size >= kZip64FromSize ? 1 : 0;

  ZipFileIo io;
  zipFile zip = zipOpen2_64(zip_path.c_str(), APPEND_STATUS_CREATE, nullptr, io.functions());
  if (zip == nullptr) {
    *error = io.last_error();
    return false;
  }
  // No date, no extra fields, no comments: the entry is the file's bytes under its path.
  zip_fileinfo info{};
  bool ok = zipOpenNewFileInZip64(zip, source_path.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, Z_DEFAULT_COMPRESSION, zip64) == ZIP_OK;
  if (!ok) {
    *error = io.last_error();
  } else {
    CopyBuffer buffer;
    ok = CopyIntoEntry(source, zip, io, buffer, error);
    if (zipCloseFileInZip(zip) != ZIP_OK) {
      if (ok) *error = io.last_error();
      ok = false;
    }
  }
  source.Close();
  if (zipClose(zip, nullptr) != ZIP_OK) {
    if (ok) *error = io.last_error();
    ok = false;
  }
  return ok;
}

int VerifyZip(const std::string& zip_path) {
  ZipFileIo io;
  unzFile unzip = unzOpen2_64(zip_path.c_str(), io.functions());
  if (unzip == nullptr) return kZipOpenFailed;
  int code = kZipOk;
  if (unzGoToFirstFile(unzip) != UNZ_OK) {
    code = kZipNoEntry;
  } else if (unzOpenCurrentFile(unzip) != UNZ_OK) {
    code = kZipEntryOpenFailed;
  } else if (unzCloseCurrentFile(unzip) != UNZ_OK) {
    code = kZipEntryCloseFailed;
  }
  if (unzClose(unzip) != UNZ_OK && code == kZipOk) code = kZipArchiveCloseFailed;
  return code;
}

bool UnzipFirstEntry(const std::string& zip_path, const std::string& target_path) {
  ZipFileIo io;
  unzFile unzip = unzOpen2_64(zip_path.c_str(), io.functions());
  if (unzip == nullptr) return false;
  ZipEntryLocation entry;
  const bool located = unzGoToFirstFile(unzip) == UNZ_OK && LocateCurrentEntry(unzip, &entry);
  if (unzClose(unzip) != UNZ_OK || !located) return false;

  std::string work_path;
  int error = 0;
  platform::File work = CreateHiddenWorkFile(FolderOfPath(target_path), target_path,
                                             kUnpackWorkSuffix, &work_path, &error);
  if (!work.is_open()) return false;
  // The target appears only once the whole entry is written and its CRC checked out.
  // The work file stays open, and so locked, until its name is gone either way.
  bool ok = ExtractEntry(zip_path, entry, work) && work.Sync();
  if (ok) {
    // A replaced file keeps its access rights; a link at the target's name lends none.
    if (platform::TestPathItself(target_path) == platform::PathKind::kFile) {
      if (auto permissions = platform::FilePermissions(target_path)) {
        // The new content is whole either way; only its access rights may be the default.
        (void)work.SetPermissions(*permissions);
      }
    }
    ok = platform::RenameFile(work_path, target_path);
  }
  // A work file that cannot be removed is swept as stale by a later run.
  if (!ok) platform::RemoveFile(work_path);
  return ok;
}

}  // namespace nvx
