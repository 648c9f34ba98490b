// Permission bits of files, so that a file rewritten through a new file and a rename
// keeps the access rights of the one it replaces.
#ifndef NVX_PLATFORM_FILE_MODE_H_
#define NVX_PLATFORM_FILE_MODE_H_

#include <cstdint>
#include <optional>
#include <string>

namespace nvx::platform {

// The permission bits (rwx for owner, group and others, and the special bits) of `path`;
// none when it cannot be examined.
[[nodiscard]] std::optional<uint32_t> FilePermissions(const std::string& path);

// Sets the permission bits of `path`. False (with `error` set when given) on failure.
[[nodiscard]] bool SetFilePermissions(const std::string& path, uint32_t permissions,
                                      int* error = nullptr);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_FILE_MODE_H_
