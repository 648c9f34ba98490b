// The digest of a local file, by which the upload and download engines ask the service
// whether its copy equals the local one. Worker thread only.
#ifndef NVX_ENGINES_FILE_DIGEST_H_
#define NVX_ENGINES_FILE_DIGEST_H_

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "codec/md5.h"
#include "engines/engine_context.h"
#include "platform/file.h"

namespace nvx {

struct FileDigest {
  Md5Digest digest{};
  // False when a read failed or a stop request ended the digest early: the digest is
  // then that of what was read.
  bool whole = true;
  // The error of the read that failed, 0 when none did.
  int read_error = 0;
};

// Digests `file` from its current position to its end, reading through `buffer`, and
// sets the file position back to 0. A set `stop` flag ends the digest after the piece in
// hand: a file of gigabytes must not hold up a CNvxapi that is going away.
[[nodiscard]] FileDigest GenerateFileMD5(platform::File& file, std::span<uint8_t> buffer,
                                         const std::atomic<bool>& stop);

// The same for the file in hand of an engine: shows "Computing file <shown_name>
// verification" as the status and logs a failing read. False when the digest is not
// whole; `*digest` is set all the same.
[[nodiscard]] bool DigestFileInHand(EngineContext& context, std::string_view shown_name,
                                    platform::File& file, Md5Digest* digest);

}  // namespace nvx

#endif  // NVX_ENGINES_FILE_DIGEST_H_
