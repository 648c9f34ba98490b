// The bounds of the service stand-in (nvxserver): request sizes, names and connections.
#ifndef NVX_SERVICE_SERVICE_LIMITS_H_
#define NVX_SERVICE_SERVICE_LIMITS_H_

#include <cstddef>
#include <cstdint>

namespace nvx {

// A request's line and header block together; a longer block is refused.
inline constexpr size_t kServiceHeaderBlockMax = 16384;
// The text of one e-mail PUT, padding included.
inline constexpr size_t kServiceEmailTextMax = 65536;
// A folder or document name, in bytes.
inline constexpr size_t kServiceNameMax = 255;
// A version id, in characters (the library keeps 15).
inline constexpr size_t kServiceVersionIdMax = 15;
// The path of a static file below the web folder, in bytes.
inline constexpr size_t kServiceStaticPathMax = 1024;
// Connections served at once; further ones wait in the listen queue.
inline constexpr size_t kServiceConnectionsMax = 256;
// How long a connection may wait for the next byte of a request, and for its next
// request, in milliseconds: as long as the library waits for an answer.
inline constexpr int kServiceReadTimeoutMillis = 180000;
inline constexpr int kServiceKeepAliveMillis = 180000;

}  // namespace nvx

#endif  // NVX_SERVICE_SERVICE_LIMITS_H_
