// The file functions that minizip calls, over platform::File: archives are read and
// written with 64-bit positions through the same file layer as everything else, and the
// system error of a failed read or write is kept for the caller. One ZipFileIo serves
// one archive at a time, on one thread.
#ifndef NVX_CODEC_ZIP_FILE_IO_H_
#define NVX_CODEC_ZIP_FILE_IO_H_

#include <minizip/ioapi.h>

namespace nvx {

class ZipFileIo {
 public:
  ZipFileIo();
  ZipFileIo(const ZipFileIo&) = delete;
  ZipFileIo& operator=(const ZipFileIo&) = delete;

  // The table to hand to zipOpen2_64 or unzOpen2_64; it points at this object, which
  // must outlive the archive.
  zlib_filefunc64_def* functions() { return &functions_; }

  // The system error of the last open, read, write or seek that failed; 0 when none did.
  int last_error() const { return last_error_; }
  void set_last_error(int error) { last_error_ = error; }

 private:
  zlib_filefunc64_def functions_{};
  int last_error_ = 0;
};

}  // namespace nvx

#endif  // NVX_CODEC_ZIP_FILE_IO_H_
