// The answers to the upload's two requests, the is-it-there test (HEAD) and the upload
// (PUT), read from their header blocks into values: status, "Connection: close", the
// conclusion (at most kConclusionMax characters), the space figures and, for the test,
// "X-NVX-LUPIN" read the way the conclusion asks. Also the one rule by which texts that
// a server supplied go into the activity log. Pure functions; any thread.
#ifndef NVX_PROTOCOL_TRANSFER_ANSWERS_H_
#define NVX_PROTOCOL_TRANSFER_ANSWERS_H_

#include <cstdint>
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
[[nodiscard]] bool IsReplaceConclusion(std::string_view conclusion);

// The answer to the is-it-there test.
[[nodiscard]] TransferAnswer ParseIsItThereAnswer(std::string_view header);
// The answer to an upload: no "X-NVX-LUPIN" is read.
[[nodiscard]] TransferAnswer ParsePutAnswer(std::string_view header);

// The answer to a download or signature download: the common part, then whether the
// offered copy is current ("UGOTIT": no body follows), whether the body resumes the
// offered copy ("X-NVX-RESTART"), the "X-NVX-Fang" fields (true length, key number,
// zipped) and the body length. A missing or broken Content-Length leaves `body_length`
// unset: such an answer carries nothing that may be written.
struct DownloadAnswer {
  TransferAnswer common;
  bool status_ok = false;  // "HTTP/1.1 200" or "HTTP/1.0 200"
  bool already_current = false;
  bool restart = false;
  std::optional<DownloadFang> fang;
  bool content_length_present = false;
  std::optional<int64_t> body_length;  // a valid, non-negative Content-Length
};
[[nodiscard]] DownloadAnswer ParseDownloadAnswer(std::string_view header);

// The size an enciphered download ends with once the cipher's padding is cut off: the
// true length of "X-NVX-Fang", read as the whole document's length or, on a resume, as
// the length of the part the body carried (servers say either), whichever lies within
// one cipher block below `work_size` (the work file's size with its padding). None when
// neither does: the length cannot be trusted.
[[nodiscard]] std::optional<int64_t> EncipheredFinalLength(bool restart, int64_t offered_size,
                                                           int64_t work_size, int64_t fang_length);

// A server-supplied text as it may go into the activity log: control characters (and
// DEL) become "?", and the text is cut at `max` bytes.
[[nodiscard]] std::string TextForLog(std::string_view text, size_t max = 255);

}  // namespace nvx

#endif  // NVX_PROTOCOL_TRANSFER_ANSWERS_H_
