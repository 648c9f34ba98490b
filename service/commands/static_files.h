// Static files of the service's web host, served from DIR/web: "/uploadmanager/...",
// "/install/...", "/pub/USER/..." and "/Norrvault_Backup_Update1.html". A path is
// unescaped, must stay inside the web folder (no "." or ".." component, no link out of
// it) and name a regular file; anything else is "not found". Any thread.
#ifndef NVX_SERVICE_COMMANDS_STATIC_FILES_H_
#define NVX_SERVICE_COMMANDS_STATIC_FILES_H_

#include <optional>
#include <string>
#include <string_view>

#include "service/commands/exchange.h"

namespace nvx::service {

// The file below `web_folder` that the request path `path` names, when it may be served.
std::optional<std::string> StaticFilePath(const std::string& web_folder, std::string_view path);

// "200" with the file as the body, or "404".
Reply ServeStaticFile(const std::string& web_folder, std::string_view path);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_STATIC_FILES_H_
