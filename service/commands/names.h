// Folder and document names as the service accepts them, the unescaping of names that
// travel in a request's query, and the wildcard patterns that filter a file list. Pure
// functions; any thread.
#ifndef NVX_SERVICE_COMMANDS_NAMES_H_
#define NVX_SERVICE_COMMANDS_NAMES_H_

#include <optional>
#include <string>
#include <string_view>

namespace nvx::service {

// A name that may become a folder or document: not empty, not "." or "..", at most
// kServiceNameMax bytes, without "/", "\" or control characters.
bool IsValidName(std::string_view name);

// Undoes the query escaping of names: "+" is a blank, "%XX" the byte of two hexadecimal
// digits. Nothing when a "%" is not followed by two hexadecimal digits.
std::optional<std::string> UnescapeQuery(std::string_view text);

// True when `text` holds one of the pattern characters "*", "?" or "[".
bool HasWildcard(std::string_view text);

// Matches `name` against a pattern without regard to letter case: "*" any run of
// characters, "?" one character, "[...]" one of a set (ranges "a-z"; "!" or "^" first
// negates); a "[" without its "]" stands for itself. "*.*" matches every name, also one
// without a dot.
bool MatchesPattern(std::string_view pattern, std::string_view name);

}  // namespace nvx::service

#endif  // NVX_SERVICE_COMMANDS_NAMES_H_
