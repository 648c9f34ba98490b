// libFuzzer target: the service's delta upload against a real store. See fuzz/README.md.
#include <cstddef>
#include <cstdint>

#include "fuzz/service_delta_feeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nvx::fuzz::FeedServiceDelta(data, size);
  return 0;
}
