#include "platform/directory_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

namespace nvx::platform {
namespace {

// Owns an open directory stream.
class DirectoryStream {
 public:
  explicit DirectoryStream(const std::string& path) : stream_(::opendir(path.c_str())) {}
  ~DirectoryStream() {
    if (stream_ != nullptr) ::closedir(stream_);
  }
  DirectoryStream(const DirectoryStream&) = delete;
  DirectoryStream& operator=(const DirectoryStream&) = delete;
  DIR* get() const { return stream_; }

 private:
  DIR* stream_;
};

// Glob matching with "*" and "?" by the usual two-pointer walk: on a mismatch, the last
// "*" takes one more character. Linear in practice, never recursive.
bool GlobMatches(std::string_view pattern, std::string_view name) {
  size_t p = 0;
  size_t n = 0;
  size_t star = std::string_view::npos;
  size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

DirectoryEntry::Kind KindOf(int directory_fd, const char* name, struct stat* status) {
  struct stat link_status {};
  if (::fstatat(directory_fd, name, &link_status, AT_SYMLINK_NOFOLLOW) != 0) {
    return DirectoryEntry::Kind::kOther;
  }
  if (S_ISDIR(link_status.st_mode)) {
    *status = link_status;
    return DirectoryEntry::Kind::kDirectory;
  }
  if (S_ISLNK(link_status.st_mode)) {
    if (::fstatat(directory_fd, name, status, 0) != 0) return DirectoryEntry::Kind::kOther;
    return S_ISREG(status->st_mode) ? DirectoryEntry::Kind::kFile : DirectoryEntry::Kind::kOther;
  }
  *status = link_status;
  return S_ISREG(link_status.st_mode) ? DirectoryEntry::Kind::kFile : DirectoryEntry::Kind::kOther;
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  return GlobMatches(pattern, name);
}

int SearchDirectory(const std::string& directory, std::string_view pattern,
                    std::vector<DirectoryEntry>* entries) {
  entries->clear();
  DirectoryStream stream(directory.empty() ? std::string("/") : directory);
  if (stream.get() == nullptr) return errno;
  const int directory_fd = ::dirfd(stream.get());
  for (;;) {
    errno = 0;
    const dirent* found = ::readdir(stream.get());
    if (found == nullptr) {
      if (errno != 0) return errno;
      return 0;
    }
    std::string_view name(found->d_name);
    if (name == "." || name == "..") continue;
    if (!MatchesWildcard(pattern, name)) continue;
    struct stat status {};
    DirectoryEntry entry;
    entry.kind = KindOf(directory_fd, found->d_name, &status);
    if (entry.kind != DirectoryEntry::Kind::kOther) {
      entry.size = static_cast<int64_t>(status.st_size);
      entry.last_write_time = static_cast<int64_t>(status.st_mtim.tv_sec);
    }
    entry.name = std::string(name);
    entries->push_back(std::move(entry));
  }
}

}  // namespace nvx::platform
