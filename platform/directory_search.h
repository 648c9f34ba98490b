// Listing a local folder for the transfer engines: the entries whose names match a
// wildcard pattern, with what the engines need of each (kind, size, last-write time), in
// the order the file system gives them. Wildcards: "*" and "*.*" match every name, "*"
// inside a pattern any run of characters, "?" exactly one; letter case counts. A symbolic
// link to a file is a file; a link to a folder (or a broken link) is neither file nor
// folder, so it is never descended. Any thread; no shared state.
#ifndef NVX_PLATFORM_DIRECTORY_SEARCH_H_
#define NVX_PLATFORM_DIRECTORY_SEARCH_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::platform {

struct DirectoryEntry {
  enum class Kind {
    kFile,       // a regular file (or a link to one)
    kDirectory,  // a folder (never a link to one)
    kOther,      // sockets, pipes, devices, links to folders, broken links
  };
  std::string name;
  Kind kind = Kind::kOther;
  int64_t size = 0;
  std::optional<int64_t> last_write_time;  // seconds since 1970 UTC
};

// True when `name` matches `pattern` by the rules above.
[[nodiscard]] bool MatchesWildcard(std::string_view pattern, std::string_view name);

// The entries of `directory` (without "." and "..") whose names match `pattern`.
// Returns 0, or the system error number when the folder cannot be read; an entry that
// disappears while it is listed is left out.
[[nodiscard]] int SearchDirectory(const std::string& directory, std::string_view pattern,
                                  std::vector<DirectoryEntry>* entries);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_DIRECTORY_SEARCH_H_
