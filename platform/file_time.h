// Last-write times of files, in whole seconds since 1970-01-01 UTC. Each function
// returns false (or none) on failure and, where asked, the system error number.
#ifndef NVX_PLATFORM_FILE_TIME_H_
#define NVX_PLATFORM_FILE_TIME_H_

#include <cstdint>
#include <optional>
#include <string>

namespace nvx::platform {

[[nodiscard]] std::optional<int64_t> ModificationTime(const std::string& path,
                                                      int* error = nullptr);
// Sets the last-write time (and the access time to the same value) of the name itself:
// a symbolic link at its last component gets the time, never the file it points to.
[[nodiscard]] bool SetModificationTime(const std::string& path, int64_t utc_seconds,
                                       int* error = nullptr);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_FILE_TIME_H_
