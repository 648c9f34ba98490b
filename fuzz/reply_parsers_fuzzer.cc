// libFuzzer target: every parser of what a server or proxy sends. See fuzz/README.md.
#include <cstddef>
#include <cstdint>

#include "fuzz/reply_feeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nvx::fuzz::FeedAny(data, size);
  return 0;
}
