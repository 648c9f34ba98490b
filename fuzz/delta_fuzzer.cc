// libFuzzer target: the block signature reader, the delta writer under a hostile
// signature, and the delta application over a small base. See fuzz/README.md.
#include <cstddef>
#include <cstdint>

#include "fuzz/delta_feeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nvx::fuzz::FeedDeltaAny(data, size);
  return 0;
}
