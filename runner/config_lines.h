// The lines of a job configuration file: loading the file whole (within a bound) and
// cutting it into lines, for the reader and for the rewrite. Pure except LoadConfigFile.
#ifndef NVX_RUNNER_CONFIG_LINES_H_
#define NVX_RUNNER_CONFIG_LINES_H_

#include <string>
#include <string_view>
#include <vector>

namespace nvx {

enum class LoadResult {
  kLoaded,
  kCannotOpen,  // missing, unreadable, or a read failed
  kTooLarge,    // longer than kConfigFileMaxBytes
};

[[nodiscard]] LoadResult LoadConfigFile(const std::string& path, std::string* content);

// The lines of a file's text, split at line feeds, each cut at its first carriage return.
// A last line without a line feed is a line; the empty rest after a final line feed is
// not. Lines are whole, however long.
std::vector<std::string_view> SplitConfigLines(std::string_view content);

// The part of a line that the reader matches: up to the first NUL byte, at most
// kConfigLineMax characters. The rest of a longer line is dropped.
std::string_view MatchedPart(std::string_view line);

}  // namespace nvx

#endif  // NVX_RUNNER_CONFIG_LINES_H_
