// Operations on names in the file system: delete, rename, tests, folders.
//
// One error convention for all of them: a function gives its result as its return value
// (true, the kind or size, a text) and on failure false, no value (std::nullopt) or an
// empty text; where the caller passes `error`, `*error` then holds the system error
// number (kErrorFileNotFound, kErrorPathNotFound and the others of error_text.h). The
// questions PathExists, IsDirectory and IsRegularFile answer false also when the name
// cannot be tested.
//
// Every result must be looked at, except a removal's: removing a work file that may
// already be gone is often all a caller can do, and such a caller says why it drops the
// result. Any thread.
#ifndef NVX_PLATFORM_FILE_SYSTEM_H_
#define NVX_PLATFORM_FILE_SYSTEM_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::platform {

bool RemoveFile(const std::string& path, int* error = nullptr);
// Removes `path` only when the name itself is a regular file; a symbolic link, folder or
// anything else there stays. True when a file was removed or nothing was there.
bool RemoveRegularFile(const std::string& path, int* error = nullptr);
bool RemoveDirectory(const std::string& path, int* error = nullptr);
// Gives `from` the name `to`, replacing an existing `to` in one step.
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);
// Gives `from` the name `to` unless `to` exists (then EEXIST): of several processes that
// publish the same name at once, exactly one does, also on a network file system.
[[nodiscard]] bool RenameNoReplace(const std::string& from, const std::string& to,
                                   int* error = nullptr);
[[nodiscard]] bool MakeDirectory(const std::string& path, int* error = nullptr);
[[nodiscard]] bool PathExists(const std::string& path);
[[nodiscard]] bool IsDirectory(const std::string& path);
[[nodiscard]] bool IsRegularFile(const std::string& path);
// What a name is in the file system. kLink only from TestPathItself.
enum class PathKind { kDirectory, kFile, kLink, kOther };
// What `path` is, following symbolic links; none when it cannot be tested (`*error`
// kErrorFileNotFound or kErrorPathNotFound when the name or a folder on its way is
// missing).
[[nodiscard]] std::optional<PathKind> TestPath(const std::string& path, int* error = nullptr);
// What the name `path` itself holds, a symbolic link at its last component not followed
// (kLink); otherwise as TestPath.
[[nodiscard]] std::optional<PathKind> TestPathItself(const std::string& path, int* error = nullptr);
[[nodiscard]] std::optional<int64_t> FileSizeOf(const std::string& path, int* error = nullptr);
// The process's current folder; empty when it cannot be read.
[[nodiscard]] std::string CurrentDirectory(int* error = nullptr);
// `directory` joined with `name`, with one "/" between them.
[[nodiscard]] std::string JoinDirectory(std::string_view directory, std::string_view name);
// The full path of the running program file; empty when it cannot be read.
[[nodiscard]] std::string ExecutablePath(int* error = nullptr);
// Creates a new empty file, readable and writable by its owner only, named `prefix`
// followed by six unique characters in `directory`: its path; empty on failure.
[[nodiscard]] std::string CreateUniqueFile(std::string_view directory, std::string_view prefix,
                                           int* error = nullptr);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_FILE_SYSTEM_H_
