// Wildcard matching of server file names against the job's server file name, and the
// test that tells a pattern from a plain name. Pure functions; any thread.
#ifndef NVX_ENGINES_NAME_PATTERN_H_
#define NVX_ENGINES_NAME_PATTERN_H_

#include <string_view>

namespace nvx {

// What matching a name against a pattern gave; only kMatch selects the name.
enum class PatternResult : int {
  kMatch = 1,
  kPatternEnded = 2,     // the pattern ended before the name
  kNameEnded = 3,        // the name ended before the pattern
  kSetMismatch = 4,      // a [set] did not take the name's character
  kLiteralMismatch = 5,  // a plain character differed
  kMalformed = 6,        // the pattern cannot be read
};

// Matches `name` against `pattern`: "?" takes one character, "*" any run (none
// included), "[...]" one character of a set ("!" or "^" first negates it, "a-c" or
// "c-a" is a range, a backslash makes the next character a member), a backslash makes
// the next pattern character literal. With `ignore_case` plain characters compare
// without regard to letter case; set members always compare exactly.
[[nodiscard]] PatternResult MatchNamePattern(std::string_view pattern, std::string_view name,
                                             bool ignore_case);

// True when a server file name is a pattern: it holds "*", "?", "[" or a backslash.
[[nodiscard]] bool IsNamePattern(std::string_view server_file);

}  // namespace nvx

#endif  // NVX_ENGINES_NAME_PATTERN_H_
