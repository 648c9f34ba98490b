// What the TLS client and server sides share: the words of OpenSSL's error queue for a
// log line or a status message, and starting the library once. Any thread (the queue is
// per thread).
#ifndef NVX_PLATFORM_TLS_COMMON_H_
#define NVX_PLATFORM_TLS_COMMON_H_

#include <string>

namespace nvx::platform {

// The reasons on the calling thread's OpenSSL error queue, the oldest first, joined with
// "; " (empty when the queue is empty); the queue is emptied.
std::string TakeTlsErrorText();

// Starts the TLS library (once; later calls return the first result). False when it
// could not start.
[[nodiscard]] bool StartTlsLibrary();

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_TLS_COMMON_H_
