#include "service/commands/upload_body.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace nvx::service {
namespace {

// Bytes deciphered at a time; a multiple of the cipher's block.
constexpr size_t kWorkSize = 65536;

}  // namespace

UploadBody::UploadBody(PlainSink sink, int64_t plain_length, const TransferCipher* cipher)
    : sink_(std::move(sink)), plain_length_(plain_length), cipher_(cipher) {
  if (cipher_ != nullptr) work_.resize(kWorkSize);
}

bool UploadBody::WritePlain(const char* data, size_t size) {
  size_t count = static_cast<size_t>(std::min<int64_t>(plain_length_ - written_, size));
  if (count == 0) return true;
  if (!sink_(data, count)) {
    stopped_ = true;
    return false;
  }
  written_ += static_cast<int64_t>(count);
  return true;
}

bool UploadBody::WriteBlocks(size_t size) {
  cipher_->Decipher(work_.data(), work_.data(), size);
  return WritePlain(work_.data(), size);
}

bool UploadBody::Take(const char* data, size_t size) {
  if (stopped_) return false;
  if (cipher_ == nullptr) return WritePlain(data, size);
  while (size > 0) {
    size_t count = std::min(size, work_.size() - carried_);
    std::memcpy(work_.data() + carried_, data, count);
    data += count;
    size -= count;
    size_t filled = carried_ + count;
    size_t whole = filled - filled % Blowfish::kBlockSize;
    if (whole > 0 && !WriteBlocks(whole)) return false;
    // The part block moves to the front and waits for the rest of its bytes.
    carried_ = filled - whole;
    std::memmove(work_.data(), work_.data() + whole, carried_);
  }
  return true;
}

}  // namespace nvx::service
