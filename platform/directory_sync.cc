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

}  // namespace nvx::platform
