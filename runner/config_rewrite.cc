// The rewrite of a configuration file that held a plain password under a scrambling
// keyword: the new text goes to a side file that then replaces the original by rename, so
// that a crash leaves either the old file or the new one, never neither.
#include <optional>

#include "platform/file.h"
#include "platform/file_mode.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "runner/config_lines.h"
#include "runner/config_reader.h"

namespace nvx {
namespace {

// The line that takes the place of `line`, or none when it is copied as it stands.
std::optional<std::string> ReplacementOf(std::string_view line, const JobConfig& config) {
  if (StartsWithIgnoreCase(line, "NVXPwEncrypt ") && config.password_scrambled) {
    return "NVXPwEncrypt [" + config.password + "]";
  }
  if (StartsWithIgnoreCase(line, "ProxyPasswordEncrypt ") && config.proxy_password_scrambled) {
    return "ProxyPasswordEncrypt [" + config.proxy_password + "]";
  }
  return std::nullopt;
}

std::string RewrittenText(std::string_view content, const JobConfig& config) {
  std::string text;
  text.reserve(content.size() + 256);
  for (std::string_view line : SplitConfigLines(content)) {
    std::optional<std::string> replacement = ReplacementOf(line, config);
    if (replacement) {
      text += *replacement;
    } else {
      text += line;
    }
    text += '\n';
  }
  return text;
}

bool WriteSideFile(const std::string& side_name, const std::string& text,
                   std::optional<uint32_t> permissions) {
  platform::File side = platform::File::Open(side_name, platform::File::Access::kCreateTruncate);
  if (!side.is_open()) return false;
  // The file may hold a password: the new one gets the old one's access rights.
  if (permissions && !platform::SetFilePermissions(side_name, *permissions)) return false;
  if (!side.Write(text) || !side.Sync()) return false;
  side.Close();
  return true;
}

}  // namespace

int RewriteScrambledPasswords(const std::string& file_name, const JobConfig& config) {
  std::string content;
  if (LoadConfigFile(file_name, &content) != LoadResult::kLoaded) return kConfigCannotOpen;
  const std::string side_name = file_name + ".tmp";
  if (!WriteSideFile(side_name, RewrittenText(content, config),
                     platform::FilePermissions(file_name))) {
    platform::RemoveFile(side_name);
    return kConfigCannotOpen;
  }
  if (!platform::RenameFile(side_name, file_name)) {
    platform::RemoveFile(side_name);
    return kConfigCannotOpen;
  }
  return kConfigValid;
}

}  // namespace nvx
