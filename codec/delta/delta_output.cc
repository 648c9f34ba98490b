#include "codec/delta/delta_output.h"

#include <algorithm>
#include <cstring>

#include "platform/file_system.h"

namespace nvx {

DeltaOutput::~DeltaOutput() {
  if (!finished_) Discard();
}

bool DeltaOutput::Create(const std::string& path) {
  file_ = platform::File::OpenRegular(path, platform::File::Access::kCreateTruncate);
  if (!file_.is_open()) {
    error_ = file_.error();
    failed_ = true;
    return false;
  }
  // Only a file this object opened is ever removed again.
  path_ = path;
  buffer_.resize(kDeltaPieceSize);
  Md5Init(md5_);
  return true;
}

bool DeltaOutput::Write(const void* data, size_t size) {
  if (failed_ || !file_.is_open()) return false;
  Md5Update(md5_, data, size);
  written_ += static_cast<int64_t>(size);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (used_ == buffer_.size() && !Flush()) return false;
    size_t piece = std::min(size, buffer_.size() - used_);
    std::memcpy(buffer_.data() + used_, bytes, piece);
    used_ += piece;
    bytes += piece;
    size -= piece;
  }
  return true;
}

bool DeltaOutput::CopyFrom(platform::File& from, int64_t offset, int64_t length) {
  if (failed_) return false;
  if (length <= 0) return true;
  if (!from.Seek(offset)) {
    error_ = from.error();
    return false;
  }
  while (length > 0) {
    if (used_ == buffer_.size() && !Flush()) return false;
    size_t piece = static_cast<size_t>(std::min<int64_t>(length, buffer_.size() - used_));
    int64_t read = from.ReadFully(buffer_.data() + used_, piece);
    if (read != static_cast<int64_t>(piece)) {
      error_ = read < 0 ? from.error() : 0;
      return false;
    }
    Md5Update(md5_, buffer_.data() + used_, piece);
    used_ += piece;
    written_ += static_cast<int64_t>(piece);
    length -= static_cast<int64_t>(piece);
  }
  return true;
}

bool DeltaOutput::Flush() {
  if (used_ > 0 && !file_.WriteAll(buffer_.data(), used_)) {
    error_ = file_.error();
    failed_ = true;
    return false;
  }
  used_ = 0;
  return true;
}

bool DeltaOutput::Finish() {
  if (failed_ || !file_.is_open() || !Flush()) return false;
  file_.Close();
  finished_ = true;
  return true;
}

void DeltaOutput::Discard() {
  file_.Close();
  // The caller knows the output failed; a name that cannot be removed only stays on disk.
  if (!path_.empty()) platform::RemoveFile(path_);
  path_.clear();
  finished_ = true;
}

Md5Digest DeltaOutput::Digest() {
  Md5Digest digest{};
  Md5Final(md5_, digest.data());
  return digest;
}

}  // namespace nvx
