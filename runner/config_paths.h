// Path rules of the job configuration file: splitting and tidying local paths (at "/";
// the file system root tidies to the empty text), tidying server paths (at the service's
// "\"), and the check of a server file name pattern. Pure functions.
#ifndef NVX_RUNNER_CONFIG_PATHS_H_
#define NVX_RUNNER_CONFIG_PATHS_H_

#include <optional>
#include <string>
#include <string_view>

namespace nvx {

struct LocalPathParts {
  std::string folder;  // "/" for a name directly in the root
  std::string name;
};

// Splits a local path at its last "/"; none when it has no "/".
std::optional<LocalPathParts> SplitLocalPath(std::string_view path);

// True for the file system root, the Linux counterpart of a bare drive.
inline bool IsLocalRoot(std::string_view path) {
  return path == "/";
}

// Removes one trailing `separator`, if there is one. A local root "/" becomes "".
std::string RemoveTrailingSeparator(std::string_view path, char separator);

// True when a server file name holds a character that makes it a pattern to check:
// "*", "?", "[" or "\".
bool IsServerFilePattern(std::string_view name);

// The pattern check: a "\" escapes the next character; "[" opens a set that must not be
// empty and must be closed by "]"; inside a set "\" escapes too, and in a range the "-"
// must be followed by a character that is not "]". True when the text is well formed.
bool IsWellFormedServerFilePattern(std::string_view pattern);

}  // namespace nvx

#endif  // NVX_RUNNER_CONFIG_PATHS_H_
