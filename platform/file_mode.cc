#include "platform/file_mode.h"

#include <sys/stat.h>

#include <cerrno>

namespace nvx::platform {

std::optional<uint32_t> FilePermissions(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint32_t>(info.st_mode & 07777);
}

bool SetFilePermissions(const std::string& path, uint32_t permissions, int* error) {
  if (::chmod(path.c_str(), static_cast<mode_t>(permissions & 07777)) == 0) return true;
  if (error != nullptr) *error = errno;
  return false;
}

}  // namespace nvx::platform
