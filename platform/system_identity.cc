#include "platform/system_identity.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <vector>

namespace nvx::platform {

std::string EffectiveUserName() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (size <= 0) size = 16384;
  std::vector<char> buffer(static_cast<size_t>(size));
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result ||
      !result->pw_name) {
    return {};
  }
  return result->pw_name;
}

std::optional<std::string> SystemNameAndRelease() {
  utsname info{};
  if (uname(&info) != 0) return std::nullopt;
  return std::string(info.sysname) + " " + info.release;
}

}  // namespace nvx::platform
