// The target of a request line: origin form "/scripts/rizezi7.dll?QUERY" or absolute form
// "http://HOST/scripts/rizezi7.dll?QUERY" (as requests through a proxy arrive). The query
// is kept raw: service commands use it as it stands, file names unescape it. Pure
// functions; any thread.
#ifndef NVX_SERVICE_COMMANDS_REQUEST_TARGET_H_
#define NVX_SERVICE_COMMANDS_REQUEST_TARGET_H_

#include <optional>
#include <string_view>

namespace nvx::service {

struct RequestTarget {
  enum class Kind {
    kScript,       // the service's script
    kOtherScript,  // another name below /scripts/: not found
    kPath,         // anything else: a static file or nothing
  };
  Kind kind = Kind::kPath;
  std::string_view path;   // from the first "/", without the query
  std::string_view query;  // after the first "?", raw
};

// Nothing when the target is neither in origin nor in absolute form.
std::optional<RequestTarget> ParseRequestTarget(std::string_view target);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_REQUEST_TARGET_H_
