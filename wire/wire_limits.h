// The bounds that the library and the service agree on for what travels between them:
// each side refuses or cuts a field longer than this. The programs' own limits headers
// (protocol/library_limits.h, service/store/service_limits.h) take these values from
// here. Constants only; any thread.
#ifndef NVX_WIRE_WIRE_LIMITS_H_
#define NVX_WIRE_WIRE_LIMITS_H_

#include <cstddef>

namespace nvx {

// Characters of a version id: the service never issues a longer one and refuses a
// longer one in a request; the library keeps this many of one in an answer.
inline constexpr size_t kWireVersionIdMax = 15;

// Characters of a server date stamp (see wire/date_stamp.h), and how many characters of
// a date stamp field in an answer the library keeps.
inline constexpr size_t kWireDateStampLength = 14;
inline constexpr size_t kWireDateStampTextMax = 15;

// Characters of a Base64 digest in a request; a longer text is no digest.
inline constexpr size_t kWireDigestTextMax = 32;

}  // namespace nvx

#endif  // NVX_WIRE_WIRE_LIMITS_H_
