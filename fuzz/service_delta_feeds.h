// An entry point that feeds untrusted bytes to the service's delta upload: the bytes are
// the body of a delta PUT for a stored document, taken through the service's own path
// (body reception in awkward pieces, deciphering, unpacking, checking, rebuilding, the
// store's commit) against a real store and blob folder in a temporary folder. The
// libFuzzer target service_delta_fuzzer and the unit test service_delta_hostile_test
// call it. It returns normally for any input and aborts when an invariant breaks: a
// refused delta that changed the document or left a file behind in the blob folder, or
// an applied one whose stored bytes differ from the size and digest it recorded.
#ifndef NVX_FUZZ_SERVICE_DELTA_FEEDS_H_
#define NVX_FUZZ_SERVICE_DELTA_FEEDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvx::fuzz {

// The stored document the deltas apply to (5000 bytes).
const std::string& ServiceDeltaBase();

// The first byte chooses how the rest travels: bit 0 packed as a ZIP archive, bit 1
// enciphered; the second byte the size of the pieces the body arrives in. Returns the
// conclusion of the upload.
std::string FeedServiceDelta(const uint8_t* data, size_t size);

}  // namespace nvx::fuzz

#endif  // NVX_FUZZ_SERVICE_DELTA_FEEDS_H_
