#include "engines/name_pattern.h"

#include <cstddef>

namespace nvx {
namespace {

unsigned char Lower(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool SameCharacter(char a, char b, bool ignore_case) {
  return ignore_case ? Lower(a) == Lower(b) : a == b;
}

class Matcher {
 public:
  Matcher(std::string_view pattern, std::string_view name, bool ignore_case)
      : pattern_(pattern), name_(name), ignore_case_(ignore_case) {}

  // Matches the pattern from `p` against the name from `n`.
  PatternResult Match(size_t p, size_t n) const {
    while (p < pattern_.size()) {
      if (n == name_.size()) {
        return pattern_.substr(p) == "*" ? PatternResult::kMatch : PatternResult::kNameEnded;
      }
      switch (pattern_[p]) {
        case '?':
          ++p;
          ++n;
          break;
        case '*':
          return Star(p + 1, n);
        case '[': {
          PatternResult set = Set(&p, name_[n]);
          if (set != PatternResult::kMatch) return set;
          ++n;
          break;
        }
        case '\\':
          if (++p == pattern_.size()) return PatternResult::kMalformed;
          [[fallthrough]];
        default:
          if (!SameCharacter(pattern_[p], name_[n], ignore_case_)) {
            return PatternResult::kLiteralMismatch;
          }
          ++p;
          ++n;
          break;
      }
    }
    return n == name_.size() ? PatternResult::kMatch : PatternResult::kPatternEnded;
  }

 private:
  // After a "*" at `p` - 1: further stars are absorbed, each "?" still takes one
  // character; then every name position where the next pattern character could match
  // is tried.
  PatternResult Star(size_t p, size_t n) const {
    while (p < pattern_.size() && (pattern_[p] == '*' || pattern_[p] == '?')) {
      if (pattern_[p] == '?') {
        if (n == name_.size()) return PatternResult::kNameEnded;
        ++n;
      }
      ++p;
    }
    if (p == pattern_.size()) return PatternResult::kMatch;
    char next = pattern_[p];
    if (next == '\\') {
      if (p + 1 == pattern_.size()) return PatternResult::kMalformed;
      next = pattern_[p + 1];
    }
    for (; n < name_.size(); ++n) {
      if (next != '[' && !SameCharacter(name_[n], next, ignore_case_)) continue;
      PatternResult rest = Match(p, n);
      if (rest == PatternResult::kMatch || rest == PatternResult::kNameEnded ||
          rest == PatternResult::kMalformed) {
        return rest;
      }
    }
    return PatternResult::kNameEnded;
  }

  // The set that opens at `*p` against `c`; `*p` ends after its "]".
  PatternResult Set(size_t* p, char c) const {
    size_t at = *p + 1;
    const auto end = pattern_.size();
    bool negated = false;
    if (at < end && (pattern_[at] == '!' || pattern_[at] == '^')) {
      negated = true;
      ++at;
    }
    if (at < end && pattern_[at] == ']') return PatternResult::kMalformed;
    bool member = false;
    for (;;) {
      if (at == end) return PatternResult::kMalformed;
      if (pattern_[at] == ']') {
        ++at;
        break;
      }
      if (pattern_[at] == '\\' && ++at == end) return PatternResult::kMalformed;
      const char low = pattern_[at++];
      if (at < end && pattern_[at] == '-') {
        ++at;
        if (at == end || pattern_[at] == ']') return PatternResult::kMalformed;
        if (pattern_[at] == '\\' && ++at == end) return PatternResult::kMalformed;
        const auto first = static_cast<unsigned char>(low);
        const auto last = static_cast<unsigned char>(pattern_[at++]);
        const auto value = static_cast<unsigned char>(c);
        if ((first <= value && value <= last) || (last <= value && value <= first)) member = true;
      } else if (low == c) {
        member = true;
      }
    }
    *p = at;
    return member != negated ? PatternResult::kMatch : PatternResult::kSetMismatch;
  }

  std::string_view pattern_;
  std::string_view name_;
  bool ignore_case_;
};

}  // namespace

PatternResult MatchNamePattern(std::string_view pattern, std::string_view name, bool ignore_case) {
  return Matcher(pattern, name, ignore_case).Match(0, 0);
}

bool IsNamePattern(std::string_view server_file) {
  return server_file.find_first_of("*?[\\") != std::string_view::npos;
}

}  // namespace nvx
