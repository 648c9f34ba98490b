#include "platform/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace nvx::platform {

std::optional<int64_t> ModificationTime(const std::string& path, int* error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (error != nullptr) *error = errno;
    return std::nullopt;
  }
  return static_cast<int64_t>(info.st_mtim.tv_sec);
}

bool SetModificationTime(const std::string& path, int64_t utc_seconds, int* error) {
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(utc_seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    if (error != nullptr) *error = errno;
    return false;
  }
  return true;
}

}  // namespace nvx::platform
