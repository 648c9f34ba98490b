// What the client and the server side of TLS share: starting the TLS library once per
// process and the text of its last error. Any thread.
#ifndef NVX_PLATFORM_TLS_COMMON_H_
#define NVX_PLATFORM_TLS_COMMON_H_

#include <string>

namespace nvx::platform {

// Starts the TLS library (once; later calls return the first result). False when it
// could not start.
[[nodiscard]] bool StartTlsLibrary();

// The calling thread's pending TLS errors as one line of text (the most recent last),
// and clears them; "" when there are none.
[[nodiscard]] std::string TakeTlsErrorText();

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_TLS_COMMON_H_
