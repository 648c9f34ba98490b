// The upload of a delta (PUT with X-NVX-LUPIN "1,vid;"): the body holds the changed blocks
// of a new version of document vid, which is rebuilt from the stored document. The body
// (plain, or deciphered, or unpacked when it is an archive) goes to a temporary file
// first (an archived one never unpacks to more than a delta for the quota could hold);
// the new version's announced size is claimed against the quota, and the delta is checked
// record by record against that size before the new content is written into a new blob,
// whose size and MD5 must be the announced ones. Only then does the new version take the
// document's place, under a new version id. Any refusal answers
// "Error - Gen New From Diff Error" (the client then sends the whole file) and leaves the
// store and the blob folder as they were. One request's thread.
#ifndef NVX_SERVICE_COMMANDS_DELTA_UPLOAD_H_
#define NVX_SERVICE_COMMANDS_DELTA_UPLOAD_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "service/commands/command_context.h"

namespace nvx::service {

inline constexpr std::string_view kDeltaFailed = "Error - Gen New From Diff Error";

// How the delta's body travels, from Content-Length and X-NVX-FANG.
struct DeltaBody {
  int64_t plain_length = 0;         // the body's bytes without the cipher's padding
  std::optional<size_t> key_index;  // enciphered with this key
  bool archive = false;             // a one-entry ZIP archive of the delta
};

// Reads the body and applies it to `base`, a complete document the account may change.
// Sets the reply's conclusion.
void ApplyDeltaUpload(CommandContext& context, const Document& base, const DeltaBody& body,
                      std::string_view date_stamp);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_DELTA_UPLOAD_H_
