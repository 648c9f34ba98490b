// The output side of the delta writer and the delta application: a file written through
// a fixed buffer that is removed again unless it is finished, and the copy of a byte
// range from one file into it. One owner at a time; any thread.
#ifndef NVX_CODEC_DELTA_DELTA_OUTPUT_H_
#define NVX_CODEC_DELTA_DELTA_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/md5.h"
#include "platform/file.h"

namespace nvx {

// Pieces in which the delta code reads and writes files.
inline constexpr size_t kDeltaPieceSize = 64 * 1024;

class DeltaOutput {
 public:
  DeltaOutput() = default;
  // Removes the file unless Finish succeeded.
  ~DeltaOutput();
  DeltaOutput(const DeltaOutput&) = delete;
  DeltaOutput& operator=(const DeltaOutput&) = delete;

  // Creates or empties `path`, never through a link planted at its name and never
  // anything but a regular file; false with error() set.
  [[nodiscard]] bool Create(const std::string& path);
  // Appends bytes (buffered); false once any write failed. The MD5 of everything
  // written is kept on the way.
  [[nodiscard]] bool Write(const void* data, size_t size);
  [[nodiscard]] bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Copies `length` bytes of `from` starting at `offset`; false on a write failure
  // (error() set) or when `from` holds fewer bytes (error() 0).
  [[nodiscard]] bool CopyFrom(platform::File& from, int64_t offset, int64_t length);
  // Flushes and closes: true when every byte reached the file.
  [[nodiscard]] bool Finish();
  // Closes and removes the file now.
  void Discard();

  int error() const { return error_; }
  int64_t written() const { return written_; }
  // The MD5 of the bytes written (call once, after the last Write).
  [[nodiscard]] Md5Digest Digest();

 private:
  [[nodiscard]] bool Flush();

  platform::File file_;
  std::string path_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  int64_t written_ = 0;
  int error_ = 0;
  bool failed_ = false;
  bool finished_ = false;
  Md5Context md5_{};
};

}  // namespace nvx

#endif  // NVX_CODEC_DELTA_DELTA_OUTPUT_H_
