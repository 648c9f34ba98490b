#include "protocol/header_reader.h"

namespace nvx {

bool HeaderAccumulator::Feed(char byte) {
  if (complete()) return true;
  text_ += byte;
  if (byte == '\r') {
    cr_seen_ = true;
  } else if (byte == '\n') {
    // An LF without a CR before it is kept and changes nothing.
    if (cr_seen_) {
      if (line_ended_) {
        ended_ = true;
      } else {
        line_ended_ = true;
      }
    }
  } else {
    cr_seen_ = false;
    line_ended_ = false;
  }
  if (!ended_ && text_.size() >= kResponseHeaderMax) cut_ = true;
  return complete();
}

}  // namespace nvx
