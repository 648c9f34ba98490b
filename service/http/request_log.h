// The request log: one line per request on standard error, written whole under a lock so
// that lines of concurrent connections never mix. Control characters of a target are
// shown as "?", so a hostile request cannot forge log lines. Any thread.
#ifndef NVX_SERVICE_HTTP_REQUEST_LOG_H_
#define NVX_SERVICE_HTTP_REQUEST_LOG_H_

#include <string_view>

namespace nvx::service {

// "REMOTE METHOD TARGET STATUS CONCLUSION", the conclusion in double quotes.
void LogRequest(std::string_view remote, std::string_view method, std::string_view target,
                int status, std::string_view conclusion);

// A free line of the log (start, stop).
void LogLine(std::string_view text);

}  // namespace nvx::service

#endif  // NVX_SERVICE_HTTP_REQUEST_LOG_H_
