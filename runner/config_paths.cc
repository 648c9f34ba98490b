#include "runner/config_paths.h"

namespace nvx {
namespace {

// Steps over one character of a set, or an escaped pair. False when the text ends where
// a character was due.
bool SkipSetCharacter(std::string_view text, size_t& i) {
  if (i >= text.size()) return false;
  if (text[i] == '\\') {
    if (i + 1 >= text.size()) return false;
    i += 2;
    return true;
  }
  ++i;
  return true;
}

// Scans a set whose "[" has been passed; on success `i` is just past its "]".
bool ScanSet(std::string_view text, size_t& i) {
  if (i >= text.size() || text[i] == ']') return false;  // "[" at the end, or "[]"
  while (i < text.size()) {
    if (text[i] == ']') {
      ++i;
      return true;
    }
    if (!SkipSetCharacter(text, i)) return false;
    // A range: the character just passed, "-", and a character that is not "]".
    if (i < text.size() && text[i] == '-') {
      if (i + 1 >= text.size() || text[i + 1] == ']') return false;
      ++i;
      if (!SkipSetCharacter(text, i)) return false;
    }
  }
  return false;  // the text ended inside the set
}

}  // namespace

std::optional<LocalPathParts> SplitLocalPath(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::nullopt;
  LocalPathParts parts;
  parts.folder = slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
  parts.name = std::string(path.substr(slash + 1));
  return parts;
}

std::string RemoveTrailingSeparator(std::string_view path, char separator) {
  if (!path.empty() && path.back() == separator) path.remove_suffix(1);
  return std::string(path);
}

bool IsServerFilePattern(std::string_view name) {
  return name.find_first_of("*?[\\") != std::string_view::npos;
}

bool IsWellFormedServerFilePattern(std::string_view pattern) {
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '\\') {
      if (i + 1 >= pattern.size()) return false;
      i += 2;
    } else if (c == '[') {
      ++i;
      if (!ScanSet(pattern, i)) return false;
    } else {
      ++i;
    }
  }
  return true;
}

}  // namespace nvx
