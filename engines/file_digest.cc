#include "engines/file_digest.h"

#include "platform/text_format.h"

namespace nvx {

FileDigest GenerateFileMD5(platform::File& file, std::span<uint8_t> buffer,
                           const std::atomic<bool>& stop) {
  FileDigest result;
  Md5Context context;
  Md5Init(context);
  for (;;) {
    int64_t got = file.Read(buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      result.whole = false;
      result.read_error = file.error();
      break;
    }
    Md5Update(context, buffer.data(), static_cast<size_t>(got));
    if (stop.load(std::memory_order_acquire)) {
      result.whole = false;
      break;
    }
  }
  Md5Final(context, result.digest.data());
  // Courtesy only: every reader after a digest sets its own position first.
  (void)file.Seek(0);
  return result;
}

bool DigestFileInHand(EngineContext& context, std::string_view shown_name, platform::File& file,
                      Md5Digest* digest) {
  context.report().SetStatusMessage(
      StrFormat("Computing file %s verification", std::string(shown_name).c_str()));
  FileDigest result = GenerateFileMD5(file, context.buffer(), context.stop_flag());
  if (result.read_error != 0) {
    context.report().LogLine(kLineError, " Err - GenerateFileMD5 Read Error %d\n",
                             result.read_error);
  }
  *digest = result.digest;
  return result.whole;
}

}  // namespace nvx
