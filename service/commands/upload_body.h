// The body of an upload on its way to the document: taken piece by piece as it arrives,
// deciphered in whole 8-byte blocks when it travels enciphered (a part block waits for
// the next piece), cut to the announced length (the padding goes) and handed on as plain
// bytes. Memory does not grow with the body: one working buffer. Belongs to the thread of
// the request.
#ifndef NVX_SERVICE_COMMANDS_UPLOAD_BODY_H_
#define NVX_SERVICE_COMMANDS_UPLOAD_BODY_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "codec/transfer_cipher.h"

namespace nvx::service {

class UploadBody {
 public:
  // Receives plain bytes; false stops the body.
  using PlainSink = std::function<bool(const char* data, size_t size)>;

  // Hands at most `plain_length` plain bytes to `sink`; with a `cipher` (which must
  // outlive the object) the body is enciphered.
  UploadBody(PlainSink sink, int64_t plain_length, const TransferCipher* cipher);
  UploadBody(const UploadBody&) = delete;
  UploadBody& operator=(const UploadBody&) = delete;

  // Takes the next piece of the body. False when the sink stopped.
  bool Take(const char* data, size_t size);

  // Plain bytes handed on so far: whole blocks only while the body is enciphered.
  int64_t plain_written() const { return written_; }

 private:
  // Deciphers `size` bytes (whole blocks) in the working buffer and writes their plain
  // part.
  bool WriteBlocks(size_t size);
  bool WritePlain(const char* data, size_t size);

  PlainSink sink_;
  const int64_t plain_length_;
  const TransferCipher* cipher_;
  std::vector<char> work_;
  size_t carried_ = 0;  // bytes of a part block at the start of work_
  int64_t written_ = 0;
  bool stopped_ = false;
};

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_UPLOAD_BODY_H_
