#include "codec/zip_file_io.h"

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"

namespace nvx {
namespace {

// One open archive file and its position, which minizip asks for instead of the file's.
struct ZipStream {
  platform::File file;
  int64_t position = 0;
  int error = 0;
};

ZipFileIo* IoOf(voidpf opaque) {
  return static_cast<ZipFileIo*>(opaque);
}

ZipStream* StreamOf(voidpf stream) {
  return static_cast<ZipStream*>(stream);
}

void Fail(voidpf opaque, ZipStream* stream, int error) {
  stream->error = error;
  IoOf(opaque)->set_last_error(error);
}

voidpf ZCALLBACK OpenFile(voidpf opaque, const void* filename, int mode) {
  if (filename == nullptr) return nullptr;
  const std::string path(static_cast<const char*>(filename));
  auto stream = std::make_unique<ZipStream>();
  // Archives are work files and downloads: never opened through a link planted at
  // their names.
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ) {
    stream->file = platform::File::OpenRegular(path, platform::File::Access::kRead);
  } else if ((mode & ZLIB_FILEFUNC_MODE_CREATE) != 0) {
    // Read and write: the archive writer goes back to complete local headers.
    stream->file = platform::File::OpenRegular(path, platform::File::Access::kCreateReadWrite);
    if (stream->file.is_open() && !stream->file.Truncate(0)) stream->file.Close();
  } else {
    stream->file = platform::File::OpenRegular(path, platform::File::Access::kReadWrite);
  }
  if (!stream->file.is_open()) {
    IoOf(opaque)->set_last_error(stream->file.error());
    return nullptr;
  }
  return stream.release();
}

uLong ZCALLBACK ReadFile(voidpf opaque, voidpf stream, void* buffer, uLong size) {
  ZipStream* zip = StreamOf(stream);
  const int64_t got = zip->file.ReadFully(buffer, size);
  if (got < 0) {
    Fail(opaque, zip, zip->file.error());
    return 0;
  }
  zip->position += got;
  return static_cast<uLong>(got);
}

uLong ZCALLBACK WriteFile(voidpf opaque, voidpf stream, const void* buffer, uLong size) {
  ZipStream* zip = StreamOf(stream);
  if (!zip->file.WriteAll(buffer, size)) {
    Fail(opaque, zip, zip->file.error());
    return 0;
  }
  zip->position += static_cast<int64_t>(size);
  return size;
}

ZPOS64_T ZCALLBACK TellFile(voidpf, voidpf stream) {
  return static_cast<ZPOS64_T>(StreamOf(stream)->position);
}

long ZCALLBACK SeekFile(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
  ZipStream* zip = StreamOf(stream);
  int64_t base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
    base = zip->position;
  } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
    base = zip->file.Size();
    if (base < 0) {
      Fail(opaque, zip, zip->file.error());
      return -1;
    }
  } else if (origin != ZLIB_FILEFUNC_SEEK_SET) {
    return -1;
  }
  const int64_t target = base + static_cast<int64_t>(offset);
  if (target < 0 || !zip->file.Seek(target)) {
    Fail(opaque, zip, zip->file.error());
    return -1;
  }
  zip->position = target;
  return 0;
}

int ZCALLBACK CloseFile(voidpf, voidpf stream) {
  std::unique_ptr<ZipStream> owned(StreamOf(stream));
  owned->file.Close();
  return 0;
}

int ZCALLBACK TestError(voidpf, voidpf stream) {
  return StreamOf(stream)->error;
}

}  // namespace

ZipFileIo::ZipFileIo() {
  functions_.zopen64_file = OpenFile;
  functions_.zread_file = ReadFile;
  functions_.zwrite_file = WriteFile;
  functions_.ztell64_file = TellFile;
  functions_.zseek64_file = SeekFile;
  functions_.zclose_file = CloseFile;
  functions_.zerror_file = TestError;
  functions_.opaque = this;
}

}  // namespace nvx
