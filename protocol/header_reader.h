// The response header reader's rule, apart from any socket: bytes are fed one at a
// time; the header ends at the LF that completes CR LF CR LF (more generally, the first
// LF after a CR LF with only CR and LF bytes in between). A lone LF LF without CR does
// not end it. After kResponseHeaderMax bytes without an end the header is used as it
// stands. One reader per exchange; any thread.
#ifndef NVX_PROTOCOL_HEADER_READER_H_
#define NVX_PROTOCOL_HEADER_READER_H_

#include <string>
#include <string_view>

#include "protocol/library_limits.h"

namespace nvx {

class HeaderAccumulator {
 public:
  HeaderAccumulator() { text_.reserve(256); }

  // Takes one byte; true once the header is complete (ended, or cut at the limit). Bytes
  // fed after that are ignored.
  [[nodiscard]] bool Feed(char byte);

  bool complete() const { return ended_ || cut_; }
  // True when the header reached kResponseHeaderMax bytes without its end.
  bool cut() const { return cut_; }
  const std::string& text() const { return text_; }
  size_t size() const { return text_.size(); }

 private:
  std::string text_;
  bool cr_seen_ = false;
  bool line_ended_ = false;
  bool ended_ = false;
  bool cut_ = false;
};

}  // namespace nvx

#endif  // NVX_PROTOCOL_HEADER_READER_H_
