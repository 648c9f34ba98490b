// Operations on names in the file system: delete, rename, tests, folders. Each returns
// false (or an empty result) on failure and, where asked, the system error number.
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
// Gives `from` the name `to`, replacing an existing `to` in one step.
bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);
// Gives `from` the name `to` unless `to` exists (then EEXIST): of several processes that
// publish the same name at once, exactly one does, also on a network file system.
bool RenameNoReplace(const std::string& from, const std::string& to, int* error = nullptr);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// What a name is in the file system. kLink only from TestPathItself.
enum class PathKind { kDirectory, kFile, kLink, kOther };
// Tests `path`, following symbolic links: 0 with `*kind` set, or the system error number
// (kErrorFileNotFound or kErrorPathNotFound when the name or a folder on its way is
// missing).
int TestPath(const std::string& path, PathKind* kind);
// Tests what the name `path` itself holds, a symbolic link at its last component not
// followed (kLink); otherwise as TestPath.
int TestPathItself(const std::string& path, PathKind* kind);
std::optional<int64_t> FileSizeOf(const std::string& path);
bool MakeDirectory(const std::string& path, int* error = nullptr);
bool RemoveDirectory(const std::string& path, int* error = nullptr);
// The process's current folder, empty when it cannot be read.
std::string CurrentDirectory();
// `directory` joined with `name`, with one "/" between them.
std::string JoinDirectory(std::string_view directory, std::string_view name);
// The full path of the running program file, empty when it cannot be read.
std::string ExecutablePath();
// Creates a new empty file, readable and writable by its owner only, named `prefix`
// followed by six unique characters in `directory`: its path, or empty on failure.
std::string CreateUniqueFile(std::string_view directory, std::string_view prefix,
                             int* error = nullptr);

}  // namespace nvx::platform

#endif  // NVX_PLATFORM_FILE_SYSTEM_H_
