#include "service/commands/names.h"

#include "service/store/service_limits.h"

namespace nvx::service {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

unsigned char Lower(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
}

// Matches one "[...]" set that starts at pattern[at] against `c`. Sets `end` to the
// position after the "]"; false in `well_formed` when the set has no "]".
bool MatchSet(std::string_view pattern, size_t at, char c, size_t* end, bool* well_formed) {
  size_t i = at + 1;
  bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negate) ++i;
  bool matched = false;
  bool first = true;
  while (i < pattern.size() && (pattern[i] != ']' || first)) {
    first = false;
    unsigned char low = Lower(pattern[i]);
    unsigned char high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = Lower(pattern[i + 2]);
      i += 2;
    }
    if (Lower(c) >= low && Lower(c) <= high) matched = true;
    ++i;
  }
  *well_formed = i < pattern.size();
  *end = i + 1;
  return matched != negate;
}

}  // namespace

bool IsValidName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > kServiceNameMax) return false;
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

std::optional<std::string> UnescapeQuery(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      if (text.size() - i < 3) return std::nullopt;
      int high = HexValue(text[i + 1]);
      int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool HasWildcard(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
}

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  // Iterative matching with one remembered "*": linear in practice, never recursive.
  size_t p = 0;
  size_t n = 0;
  size_t star = std::string_view::npos;
  size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
      continue;
    }
    if (p < pattern.size()) {
      if (pattern[p] == '[') {
        size_t end = 0;
        bool well_formed = false;
        bool matched = MatchSet(pattern, p, name[n], &end, &well_formed);
        if (!well_formed) {
          matched = name[n] == '[';
          end = p + 1;
        }
        if (matched) {
          p = end;
          ++n;
          continue;
        }
      } else if (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n])) {
        ++p;
        ++n;
        continue;
      }
    }
    if (star == std::string_view::npos) return false;
    p = star + 1;
    n = ++star_name;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace nvx::service
