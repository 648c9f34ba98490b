// The body of an upload on its way into a blob: taken piece by piece as it arrives,
// deciphered in whole 8-byte blocks when it travels enciphered (a part block waits for
// the next piece), cut to the announced length (the padding goes), digested and written.
// Memory does not grow with the body: one carry block and one working buffer. Belongs to
// the thread of the request.
#ifndef NVX_SERVICE_UPLOAD_BODY_H_
#define NVX_SERVICE_UPLOAD_BODY_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "service/blob_store.h"
#include "transfer/md5.h"
#include "transfer/transfer_cipher.h"

namespace nvx::service {

class UploadBody {
 public:
  // Writes at most `plain_length` plain bytes to `writer` and digests them into `md5`;
  // with a `cipher` the body is enciphered. Both must outlive the object.
  UploadBody(BlobWriter& writer, Md5Context& md5, int64_t plain_length,
             const TransferCipher* cipher);
  UploadBody(const UploadBody&) = delete;
  UploadBody& operator=(const UploadBody&) = delete;

  // Takes the next piece of the body. False when the blob could not be written.
  bool Take(const char* data, size_t size);

  // Plain bytes written so far: whole blocks only while the body is enciphered.
  int64_t plain_written() const { return written_; }
  bool write_failed() const { return write_failed_; }

 private:
  // Deciphers `size` bytes (whole blocks) in the working buffer and writes their plain
  // part.
  bool WriteBlocks(size_t size);
  bool WritePlain(const char* data, size_t size);

  BlobWriter& writer_;
  Md5Context& md5_;
  const int64_t plain_length_;
  const TransferCipher* cipher_;
  std::vector<char> work_;
  size_t carried_ = 0;  // bytes of a part block at the start of work_
  int64_t written_ = 0;
  bool write_failed_ = false;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_UPLOAD_BODY_H_
