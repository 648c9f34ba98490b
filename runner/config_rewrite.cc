// The rewrite of a configuration file that held a plain password under a scrambling
// keyword: the new text goes to a side file that then replaces the original by rename, so
// that a crash leaves either the old file or the new one, never neither.
#include <optional>
#include <string>

#include "jobfiles/config_keywords.h"
#include "platform/file.h"
#include "platform/file_mode.h"
#include "platform/file_system.h"
#include "platform/text_format.h"
#include "runner/config_lines.h"
#include "runner/config_reader.h"

namespace nvx {
namespace {

// What becomes of one line: copied whole, replaced, or left out.
struct LineRewrite {
  enum class Action { kCopy, kReplace, kOmit } action = Action::kCopy;
  std::string replacement;
};

// A scrambling line whose value a later plain line overrode has no effect, and may hold a
// plain password: it is left out.
LineRewrite RewriteOf(std::string_view line, const JobConfig& config) {
  LineRewrite rewrite;
  std::optional<jobfiles::KeywordMatch> match = jobfiles::MatchConfigKeyword(line);
  if (!match) return rewrite;
  auto replace = [&rewrite](bool scrambled, std::string_view keyword, const std::string& value) {
    rewrite.action = scrambled ? LineRewrite::Action::kReplace : LineRewrite::Action::kOmit;
    rewrite.replacement = std::string(keyword) + " [" + value + "]";
  };
  switch (match->spelling->keyword) {
    case jobfiles::ConfigKeyword::kPasswordEncrypt:
      replace(config.password_scrambled, match->spelling->written, config.password);
      break;
    case jobfiles::ConfigKeyword::kProxyPasswordEncrypt:
      replace(config.proxy_password_scrambled, match->spelling->written, config.proxy_password);
      break;
    default:
      break;
  }
  return rewrite;
}

std::string RewrittenText(std::string_view content, const JobConfig& config) {
  std::string text;
  text.reserve(content.size() + 256);
  for (std::string_view line : SplitConfigLines(content)) {
    LineRewrite rewrite = RewriteOf(line, config);
    if (rewrite.action == LineRewrite::Action::kOmit) continue;
    text += rewrite.action == LineRewrite::Action::kReplace ? std::string_view(rewrite.replacement)
                                                            : line;
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
