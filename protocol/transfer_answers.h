// The answers to the upload's two requests, the is-it-there test (HEAD) and the upload
// (PUT), read from their header blocks into values: status, "Connection: close", the
// conclusion (at most kConclusionMax characters), the space figures and, for the test,
// "X-NVX-LUPIN" read the way the conclusion asks. Also the one rule by which texts that
// a server supplied go into the activity log. Pure functions; any thread.
#ifndef NVX_PROTOCOL_TRANSFER_ANSWERS_H_
#define NVX_PROTOCOL_TRANSFER_ANSWERS_H_

#include <optional>
#include <string>
#include <string_view>

#include "protocol/response_headers.h"

namespace nvx {

struct TransferAnswer {
  bool server_error = false;  // "HTTP/1.1 500"
  bool connection_close = false;
  std::optional<std::string> conclusion;
  std::optional<SpaceFigures> space;
  // The test's "X-NVX-LUPIN": with a conclusion that begins "Replace" only the version
  // id; otherwise digest, size and version id. None when the header is absent.
  std::optional<IsItThereLupin> lupin;
};

// True when the conclusion begins with "Replace" (letter case counts).
bool IsReplaceConclusion(std::string_view conclusion);

// The answer to the is-it-there test.
TransferAnswer ParseIsItThereAnswer(std::string_view header);
// The answer to an upload: no "X-NVX-LUPIN" is read.
TransferAnswer ParsePutAnswer(std::string_view header);

// A server-supplied text as it may go into the activity log: control characters (and
// DEL) become "?", and the text is cut at `max` bytes.
std::string TextForLog(std::string_view text, size_t max = 255);

}  // namespace nvx

#endif  // NVX_PROTOCOL_TRANSFER_ANSWERS_H_
