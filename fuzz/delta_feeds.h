// Entry points that feed untrusted bytes to the block signature reader, the delta
// writer (through a hostile signature) and the delta application (a hostile delta over
// a small base document). The libFuzzer target delta_fuzzer and the unit test
// delta_hostile_input_test call the same functions. Each returns normally for any
// input and aborts when an invariant breaks: an applied delta whose output differs
// from what its header announced, or a refused one that left output behind.
#ifndef NVX_FUZZ_DELTA_FEEDS_H_
#define NVX_FUZZ_DELTA_FEEDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvx::fuzz {

// The base document the delta feeds apply to (5000 bytes, two blocks of 2048 and a
// partial one), written once into the feeds' own temporary folder.
const std::string& DeltaFeedBase();
// The path of that base document.
const std::string& DeltaFeedBasePath();

// A signature text: parsed, every checksum looked up, and used as the service's
// signature for a delta of the base document.
void FeedSignature(std::string_view bytes);
// A delta file applied to the base document.
void FeedDelta(std::string_view bytes);
// Picks one of the feeds above by the first byte.
void FeedDeltaAny(const uint8_t* data, size_t size);

}  // namespace nvx::fuzz

#endif  // NVX_FUZZ_DELTA_FEEDS_H_
