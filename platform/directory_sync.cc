#include "platform/directory_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace nvx::platform {

bool SyncDirectory(const std::string& path, int* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = errno;
    return false;
  }
  bool ok = ::fsync(fd) == 0;
  if (!ok && error != nullptr) *error = errno;
  ::close(fd);
  return ok;
}

bool SyncOpenFile(int descriptor, int* error) {
  if (descriptor >= 0 && ::fsync(descriptor) == 0) return true;
  if (error != nullptr) *error = descriptor >= 0 ? errno : EBADF;
  return false;
}

}  // namespace nvx::platform
