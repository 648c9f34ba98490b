#include "runner/config_lines.h"

#include "platform/file.h"
#include "runner/runner_limits.h"

namespace nvx {

LoadResult LoadConfigFile(const std::string& path, std::string* content) {
  platform::File file = platform::File::Open(path, platform::File::Access::kRead);
  if (!file.is_open()) return LoadResult::kCannotOpen;
  content->clear();
  char buffer[16384];
  for (;;) {
    int64_t got = file.Read(buffer, sizeof buffer);
    if (got < 0) return LoadResult::kCannotOpen;
    if (got == 0) return LoadResult::kLoaded;
    if (content->size() + static_cast<size_t>(got) > kConfigFileMaxBytes) {
      return LoadResult::kTooLarge;
    }
    content->append(buffer, static_cast<size_t>(got));
  }
}

std::vector<std::string_view> SplitConfigLines(std::string_view content) {
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    size_t end = content.find('\n');
    std::string_view line = content.substr(0, end);
    size_t carriage_return = line.find('\r');
    if (carriage_return != std::string_view::npos) line = line.substr(0, carriage_return);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return lines;
}

std::string_view MatchedPart(std::string_view line) {
  size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = line.substr(0, nul);
  return line.substr(0, kConfigLineMax);
}

}  // namespace nvx
